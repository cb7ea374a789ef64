#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz and runs each on a copy of its
# seed corpus for SECONDS_PER_TARGET seconds (default 20). Prints one
# "PASS: fuzz NAME" or "FAIL: fuzz NAME" line per target; exits non-zero when
# any target found a crash, a sanitizer report, a leak, a timeout, an input
# that ran out of memory or a write outside its program folder.
# Usage: tests/fuzz/run_fuzz.sh [SECONDS_PER_TARGET]
# Environment: VARNELO_FUZZ_BUILD (build folder), VARNELO_FUZZ_SEED (random seed).
set -euo pipefail

seconds=${1:-20}
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -gt 0 ]] || { echo "usage: $0 [SECONDS_PER_TARGET]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${VARNELO_FUZZ_BUILD:-$root/build-fuzz}
seed=${VARNELO_FUZZ_SEED:-1}

# shellcheck source=../../scripts/packages.sh
source "$root/scripts/packages.sh"
"$root/scripts/install-packages.sh" "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  mkdir -p "$build"
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVARNELO_FUZZ=ON -DVARNELO_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/fuzz-configure.log" 2>&1 ||
    { tail -n 40 "$build/fuzz-configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j2 --target fuzz_targets > "$build/fuzz-build.log" 2>&1 ||
  { tail -n 40 "$build/fuzz-build.log" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varnelo-fuzz-run-XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

# name, seed corpus, largest input: a zip inflates up to about a thousandfold,
# so the whole-path target takes smaller inputs to keep each run short.
targets=(
  "xml_document corpus/xml 65536"
  "readers corpus/readers 65536"
  "xlsx corpus/xlsx 16384"
)

# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
for line in "${targets[@]}"; do
  read -r name corpus max_len <<< "$line"
  # A copy, so that a run never grows the corpus kept in the repository.
  mkdir -p "$work/$name" "$artifacts/$name"
  cp "$here/$corpus"/* "$work/$name/"
  log="$artifacts/$name.log"
  if VARNELO_FUZZ_SCRATCH="$work" "$build/tests/fuzz/${name}_fuzz" \
      -dict="$here/spreadsheetml.dict" -seed="$seed" -max_total_time="$seconds" \
      -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name/" "$work/$name" > "$log" 2>&1; then
    verdict "fuzz $name" ""
  else
    verdict "fuzz $name" "$(grep -E '^==[0-9]+==ERROR|^==fuzz|SUMMARY|Test unit written' "$log" |
      head -n 10)
  log: $log"
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" |
    sed "s/^/  $name /" || true
done
checks_done
