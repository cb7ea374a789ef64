#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# end-to-end tests, the same again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets, a screenshot of the finished
# demo window, the Windows program under Wine, and the portable Linux
# programs in a Debian 11 root and under qemu-aarch64.
#
# Every stage runs even when an earlier one failed, and the last line is
# always "test.sh: N passed, M failed", every check counted: each CTest test,
# each "PASS: name" / "FAIL: name" line of the check scripts, and each test of
# the Windows test programs from their "[  PASSED  ] N tests." and
# "[  FAILED  ] N tests, listed below:" lines. A stage that ends badly without
# naming a failed check counts as one failed check. The status is 0 only when
# nothing failed.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
# One job count for every build this runs, the build scripts included.
export VARNELO_JOBS=${VARNELO_JOBS:-$(nproc)}
jobs=$VARNELO_JOBS
passed=0
failed=0
skipped=()
logs=build/test-logs

finish() {
  trap - EXIT INT TERM
  ((${#skipped[@]} == 0)) || printf 'test.sh: skipped: %s\n' "${skipped[@]}"
  echo "test.sh: $passed passed, $failed failed"
  ((failed == 0)) && exit 0
  exit 1
}
trap finish EXIT
trap 'echo "test.sh: interrupted"; failed=$((failed + 1)); exit 130' INT TERM

stage_failed() {  # what went wrong
  echo "test.sh: FAIL: $*"
  failed=$((failed + 1))
}

# Runs a check script, showing its output, and counts the checks it reports.
run_checks() {  # name, command...
  local name=$1 log status counts p f s
  shift
  log=$logs/$name.log
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  counts=$(tr -d '\r' <"$log" | awk '
    /^PASS: / { p++ }
    /^FAIL: / { f++ }
    /^SKIP: / { s++ }
    match($0, /^\[  PASSED  \] [0-9]+ tests?\./) { split($0, w, " "); p += w[4] }
    match($0, /^\[  FAILED  \] [0-9]+ tests?, listed below:/) { split($0, w, " "); f += w[4] }
    END { printf "%d %d %d\n", p, f, s }')
  read -r p f s <<<"$counts"
  passed=$((passed + p))
  failed=$((failed + f))
  if ((status != 0 && f == 0)); then
    stage_failed "$name ended with status $status without naming a failed check"
  elif ((status == 0 && p + f == 0)); then
    if ((s > 0)); then skipped+=("$name"); else stage_failed "$name reported no checks"; fi
  fi
}

# Builds a folder and runs its CTest suite; a build that fails counts as one
# failed check, since none of its tests could run.
run_suite() {  # build folder, extra CMake options...
  local folder=$1 total failures
  shift
  if ! cmake -S . -B "$folder" -DVARNELO_TESTS=ON "$@" >"$logs/$folder-configure.log" 2>&1; then
    tail -n 40 "$logs/$folder-configure.log"
    stage_failed "configuring $folder"
    return
  fi
  if ! cmake --build "$folder" -j"$jobs"; then
    stage_failed "building $folder"
    return
  fi
  ctest --test-dir "$folder" --output-on-failure -j"$jobs" 2>&1 | tee "$logs/$folder-ctest.log"
  total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$logs/$folder-ctest.log")
  failures=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$logs/$folder-ctest.log")
  if [[ -z $total || -z $failures ]]; then
    stage_failed "CTest in $folder printed no summary"
    return
  fi
  passed=$((passed + total - failures))
  failed=$((failed + failures))
}

mkdir -p "$logs"
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" ||
  stage_failed "installing the build and test packages"

echo "== Tests"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# GTK and fontconfig keep caches for the life of the process; leaks are
# looked for everywhere else.
ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNELO_SANITIZE=ON

echo "== Fuzz targets"
run_checks fuzz tests/fuzz/run_fuzz.sh

echo "== Screenshot of the demo window"
if [[ -x build/varnelo ]] && scripts/prepare-demo.sh build/varnelo build/screenshot-demo; then
  run_checks screenshot tests/ui/screenshot_demo.sh build/screenshot-demo/varnelo \
    build/demo-screenshot.png
else
  stage_failed "screenshot of the demo window: no program in build/"
fi

echo "== Windows program under Wine"
if ./build-windows.sh --tests; then
  run_checks wine tests/windows/wine_test.sh dist/varnelo.exe
  echo "== Windows dialogs under Wine"
  run_checks wine-dialogs tests/windows/wine_dialog_test.sh dist/varnelo.exe
elif on_debian_12; then
  stage_failed "building the Windows program (./build-windows.sh --tests)"
else
  # The cross build takes its compiler and library sources from Debian 12.
  skipped+=("the Windows program: its build failed, and this is not Debian 12")
fi

echo "== Portable Linux programs"
# build-linux.sh makes a Debian 11 root with debootstrap and works in it with
# chroot: that needs root, and Debian 12's debootstrap and qemu-user.
as_root=()
[[ $(id -u) == 0 ]] || as_root=(sudo --preserve-env=HOME,XDG_CACHE_HOME,VARNELO_LINUX_CACHE,VARNELO_DEBIAN_MIRROR)
if ! on_debian_12; then
  skipped+=("the portable Linux programs: their build root is made with Debian 12's debootstrap")
elif ((${#as_root[@]} > 0)) && ! sudo -n true 2>/dev/null; then
  skipped+=("the portable Linux programs: building them needs root or sudo")
elif ! scripts/install-packages.sh "${PORTABLE_PACKAGES[@]}"; then
  stage_failed "installing debootstrap and qemu-user"
else
  status=0
  "${as_root[@]}" ./build-linux.sh || status=$?
  if ((status == 0)); then
    run_checks portable-linux "${as_root[@]}" tests/linux/portable_test.sh build/varnelo
  elif ((status == 3)); then
    skipped+=("the portable Linux programs: the Debian mirror does not serve Debian 11")
  else
    stage_failed "building the portable Linux programs (./build-linux.sh)"
  fi
fi

echo "== The 32-bit Windows program under Wine"
if ./build-windows.sh --arch i686 --tests; then
  VARNELO_WIN_BUILD=$PWD/build-win32 run_checks wine32 tests/windows/wine_test.sh \
    dist/varnelo-32位.exe
elif on_debian_12; then
  stage_failed "building the 32-bit Windows program (./build-windows.sh --arch i686 --tests)"
else
  skipped+=("the 32-bit Windows program: its build failed, and this is not Debian 12")
fi

echo "== Windows 7: the programs' imports"
run_checks win7-imports tests/windows/check_imports.sh dist/varnelo.exe dist/varnelo-32位.exe

echo "== The packages of ./build-release.sh"
if [[ -f dist/varnelo.exe && -f dist/varnelo-32位.exe && -x build/varnelo ]]; then
  run_checks release tests/release/check_release.sh build/varnelo
else
  stage_failed "the packages: the Windows programs or build/varnelo were not built"
fi
