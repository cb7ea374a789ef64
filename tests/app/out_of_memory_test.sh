#!/usr/bin/env bash
# A table too large for the memory the program may use fails the run with
# "内存不足" and status 1, never a crash: the console program reads a table
# with one 256 MiB cell under address-space limits that run out at different
# points of the read (the 32-bit Windows program meets the same under Wine,
# tests/windows/wine_test.sh).
#
#   tests/app/out_of_memory_test.sh build/varnelo
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/huge_cell_workbook.py" "$work/folder" 256 || exit 1
cp "$program" "$work/folder/varnelo"
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"
for limit in 350000 800000; do
  status=0
  (ulimit -v "$limit" && cd "$work/folder" && exec env -u DISPLAY -u WAYLAND_DISPLAY ./varnelo) \
    >"$work/out" 2>&1 </dev/null || status=$?
  if [[ $status == 1 ]] && grep -q '^【失败】无法打开关系表：.*（内存不足：' "$work/out" &&
     [[ ! -e $work/folder/G ]]; then
    verdict "out of memory within $limit KiB" ""
  else
    verdict "out of memory within $limit KiB" "status $status
$(tail -n 5 "$work/out" | cut -c1-200)"
  fi
done
checks_done
