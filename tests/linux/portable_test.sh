#!/usr/bin/env bash
# The portable Linux programs of build-linux.sh, tested where they will run
# (DESIGN.md section 14):
#   - what both ask of the system (tests/linux/symbols_test.sh);
#   - the x86-64 program in the Debian 11 root: the console end-to-end tests
#     of tests/app/lone_program_test.sh, the console runs of
#     tests/linux/console_cases.sh compared with the native program's, and
#     the window under Xvfb up to the summary box (tests/ui/screenshot_demo.sh);
#   - the aarch64 program under qemu-aarch64 with the root's arm64 libraries:
#     the same console tests and comparison.
# Usage: portable_test.sh NATIVE_PROGRAM   (run as root, after ./build-linux.sh)
# Prints "PASS: name" or "FAIL: name" for each check and exits 1 on a failure.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/linux-root.sh"
native=$(realpath "$1")
root=$(linux_root_default "$top")
x86=$top/dist/linux-x86_64/varnelo
arm=$top/dist/linux-aarch64/varnelo
failures=0
kit=/tmp/varnelo-portable-test
scratch=$(mktemp -d)

cleanup() {
  root_unmount
  [[ -d $root$kit ]] && ! mounted_under "$root" && rm -rf --one-file-system "$root$kit"
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Passes on a check script's lines with a prefix naming where they ran.
prefixed() {  # prefix
  sed -u -E "s/^(PASS|FAIL): /\1: $1: /"
}
count_failure() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [[ $(id -u) != 0 ]]; then
  echo "SKIP: portable programs: running them in the Debian 11 root needs root"
  exit 0
fi
[[ -x $root/bin/sh && -f $root/.varnelo-root ]] || { count_failure "no Debian 11 root at $root"; exit 1; }

"$top/tests/linux/symbols_test.sh" "$x86" "$arm" || failures=$((failures + 1))

# The native program's runs, the reference for both.
"$top/tests/linux/console_cases.sh" "$native" "$scratch/native" ||
  count_failure "the native program's console runs could not be made"

compare() {  # where, folder of its runs
  local where=$1 runs=$2 case name
  for case in "$scratch/native"/*.txt; do
    name=$(basename "$case" .txt)
    if [[ ! -e $runs/$name.txt ]]; then
      count_failure "$where: console run $name: not run"
    elif diff -u "$case" "$runs/$name.txt" >"$scratch/diff" 2>&1; then
      echo "PASS: $where: console run $name as the native program's"
    else
      head -n 40 "$scratch/diff"
      count_failure "$where: console run $name as the native program's"
    fi
  done
}

# What the tests need inside the root, laid out as in the clone.
rm -rf "$root$kit"
mkdir -p "$root$kit"/{scripts,tests/app,tests/ui,tests/linux,tests/data}
cp "$top/scripts/prepare-demo.sh" "$root$kit/scripts/"
cp -r "$top/examples" "$root$kit/"
cp -r "$top/tests/data/damaged" "$root$kit/tests/data/"
cp "$top/tests/app/lone_program_test.sh" "$root$kit/tests/app/"
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
  cat "$scratch/x86.log"
  count_failure "$where: console runs"
fi
in_root "$root" bash "$kit/scripts/prepare-demo.sh" "$kit/varnelo" "$kit/demo" &&
  in_root "$root" sh "$kit/tests/ui/screenshot_demo.sh" "$kit/demo/varnelo" "$kit/screenshot.png" 2>&1 |
    prefixed "$where"
((PIPESTATUS[0] == 0)) || failures=$((failures + 1))
mkdir -p "$top/build"
cp "$root$kit/screenshot.png" "$top/build/linux-x86_64-screenshot.png" 2>/dev/null || true

where="aarch64 under qemu-aarch64"
if ! command -v qemu-aarch64 >/dev/null; then
  count_failure "$where: qemu-aarch64 is not installed (Debian package qemu-user)"
else
  # The arm64 libraries of the root; /proc/self/exe is the emulated program.
  export VARNELO_RUNNER="qemu-aarch64 -L $root"
  "$top/tests/app/lone_program_test.sh" "$arm" 2>&1 | prefixed "$where"
  ((PIPESTATUS[0] == 0)) || failures=$((failures + 1))
  if "$top/tests/linux/console_cases.sh" "$arm" "$scratch/aarch64" >"$scratch/arm.log" 2>&1; then
    compare "$where" "$scratch/aarch64"
  else
    cat "$scratch/arm.log"
    count_failure "$where: console runs"
  fi
  unset VARNELO_RUNNER
fi
((failures == 0))
