# What both Windows toolchains share; each names MINGW_TRIPLET first.
# The -posix compilers are named in full: the unsuffixed ones are the win32
# thread variant, which has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# The static libraries that build-windows.sh makes live outside the system
# root; it names their prefixes in VARNELO_MINGW_PREFIXES.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${VARNELO_MINGW_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 is the oldest system the program runs on: with these, the headers
# declare nothing newer, for the libraries built with this toolchain too.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")

# One file that runs on a bare system: no libgcc, libstdc++ or winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${MINGW_EXTRA_LINK_FLAGS}")
