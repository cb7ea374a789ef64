#!/usr/bin/env bash
# Cross-builds the Windows program with Debian's MinGW-w64: one statically
# linked file that imports only Windows system DLLs, for 64-bit Windows
# (dist/varnelo.exe) or for 32-bit Windows (dist/varnelo-32位.exe, large-address
# aware, for the 32-bit Windows 7 and 10 PCs still found in offices).
#
# expat and libarchive have no MinGW packages in Debian, so they are
# built as static libraries from Debian's own source packages into a cache
# outside the clone, one folder per architecture, name and version, which
# later builds reuse:
#   ${XDG_CACHE_HOME:-~/.cache}/varnelo-mingw/<x86_64|i686>/<name>-<version>
#
#   ./build-windows.sh                 dist/varnelo.exe
#   ./build-windows.sh --arch i686     dist/varnelo-32位.exe, built in build-win32
#   ./build-windows.sh --tests         also the test programs that tests/windows/wine_test.sh
#                                      runs under Wine (build-win/tests/*.exe)
#
# Environment: VARNELO_WIN_BUILD (build folder, default build-win, or
# build-win32 for i686), VARNELO_MINGW_CACHE (the library cache),
# VARNELO_JOBS (default: the processors there are).
set -euo pipefail

root=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/static-libraries.sh
source "$root/scripts/static-libraries.sh"
arch=x86_64
with_tests=OFF
while (($#)); do
  case $1 in
    --tests) with_tests=ON ;;
    --arch) arch=${2:-}; shift ;;
    *) printf 'build-windows: unknown option %s\n' "$1" >&2; exit 2 ;;
  esac
  shift
done
case $arch in
  x86_64) program=varnelo.exe build_name=build-win package_arch=x86-64 ;;
  i686) program=varnelo-32位.exe build_name=build-win32 package_arch=i686 ;;
  *) printf 'build-windows: --arch takes x86_64 or i686, not "%s"\n' "$arch" >&2; exit 2 ;;
esac
build=${VARNELO_WIN_BUILD:-$root/$build_name}
# HOME may be unset (a bare "env -i" shell); the account's home folder is meant.
home=${HOME:-$(cd ~ && pwd)}
cache=${VARNELO_MINGW_CACHE:-${XDG_CACHE_HOME:-$home/.cache}/varnelo-mingw}/$arch
jobs=${VARNELO_JOBS:-$(nproc)}
triplet=$arch-w64-mingw32
sysroot=/usr/$triplet
toolchain=$root/cmake/mingw-w64-$arch.cmake
release=bookworm
src_list=/etc/apt/sources.list.d/varnelo-deb-src.sources

packages=(g++-mingw-w64-$package_arch-posix gcc-mingw-w64-$package_arch-posix
          binutils-mingw-w64-$package_arch mingw-w64-tools libz-mingw-w64-dev cmake ninja-build
          pkg-config dpkg-dev)
[[ $with_tests == ON ]] && packages+=(googletest)

say() { printf '%s\n' "build-windows: $*" >&2; }
die() { say "$*"; exit 1; }

as_root() {
  if [[ $(id -u) == 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    say "adding the Debian source entry needs root: run this as root, or install sudo"
    return 1
  fi
}

workdir=
cleanup() {
  [[ -n $workdir ]] && rm -rf "$workdir"
  [[ -e $src_list ]] && as_root rm -f "$src_list"
  return 0
}
trap cleanup EXIT

install_missing_packages() { "$root/scripts/install-packages.sh" "${packages[@]}"; }

# A deb-src twin of the release's binary sources, only while this script runs.
add_source_entries() {
  local f found=0
  : | as_root tee "$src_list" >/dev/null
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f && $f != "$src_list" ]] || continue
    grep -q "^Suites:.*\b$release\b" "$f" || continue
    sed 's/^Types: deb$/Types: deb-src/' "$f" | as_root tee -a "$src_list" >/dev/null
    echo | as_root tee -a "$src_list" >/dev/null
    found=1
  done
  if ((found == 0)) && [[ -e /etc/apt/sources.list ]]; then
    # One-line sources: written out in the deb822 form of the same entries.
    awk -v rel="$release" '$1 == "deb" && $0 ~ rel {
        i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", uri, suite, comps
      }' /etc/apt/sources.list | as_root tee "$src_list" >/dev/null
  fi
  [[ -s $src_list ]] || { say "no Debian $release sources to add deb-src entries for"; return 1; }
  as_root apt-get update -qq -o Dir::Etc::sourcelist="$src_list" -o Dir::Etc::sourceparts=- \
    -o APT::Get::List-Cleanup=0 || say "warning: updating the source lists failed"
}

# The version that "apt-get source -t $release name" fetches.
source_version() {
  apt-get source --print-uris -t "$release" "$1" 2>/dev/null |
    sed -n "s/.* $1_\(.*\)\.dsc .*/\1/p" | head -n 1
}

# The newest complete cache folder of a library, for when apt cannot tell.
cached_version() {
  local d
  d=$(ls -d "$cache/$1"-*/ 2>/dev/null | sort -V | tail -n 1) || true
  [[ -n $d && -e $d/.complete ]] && basename "$d" | sed "s/^$1-//"
}

fetch_source() {
  local name=$1 version=$2
  (cd "$workdir" && apt-get source -qq -t "$release" "$name=$version" >"$workdir/$name.log" 2>&1) ||
    { cat "$workdir/$name.log" >&2; die "apt-get source $name=$version failed"; }
  ls -d "$workdir/$name"-*/ | head -n 1
}

configure_and_build() {
  local source=$1 binary=$2 log=$3
  shift 3
  cmake -S "$source" -B "$binary" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release "$@" >"$log" 2>&1 || { tail -n 30 "$log" >&2; return 1; }
  cmake --build "$binary" -j "$jobs" ${target:+--target "$target"} >>"$log" 2>&1 ||
    { tail -n 30 "$log" >&2; return 1; }
}

build_expat() {
  local source=$1 prefix=$2
  fix_expat_dtd "$source"
  configure_and_build "$source/expat" "$workdir/expat-build" "$workdir/expat-build.log" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${expat_options[@]}"
  cmake --install "$workdir/expat-build" >/dev/null
}

# Cross-compiling, CMake 3.25 crashes in check_c_source_runs, so the one run
# check (ZLIB_WINAPI, a calling convention that 64-bit Windows does not have
# and Debian's 32-bit zlib does not use) is answered here; the "_WITH_LIB"
# twin keeps libarchive from discarding that answer.
build_libarchive() {
  local source=$1 prefix=$2 zlib=$sysroot/lib/libz.a
  target=archive_static configure_and_build "$source" "$workdir/libarchive-build" \
    "$workdir/libarchive-build.log" "${libarchive_options[@]}" \
    -DZLIB_INCLUDE_DIR="$sysroot/include" -DZLIB_LIBRARY="$zlib" \
    -DZLIB_WINAPI=OFF -DZLIB_WINAPI_WITH_LIB="$zlib"
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$workdir/libarchive-build/libarchive/libarchive_static.a" "$prefix/lib/"
  cp "$source/libarchive/archive.h" "$source/libarchive/archive_entry.h" "$prefix/include/"
}

build_googletest() {
  local source=$1 prefix=$2
  configure_and_build "$source" "$workdir/googletest-build" "$workdir/googletest-build.log" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
    -Dgtest_disable_pthreads=OFF
  cmake --install "$workdir/googletest-build" >/dev/null
}

# Prints the cache folder of a library, building it first when it is missing.
ensure_library() {
  local name=$1 version=$2 source=${3:-} prefix
  prefix=$cache/$name-$version
  if [[ -e $prefix/.complete ]]; then
    say "$name $version: cached"
  else
    say "$name $version: building"
    rm -rf "$prefix"
    [[ -n $source ]] || source=$(fetch_source "$name" "$version")
    "build_${name//-/_}" "${source%/}" "$prefix" || die "building $name failed"
    touch "$prefix/.complete"
  fi
  printf '%s\n' "$prefix"
}

started=$(date +%s)
install_missing_packages
mkdir -p "$cache"
workdir=$(mktemp -d "$cache/work.XXXXXX")
chmod 755 "$workdir"  # apt's download user reads and writes there

declare -A version
for name in expat libarchive; do
  version[$name]=$(cached_version "$name" || true)
done
# Asking apt costs a source-list update, so it is done once, for both.
add_source_entries || true
for name in expat libarchive; do
  v=$(source_version "$name")
  if [[ -n $v ]]; then version[$name]=$v; fi
  [[ -n ${version[$name]} ]] || die "no source package version found for $name"
done

expat=$(ensure_library expat "${version[expat]}")
libarchive=$(ensure_library libarchive "${version[libarchive]}")
prefixes="$expat;$libarchive"
test_options=()
if [[ $with_tests == ON ]]; then
  gtest_version=$(dpkg-query -W -f='${Version}' googletest)
  gtest=$(ensure_library googletest "$gtest_version" /usr/src/googletest)
  prefixes+=";$gtest"
  test_options=(-DGTest_DIR="$gtest/lib/cmake/GTest")
fi
cleanup
workdir=

say "configuring $build"
mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVARNELO_MINGW_PREFIXES="$prefixes" \
  -DEXPAT_INCLUDE_DIR="$expat/include" -DEXPAT_LIBRARY="$expat/lib/libexpat.a" \
  -DLibArchive_INCLUDE_DIR="$libarchive/include" \
  -DLibArchive_LIBRARY="$libarchive/lib/libarchive_static.a" \
  -DZLIB_INCLUDE_DIR="$sysroot/include" -DZLIB_LIBRARY="$sysroot/lib/libz.a" \
  -DVARNELO_TESTS="$with_tests" "${test_options[@]}" >"$build/configure.log" 2>&1 ||
  { tail -n 40 "$build/configure.log" >&2; die "configuring failed"; }

targets=(varnelo)
# The suites that need nothing POSIX around them; the rest run on Linux.
[[ $with_tests == ON ]] && targets+=(windows_tests windows_ui_tests text_tests workbook_tests)
say "building ${targets[*]}"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

mkdir -p "$root/dist"
"$triplet-strip" -o "$root/dist/$program" "$build/varnelo.exe"

# Every DLL the program loads at start must come with Windows itself.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|uxtheme|msvcrt|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$("$triplet-objdump" -p "$root/dist/$program" | sed -n 's/^\s*DLL Name: //p')
foreign=$(printf '%s\n' "$imports" | tr 'A-Z' 'a-z' | grep -Ev "$system_dlls" || true)
[[ -z $foreign ]] || die "dist/$program needs DLLs that Windows does not have: $foreign"
say "imports: $(printf '%s ' $imports)"
say "dist/$program: $(stat -c %s "$root/dist/$program") bytes, $(($(date +%s) - started)) s"
