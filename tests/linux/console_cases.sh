#!/usr/bin/env bash
# Runs the console program over the sample in examples/ (twice: the first
# copy, then the run over the unchanged result), over every damaged workbook
# of tests/data/damaged put in the sample's place, and alone in an empty
# folder, and writes what each run showed into OUT/<case>.txt: the exit
# status, standard output and standard error, the folder's tree (type, path,
# permission bits, size and MD5 of every file) and the run record, with the
# folder's own path written as <folder> and the record's times as <time>.
# tests/linux/portable_test.sh compares these files of the portable programs
# with the native build's.
#   console_cases.sh PROGRAM OUT
# VARNELO_RUNNER, when set, is put before every start of the program (an
# emulator such as "qemu-aarch64 -L ROOT").
set -euo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
read -r -a runner <<<"${VARNELO_RUNNER:-}"
mkdir -p "$out"
out=$(realpath "$out")
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT

# The case's folder and the record's times made alike for any place and hour.
normal() {  # folder
  sed -e "s|$1|<folder>|g" \
      -e 's/[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}[ T][0-9]\{2\}[.:][0-9]\{2\}[.:][0-9]\{2\}/<time>/g'
}

run_case() {  # case, folder
  local name=$1 d=$2 status=0 f
  (cd / && env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=C.UTF-8 "${runner[@]}" "$d/varnelo" \
     </dev/null >"$scratch/stdout" 2>"$scratch/stderr") || status=$?
  {
    echo "== status $status"
    echo "== standard output"
    normal "$d" <"$scratch/stdout"
    echo "== standard error"
    normal "$d" <"$scratch/stderr"
    echo "== tree"
    (cd "$d" && find . -path ./varnelo -prune -o -path './0-所有履职材料/同步记录/*' -prune -o \
       -printf '%y %p %m\n' | LC_ALL=C sort)
    (cd "$d" && find . -type f ! -path ./varnelo ! -path './0-所有履职材料/同步记录/*' -print0 |
       LC_ALL=C sort -z | xargs -0 -r md5sum)
    echo "== records"
    for f in "$d/0-所有履职材料/同步记录"/*; do
      [[ -e $f ]] || continue
      echo "-- $(basename "$f" | normal "$d")"
      tr -d '\r' <"$f" | normal "$d"
    done
  } >"$out/$name.txt"
}

# The sample, first copy and rerun.
"$top/scripts/prepare-demo.sh" "$program" "$scratch/sample" >/dev/null
run_case sample-first "$scratch/sample"
rm -rf "$scratch/sample/0-所有履职材料/同步记录"
run_case sample-again "$scratch/sample"

# Each damaged workbook in the sample's place: nothing is copied.
for workbook in "$top"/tests/data/damaged/*.xlsx; do
  name=damaged-$(basename "$workbook" .xlsx)
  "$top/scripts/prepare-demo.sh" "$program" "$scratch/$name" >/dev/null
  cp "$workbook" "$scratch/$name/0-所有履职材料/履职材料同步关系表.xlsx"
  run_case "$name" "$scratch/$name"
done

# The program alone.
mkdir -p "$scratch/alone"
cp "$program" "$scratch/alone/varnelo"
run_case alone "$scratch/alone"
