# How expat and libarchive are built as static libraries for the programs
# that carry their own: the Windows programs (build-windows.sh) and the
# portable Linux programs (build-linux.sh, which runs this text inside its
# Debian 11 root, so it names no file outside it). Sourced; defines only.

# Debian's patched expat 2.5 tests "#if XML_DTD == 1", which the empty
# define of its CMake template fails. SOURCE is the unpacked source package.
fix_expat_dtd() {  # source
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$1/expat/expat_config.h.cmake"
}

# The library alone: no tools, examples, tests, documents or fuzzers.
expat_options=(-DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF
               -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF)

# The zip reader with zlib; every other format, filter, crypto library, ACL
# and extended attribute off. The caller adds where zlib is.
libarchive_options=(-DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_OPENSSL=OFF
                    -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LZMA=OFF
                    -DENABLE_ZSTD=OFF -DENABLE_ZLIB=ON -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF
                    -DENABLE_EXPAT=OFF -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF
                    -DENABLE_CNG=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF
                    -DENABLE_XATTR=OFF -DENABLE_ACL=OFF -DENABLE_ICONV=OFF -DENABLE_TEST=OFF
                    -DENABLE_WERROR=OFF -DENABLE_INSTALL=OFF -DPOSIX_REGEX_LIB=NONE)
