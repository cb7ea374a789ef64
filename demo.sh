#!/usr/bin/env bash
# Builds the program and runs it on the sample in examples/: a copy of the
# program and of the sample folder go into build/demo, as office staff would
# keep them side by side. With a display the window opens; without one the
# run prints to the terminal.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNELO_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target varnelo

demo=build/demo
scripts/prepare-demo.sh build/varnelo "$demo"

echo "Running $demo/varnelo"
status=0
"$demo/varnelo" || status=$?
echo "The destination folders are in $demo:"
find "$demo" -mindepth 1 -maxdepth 2 -type d ! -path "*/0-所有履职材料*" | sort
exit $status
