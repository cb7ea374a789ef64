#!/usr/bin/env bash
# The portable Linux programs of build-linux.sh, tested where they will run
# ("Linux programs for older desktops" in docs/design.md):
#   - what both ask of the system (tests/linux/symbols_test.sh);
#   - the x86-64 program in the Debian 11 root: the console end-to-end tests
#     of tests/app/lone_program_test.sh, the console runs of
#     tests/linux/console_cases.sh compared with the native program's, and
#     the window under Xvfb up to the summary box (tests/ui/screenshot_demo.sh);
#   - the aarch64 program under qemu-aarch64 with the root's arm64 libraries:
#     the same console tests and comparison;
#   - the i686 console program (build-linux/i686/varnelo) under qemu-i386 with
#     the root's i386 C library: the same console tests and comparison, which
#     run the core the 32-bit Windows program shares with the others at 32
#     bits, and a table too large for a 32-bit address space, which must fail
#     the run with "内存不足" and no crash.
# Usage: portable_test.sh NATIVE_PROGRAM   (run as root, after ./build-linux.sh)
# Prints "PASS: name" or "FAIL: name" for each check and exits 1 on a failure.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/linux-root.sh"
native=$(realpath "$1")
root=$(linux_root_default "$top")
x86=$top/dist/linux-x86_64/varnelo
arm=$top/dist/linux-aarch64/varnelo
i686=$top/build-linux/i686/varnelo
# shellcheck source=../support/checks.sh
source "$top/tests/support/checks.sh"
kit=/tmp/varnelo-portable-test
# The window is run where a user keeps such things: its picture is the
# guide's, and the log shows the folder. In the root only, removed again.
home_demo=/home/张三/文档/履职材料
scratch=$(mktemp -d)
huge_run=  # the process of the out-of-memory run while it lasts

cleanup() {
  [[ -n $huge_run ]] && kill "$huge_run" 2>/dev/null && wait "$huge_run" 2>/dev/null
  root_unmount
  if ! mounted_under "$root"; then
    [[ -d $root$kit ]] && rm -rf --one-file-system "$root$kit"
    [[ -d $root/home/张三 ]] && rm -rf --one-file-system "$root/home/张三"
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Passes on a check script's lines with a prefix naming where they ran.
prefixed() {  # prefix
  sed -u -E "s/^(PASS|FAIL): /\1: $1: /"
}

if [[ $(id -u) != 0 ]]; then
  echo "SKIP: portable programs: running them in the Debian 11 root needs root"
  exit 0
fi
[[ -x $root/bin/sh && -f $root/.varnelo-root ]] || { verdict "portable programs" "no Debian 11 root at $root"; exit 1; }

"$top/tests/linux/symbols_test.sh" "$x86" "$arm" || failures=$((failures + 1))

# The native program's runs, the reference for both.
"$top/tests/linux/console_cases.sh" "$native" "$scratch/native" ||
  verdict "native console runs" "the native program's console runs could not be made"

compare() {  # where, folder of its runs
  local where=$1 runs=$2 case name
  for case in "$scratch/native"/*.txt; do
    name=$(basename "$case" .txt)
    if [[ ! -e $runs/$name.txt ]]; then
      verdict "$where: console run $name as the native program's" "not run"
    else
      diff -u "$case" "$runs/$name.txt" >"$scratch/diff" 2>&1
      verdict "$where: console run $name as the native program's" "$(head -n 40 "$scratch/diff")"
    fi
  done
}

# What the tests need inside the root, laid out as in the clone.
rm -rf "$root$kit"
mkdir -p "$root$kit"/{scripts,tests/app,tests/ui,tests/linux,tests/data,tests/support}
cp "$top/scripts/prepare-demo.sh" "$root$kit/scripts/"
cp -r "$top/examples" "$root$kit/"
cp -r "$top/tests/data/damaged" "$root$kit/tests/data/"
cp "$top/tests/app/lone_program_test.sh" "$root$kit/tests/app/"
cp "$top/tests/support/checks.sh" "$root$kit/tests/support/"
cp "$top/tests/ui/screenshot_demo.sh" "$top/tests/ui/with_xvfb.sh" "$root$kit/tests/ui/"
cp "$top/tests/linux/console_cases.sh" "$root$kit/tests/linux/"
cp "$x86" "$root$kit/varnelo"
root_mount "$root"

where="x86-64 in Debian 11"
in_root "$root" bash "$kit/tests/app/lone_program_test.sh" "$kit/varnelo" 2>&1 | prefixed "$where"
((PIPESTATUS[0] == 0)) || failures=$((failures + 1))
if in_root "$root" bash "$kit/tests/linux/console_cases.sh" "$kit/varnelo" "$kit/runs" >"$scratch/x86.log" 2>&1
then
  compare "$where" "$root$kit/runs"
else
  verdict "$where: console runs" "$(cat "$scratch/x86.log")"
fi
in_root "$root" bash "$kit/scripts/prepare-demo.sh" "$kit/varnelo" "$home_demo" &&
  in_root "$root" sh "$kit/tests/ui/screenshot_demo.sh" "$home_demo/varnelo" "$kit/screenshot.png" 2>&1 |
    prefixed "$where"
((PIPESTATUS[0] == 0)) || failures=$((failures + 1))
mkdir -p "$top/build"
cp "$root$kit/screenshot.png" "$top/build/linux-x86_64-screenshot.png" 2>/dev/null || true

# A program for another processor under qemu-user, given the root's
# libraries with -L; /proc/self/exe is the emulated program.
emulated() {  # where, emulator, program, name of its runs
  local where=$1 emulator=$2 program=$3 runs=$scratch/$4
  export VARNELO_RUNNER="$emulator -L $root"
  "$top/tests/app/lone_program_test.sh" "$program" 2>&1 | prefixed "$where"
  ((PIPESTATUS[0] == 0)) || failures=$((failures + 1))
  if "$top/tests/linux/console_cases.sh" "$program" "$runs" >"$runs.log" 2>&1; then
    compare "$where" "$runs"
  else
    verdict "$where: console runs" "$(cat "$runs.log")"
  fi
  unset VARNELO_RUNNER
}

# A cell of 800 MiB. Reading it holds its text in UTF-16 and a copy of that
# at once (a 256 MiB cell takes 1041 MiB on x86-64), some 3.2 GiB here: more
# than the 3 GiB (-R) of a large-address-aware process on 32-bit Windows.
# -p 65536 maps the guest's memory in Windows' 64 KiB units; it also makes
# qemu's search for free space 16 times shorter, and that search is repeated
# for every piece of the cell read after its text could no longer grow
# (1.5 minutes rather than 10).
out_of_memory_at_32_bits() {  # where
  local where=$1 folder=$scratch/huge status=0
  /usr/bin/python3 "$top/tests/app/huge_cell_workbook.py" "$folder" 800 ||
    { verdict "$where: out of memory in a 3 GiB address space" "the huge workbook could not be made"; return; }
  cp "$i686" "$folder/varnelo"
  (cd "$folder" && exec env -u DISPLAY -u WAYLAND_DISPLAY \
     qemu-i386 -L "$root" -R 0xC0000000 -p 65536 ./varnelo) >"$scratch/huge.out" 2>&1 </dev/null &
  huge_run=$!
  wait "$huge_run" || status=$?
  huge_run=
  if [[ $status == 1 ]] && grep -q '^【失败】无法打开关系表：.*（内存不足：' "$scratch/huge.out" &&
     [[ ! -e $folder/G ]]; then
    verdict "$where: out of memory in a 3 GiB address space" ""
  else
    verdict "$where: out of memory in a 3 GiB address space" "status $status
$(tail -n 5 "$scratch/huge.out" | cut -c1-200)"
  fi
  rm -rf "$folder"
}

where="aarch64 under qemu-aarch64"
if ! command -v qemu-aarch64 >/dev/null; then
  verdict "$where" "qemu-aarch64 is not installed (Debian package qemu-user)"
else
  emulated "$where" qemu-aarch64 "$arm" aarch64
fi

where="i686 under qemu-i386"
if ! command -v qemu-i386 >/dev/null; then
  verdict "$where" "qemu-i386 is not installed (Debian package qemu-user)"
elif [[ ! -f $i686 ]]; then
  verdict "$where" "no $i686 (./build-linux.sh makes it)"
elif ! LC_ALL=C readelf -h "$i686" | grep -q 'Class:.*ELF32' ||
     ! LC_ALL=C readelf -h "$i686" | grep -q 'Machine:.*80386'; then
  verdict "$where" "$i686 is not a 32-bit x86 program"
else
  emulated "$where" qemu-i386 "$i686" i686
  out_of_memory_at_32_bits "$where"
fi
checks_done
