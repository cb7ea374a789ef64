#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# end-to-end tests, the same again under AddressSanitizer and
# UndefinedBehaviorSanitizer, a screenshot of the finished demo window, and
# the Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
jobs=$(nproc)
passed=0

run_suite() {  # build folder, extra CMake options...
  local folder=$1
  shift
  cmake -S . -B "$folder" -DVARNELO_TESTS=ON "$@" >/dev/null
  cmake --build "$folder" -j"$jobs"
  ctest --test-dir "$folder" --output-on-failure -j"$jobs" | tee "$folder/ctest.log"
  local ran
  ran=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$folder/ctest.log")
  passed=$((passed + ${ran:-0}))
}

echo "== Tests"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# GTK and fontconfig keep caches for the life of the process; leaks are
# looked for everywhere else.
ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNELO_SANITIZE=ON

if [[ -x tests/ui/screenshot_demo.sh ]]; then
  echo "== Screenshot of the demo window"
  scripts/prepare-demo.sh build/varnelo build/screenshot-demo
  tests/ui/screenshot_demo.sh build/screenshot-demo/varnelo build/demo-screenshot.png
fi

if [[ -x build-windows.sh && -x tests/windows/wine_test.sh ]]; then
  echo "== Windows program under Wine"
  ./build-windows.sh --tests
  tests/windows/wine_test.sh dist/varnelo.exe
fi
echo "== All tests passed"
echo "test.sh: $passed passed, 0 failed"
