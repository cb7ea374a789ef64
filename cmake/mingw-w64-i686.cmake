# Cross-compiling for 32-bit Windows with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
# Large-address aware: on 64-bit Windows a 32-bit process then has 4 GB of
# address space instead of 2, which is what limits the size of a table here.
set(MINGW_EXTRA_LINK_FLAGS "-Wl,--large-address-aware")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
