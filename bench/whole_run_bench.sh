#!/usr/bin/env bash
# What a whole run costs in time and memory, and what keeping track of every
# file placed (two entries' files of one name, old copies) adds to it: the
# console program over a table whose two entries share every destination
# (or, with "apart", each have their own), each with FILES small files
# (100,000 in all by default), a first run and three reruns a round, each
# program in a folder of its own, in alternating order. Prints the median
# wall time and the peak resident size per program and run.
#
#   bench/whole_run_bench.sh PROGRAM [OTHER_PROGRAM] [FILES per entry] [rounds] [shared|apart]
# With OTHER_PROGRAM (an earlier build), both are measured in the same run.
# Needs GNU time (Debian package time) and python3-xlsxwriter.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
programs=("$(realpath "$1")")
[[ -n ${2:-} && -x ${2:-} ]] && programs+=("$(realpath "$2")")
files=${3:-50000}
rounds=${4:-3}
layout=${5:-shared}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two entries, A and B, both sent to G/x and G/y, or A to G/x and B to G/y.
/usr/bin/python3 - "$work/model" "$files" "$layout" <<'EOF'
import os, sys
import xlsxwriter
folder, files, layout = sys.argv[1], int(sys.argv[2]), sys.argv[3]
root = os.path.join(folder, '0-所有履职材料')
for entry in ('A', 'B'):
    for i in range(files):
        path = os.path.join(root, entry, 'd%03d' % (i // 1000), '%s-%06d.txt' % (entry, i))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w') as f:
            f.write('x')
book = xlsxwriter.Workbook(os.path.join(root, '履职材料同步关系表.xlsx'))
sheet = book.add_worksheet()
sheet.write_row(1, 2, ['名称', 'G'])
apart = layout == 'apart'
sheet.write_row(2, 2, ['A', 'x' if apart else 'x,y'])
sheet.write_row(3, 2, ['B', 'y' if apart else 'x,y'])
book.close()
EOF

# Seconds and peak kilobytes of one run in folder.
measure() {  # folder
  /usr/bin/time -f '%e %M' -o "$work/time" env -u DISPLAY -u WAYLAND_DISPLAY "$1/varnelo" \
    </dev/null >/dev/null 2>&1 || true
  cat "$work/time"
}

declare -A first rerun
for ((round = 0; round < rounds; round++)); do
  for i in "${!programs[@]}"; do
    folder=$work/run-$i
    rm -rf "$folder"
    cp -r "$work/model" "$folder"
    cp "${programs[$i]}" "$folder/varnelo"
    sync
    first[$i]+="$(measure "$folder")"$'\n'
    # A rerun is quick and the clock wanders: three of them a round.
    for _ in 1 2 3; do rerun[$i]+="$(measure "$folder")"$'\n'; done
  done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for i in "${!programs[@]}"; do
  for kind in first rerun; do
    declare -n runs=$kind
    printf '%s, %s run (%d files, destinations %s): %s s, peak %s MiB\n' "${programs[$i]}" \
      "$kind" $((files * 2)) "$layout" "$(cut -d' ' -f1 <<<"${runs[$i]}" | sed '/^$/d' | median)" \
      "$(cut -d' ' -f2 <<<"${runs[$i]}" | sed '/^$/d' | median | awk '{ printf "%.1f", $1 / 1024 }')"
  done
done
