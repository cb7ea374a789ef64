# The window icons travel inside the Linux program as a GResource bundle, so
# the installed binary needs no file beside it.
find_program(GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)
set(VARNELO_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VARNELO_RESOURCE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/varnelo_resources.c)
add_custom_command(
  OUTPUT ${VARNELO_RESOURCE_SOURCE}
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --manual-register --c-name varnelo
          --sourcedir=${VARNELO_RESOURCE_DIR} --target=${VARNELO_RESOURCE_SOURCE}
          ${VARNELO_RESOURCE_DIR}/varnelo.gresource.xml
  DEPENDS ${VARNELO_RESOURCE_DIR}/varnelo.gresource.xml ${VARNELO_RESOURCE_DIR}/varnelo.png
          ${VARNELO_RESOURCE_DIR}/varnelo-48.png ${VARNELO_RESOURCE_DIR}/varnelo-32.png
          ${VARNELO_RESOURCE_DIR}/varnelo-16.png
  VERBATIM)
target_sources(shell_linux PRIVATE ${VARNELO_RESOURCE_SOURCE})
