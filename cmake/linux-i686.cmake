# Cross-compiling for 32-bit x86 Linux in build-linux.sh's Debian 11 root:
# Debian's i686-linux-gnu compilers, whose C library is the one libc6:i386
# puts in the root for the program to load under qemu-i386. Only the console
# program is built so (VARNELO_CONSOLE_ONLY): the root has no i386 GTK.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

# Without it a 32-bit program's stat and readdir fail with EOVERFLOW ("Value
# too large for defined data type") on every file whose inode number or size
# needs more than 32 bits, which today's file systems hand out freely.
set(CMAKE_C_FLAGS_INIT -D_FILE_OFFSET_BITS=64)
set(CMAKE_CXX_FLAGS_INIT -D_FILE_OFFSET_BITS=64)

# The static libraries build-linux.sh builds live under their own prefix.
set(CMAKE_FIND_ROOT_PATH / ${VARNELO_STATIC_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No amd64 .pc file is taken for an i386 one.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
