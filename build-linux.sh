#!/usr/bin/env bash
# Builds the portable Linux programs, dist/linux-x86_64/varnelo and
# dist/linux-aarch64/varnelo, in a Debian 11 (bullseye) build root, so that
# they start on every desktop with glibc 2.28 or newer and GTK 3.22 or newer
# ("Linux programs for older desktops" in docs/design.md): libstdc++, libgcc,
# expat, libarchive (zip and deflate only) and zlib are linked statically;
# libc, GTK 3 and what GTK brings are the system's.
#
# It also builds build-linux/i686/varnelo, the console program alone for
# 32-bit x86 Linux, which is not handed out: the 32-bit Windows program cannot
# run on a machine whose kernel runs no 32-bit x86 program, so the core it
# shares with the others (the table reader, the plan, the paths, the copy, the
# texts, the run record) is run at 32 bits through this one, under qemu-i386
# (tests/linux/portable_test.sh). There is no i386 GTK in the root, and the
# window code is not what it checks: it is built with VARNELO_CONSOLE_ONLY.
#
# The root is made with debootstrap from the Debian mirror this machine uses,
# with Debian 11's compilers (g++, g++-aarch64-linux-gnu and g++-i686-linux-gnu;
# Debian's multilib compiler cannot stand beside a cross compiler), CMake 3.18,
# GTK 3 for amd64 and, by multiarch, arm64, the i386 C library that the
# 32-bit program loads under qemu-i386, and what the tests run there
# (Xvfb, a window manager). expat, libarchive and zlib are built inside it
# from Debian 12's source packages, the versions the Windows program and the
# Debian 12 build use, once for each processor. The finished root is kept as a
# tarball outside the clone, named after what went into it, and reused:
#   ${XDG_CACHE_HOME:-~/.cache}/varnelo-linux/bullseye-root-<recipe>.tar.gz
# and unpacked in build-linux/root, where tests/linux/portable_test.sh runs.
#
# Needs root (debootstrap, chroot and the mounts of /proc and /dev it makes
# in the root while it works, all unmounted again on every way out).
#
# Exit status: 0 when the three programs were made, 3 when the root had to be made
# and the mirror does not serve Debian 11, 1 on any other failure.
#
# Environment: VARNELO_LINUX_CACHE (the tarball's folder), VARNELO_LINUX_ROOT
# (the unpacked root), VARNELO_DEBIAN_MIRROR (default: the Debian 12 mirror of
# /etc/apt/sources.list*, else http://deb.debian.org/debian), VARNELO_JOBS.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/scripts/linux-root.sh"
home=${HOME:-$(cd ~ && pwd)}
cache=${VARNELO_LINUX_CACHE:-${XDG_CACHE_HOME:-$home/.cache}/varnelo-linux}
root=$(linux_root_default "$here")
jobs=${VARNELO_JOBS:-$(nproc)}
release=bullseye
# The library sources: Debian 12's, as for the Windows program.
source_release=bookworm

say() { printf '%s\n' "build-linux: $*" >&2; }
die() { say "$*"; exit 1; }

[[ $(id -u) == 0 ]] ||
  die "needs root: it makes a Debian 11 root with debootstrap and builds in it with chroot; run it as root (sudo ./build-linux.sh)"

# What the root holds; its digest names the tarball, so a change here makes a new one.
root_packages=(g++ make cmake pkg-config dpkg-dev libgtk-3-dev
               g++-aarch64-linux-gnu libgtk-3-dev:arm64 g++-i686-linux-gnu libc6:i386
               xvfb xauth xdotool x11-utils imagemagick metacity wmctrl fonts-wqy-microhei)
arches=(x86_64 aarch64 i686)

mirror() {
  local uri
  if [[ -n ${VARNELO_DEBIAN_MIRROR:-} ]]; then echo "$VARNELO_DEBIAN_MIRROR"; return; fi
  uri=$(awk '/^URIs:/ { uri = $2 } /^Suites:.*bookworm( |$)/ && uri != "" { print uri; exit }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [[ -n $uri ]] || uri=$(awk '$1 == "deb" && / bookworm / { for (i = 2; i <= NF; i++)
      if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list 2>/dev/null || true)
  echo "${uri:-http://deb.debian.org/debian}"
}

cleanup() {
  root_unmount
  [[ -n ${partial:-} && -e $partial ]] && rm -f "$partial"
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs in the root: builds zlib, expat and libarchive for one processor into
# /opt/varnelo/<arch>, after the shared build options. Written out here so
# that its text, the options included, is part of the recipe.
library_script=$(cat "$here/scripts/static-libraries.sh")'
set -euo pipefail
arch=$1 jobs=$2
prefix=/opt/varnelo/$arch
cmake_cross=()
if [[ $arch != x86_64 ]]; then
  triplet=$arch-linux-gnu
  export CC=$triplet-gcc AR=$triplet-ar RANLIB=$triplet-ranlib
  cmake_cross=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=$arch
               -DCMAKE_C_COMPILER=$triplet-gcc -DCMAKE_CXX_COMPILER=$triplet-g++)
else
  export CC=gcc
fi
work=/tmp/libs-$arch
rm -rf "$work" && mkdir -p "$work" "$prefix"
cd "$work"
cp -r /usr/src/varnelo-libs/zlib-*/ zlib
(cd zlib && CFLAGS="-O2 -fPIC" ./configure --static --prefix="$prefix" >/dev/null &&
   make -j"$jobs" libz.a >/dev/null && make install >/dev/null)
cmake_build() {  # source, build, options...
  local source=$1 binary=$2
  shift 2
  cmake -S "$source" -B "$binary" -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    "${cmake_cross[@]}" "$@" >"$binary.log" 2>&1 || { tail -n 30 "$binary.log"; return 1; }
}
cp -r /usr/src/varnelo-libs/expat-*/ expat
fix_expat_dtd expat
cmake_build expat/expat expat-build -DCMAKE_INSTALL_PREFIX="$prefix" "${expat_options[@]}"
cmake --build expat-build -j "$jobs" >>expat-build.log 2>&1 && cmake --install expat-build >/dev/null
cp -r /usr/src/varnelo-libs/libarchive-*/ libarchive
cmake_build libarchive libarchive-build "${libarchive_options[@]}" \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
cmake --build libarchive-build -j "$jobs" --target archive_static >>libarchive-build.log 2>&1 ||
  { tail -n 30 libarchive-build.log; exit 1; }
cp libarchive-build/libarchive/libarchive.a "$prefix/lib/libarchive.a"
cp libarchive/libarchive/archive.h libarchive/libarchive/archive_entry.h "$prefix/include/"
cd / && rm -rf "$work"
'

recipe=$( { echo "$release $source_release"; printf '%s\n' "${root_packages[@]}" "$library_script"; } |
          sha256sum | cut -c1-12)
tarball=$cache/$release-root-$recipe.tar.gz

# A root in progress may still have the system's /dev bound into it:
# never delete below a mount.
remove_root() {
  [[ -e $root ]] || return 0
  mounted_under "$root" && die "something is still mounted under $root; unmount it first"
  rm -rf --one-file-system "$root"
}

make_root() {
  local url
  url=$(mirror)
  # An unreachable mirror is told apart (status 3): test.sh skips the stage then.
  if ! wget -q -T 20 -O /dev/null "$url/dists/$release/Release"; then
    say "the mirror $url does not serve Debian $release (dists/$release/Release)"
    exit 3
  fi
  say "making the Debian 11 root from $url (debootstrap, then about 700 packages)"
  remove_root
  mkdir -p "$root"
  debootstrap --variant=minbase "$release" "$root" "$url" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; die "debootstrap $release from $url failed"; }
  cat >"$root/etc/apt/sources.list" <<SOURCES
deb $url $release main
deb-src $url $source_release main
SOURCES
  cat >"$root/etc/apt/apt.conf.d/90varnelo" <<'CONF'
APT::Install-Recommends "false";
APT::Sandbox::User "root";
CONF
  root_mount "$root"
  in_root "$root" dpkg --add-architecture arm64
  in_root "$root" dpkg --add-architecture i386
  in_root "$root" apt-get update -q >/dev/null
  in_root "$root" apt-get install -y -q "${root_packages[@]}" >"$root.apt.log" 2>&1 ||
    { tail -n 30 "$root.apt.log" >&2; die "installing the build packages in the root failed"; }
  say "building zlib, expat and libarchive from Debian $source_release's sources"
  mkdir -p "$root/usr/src/varnelo-libs"
  in_root "$root" sh -c 'cd /usr/src/varnelo-libs && apt-get source -q expat libarchive zlib' \
    >"$root.source.log" 2>&1 || { tail -n 20 "$root.source.log" >&2; die "apt-get source failed"; }
  for arch in "${arches[@]}"; do
    in_root "$root" bash -c "$library_script" library "$arch" "$jobs" ||
      die "building the libraries for $arch failed"
  done
  rm -rf "$root"/usr/src/varnelo-libs/*
  in_root "$root" apt-get clean
  root_unmount
  say "keeping the root in $tarball"
  mkdir -p "$cache"
  partial=$tarball.partial
  tar -C "$root" --one-file-system -czf "$partial" .
  mv "$partial" "$tarball"
  partial=
  # Older recipes' tarballs are of no more use.
  find "$cache" -maxdepth 1 -name "$release-root-*.tar.gz" ! -path "$tarball" -delete
  echo "$tarball" >"$root.stamp"
}

started=$(date +%s)
if [[ -e $root/.varnelo-root && -e $root.stamp && $(cat "$root.stamp") == "$tarball" ]]; then
  say "root: $root (cached)"
elif [[ -e $tarball ]]; then
  say "root: unpacking $tarball"
  rm -f "$root.stamp"
  remove_root
  mkdir -p "$root"
  tar -C "$root" -xzf "$tarball"
  echo "$tarball" >"$root.stamp"
else
  make_root
fi
touch "$root/.varnelo-root"

# The program's sources, fresh each time, and a build folder per processor.
say "copying the sources into the root"
rm -rf "$root/src/varnelo"
mkdir -p "$root/src/varnelo"
tar -C "$here" --exclude=./.git --exclude='./build*' --exclude=./dist -cf - . |
  tar -C "$root/src/varnelo" -xf -
for arch in "${arches[@]}"; do
  prefix=/opt/varnelo/$arch
  options=(-DCMAKE_BUILD_TYPE=Release -DVARNELO_TESTS=OFF -DVARNELO_PORTABLE=ON
           -DEXPAT_INCLUDE_DIR=$prefix/include -DEXPAT_LIBRARY=$prefix/lib/libexpat.a
           -DLibArchive_INCLUDE_DIR=$prefix/include -DLibArchive_LIBRARY=$prefix/lib/libarchive.a
           -DZLIB_INCLUDE_DIR=$prefix/include -DZLIB_LIBRARY=$prefix/lib/libz.a)
  strip=strip
  product=dist/linux-$arch/varnelo
  if [[ $arch != x86_64 ]]; then
    options+=(-DCMAKE_TOOLCHAIN_FILE=/src/varnelo/cmake/linux-$arch.cmake
              -DVARNELO_STATIC_PREFIX=$prefix)
    strip=$arch-linux-gnu-strip
  fi
  if [[ $arch == i686 ]]; then
    # The 32-bit check program: console only, kept out of dist/ and so out of
    # the packages of build-release.sh.
    options+=(-DVARNELO_CONSOLE_ONLY=ON)
    product=build-linux/i686/varnelo
  fi
  say "building the $arch program"
  binary=/src/build-$arch
  in_root "$root" cmake -S /src/varnelo -B "$binary" "${options[@]}" >"$root.configure-$arch.log" 2>&1 ||
    { tail -n 30 "$root.configure-$arch.log" >&2; die "configuring the $arch program failed"; }
  in_root "$root" cmake --build "$binary" -j "$jobs" --target varnelo >"$root.build-$arch.log" 2>&1 ||
    { tail -n 40 "$root.build-$arch.log" >&2; die "building the $arch program failed"; }
  mkdir -p "$here/$(dirname "$product")"
  in_root "$root" "$strip" -o /src/varnelo-$arch "$binary/varnelo"
  mv "$root/src/varnelo-$arch" "$here/$product"
  say "$product: $(stat -c %s "$here/$product") bytes"
done
say "done in $(($(date +%s) - started)) s"
