#!/usr/bin/env bash
# The program folder on a file server one round trip away: a FUSE
# passthrough (tests/support/slow_share.cpp) that waits DELAY microseconds on
# every call holds an office-sized tree (bench/make_share_table.py: 30 people,
# 6 groups, 152 destinations, 3,041 files, 38 MB). In one session, one after
# another, each on a share of its own mounted afresh (nothing cached):
#   varnelo   the program, first run and a rerun over the unchanged tree;
#   earlier   the same for another build of it, when --earlier is given;
#   cp        one "cp -r" per destination, and "cp -ru" for the rerun;
#   cp ×8     per destination, its folders made, then its files by 8 "cp" at
#             once ("cp -u" for the rerun);
#   rsync     one "rsync -a" per destination, the rerun only, over
#             destinations filled beforehand on the backing disk.
# Each rerun is on the share mounted afresh over what the first run left,
# as a clerk's next run finds it. Prints the seconds and how many times
# slower each is than the program, and what each asked of the server (the
# share's own count of calls, per run). With --calls it counts instead, on
# a share without delay, the system calls of the program per file copied
# and per file found unchanged (strace -f -c), and the share's calls.
#
#   bench/network_share_bench.sh [--delay µs] [--earlier PROGRAM] [--calls] PROGRAM SLOW_SHARE
#
# Needs root for the mount, as the tests do; every mount it makes is ended
# on every way out.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
delay=1000
earlier=
calls=0
while [[ ${1:-} == --* ]]; do
  case $1 in
    --delay) delay=$2; shift 2 ;;
    --earlier) earlier=$(realpath "$2"); shift 2 ;;
    --calls) calls=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[[ $# -eq 2 ]] || { sed -n 2,25p "$0"; exit 2; }
program=$(realpath "$1")
slow_share=$(realpath "$2")
[[ $(id -u) == 0 && -e /dev/fuse ]] || { echo "needs root and /dev/fuse" >&2; exit 2; }
# shellcheck source=../scripts/packages.sh
source "$here/../scripts/packages.sh"
"$here/../scripts/install-packages.sh" "${BENCH_PACKAGES[@]}" || exit 1

work=$(mktemp -d)
mount=$work/share
daemon=
unmount() {
  [[ -n $daemon ]] || return 0
  # Unmounted, the share prints its count and ends by itself; a kill that
  # came first could end it before it had.
  if umount "$mount" 2>/dev/null; then
    for _ in $(seq 100); do kill -0 "$daemon" 2>/dev/null || break; sleep 0.05; done
  else
    umount -l "$mount" 2>/dev/null
  fi
  kill "$daemon" 2>/dev/null
  wait "$daemon" 2>/dev/null
  daemon=
}
trap 'unmount; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

/usr/bin/python3 "$here/make_share_table.py" "$work/tree" "$work/destinations.txt" || exit 1
mkdir -p "$mount"

# Mounts a fresh copy of the tree; a command given fills it first, on the
# backing disk.
share() {  # delay [command...]
  rm -rf "$work/backing"
  cp -a "$work/tree" "$work/backing"
  local delay=$1
  shift
  (($# == 0)) || (cd "$work/backing" && "$@") || exit 1
  # What the copy above left to write goes to the disk now, not during the
  # run measured next.
  sync
  remount "$delay"
}

# Mounts the backing folder as it is, the share's count of calls going to
# calls.txt when it is unmounted.
remount() {  # delay
  "$slow_share" "$work/backing" "$mount" "$1" 2>"$work/calls.txt" &
  daemon=$!
  for _ in $(seq 100); do mountpoint -q "$mount" && return 0; sleep 0.05; done
  echo "the share did not come up" >&2
  exit 1
}

# Runs a command in the share; its seconds go to $took. A command that ended
# on Ctrl+C ends the benchmark too (the program itself leaves with 130).
took=
timed() {  # command...
  local start end status
  start=$(date +%s.%N)
  (cd "$mount" && "$@") >/dev/null 2>&1
  status=$?
  end=$(date +%s.%N)
  ((status == 130 || status == 143)) && exit 130
  took=$(echo "$start $end" | awk '{ printf "%.2f", $2 - $1 }')
}

run_program() { env -u DISPLAY -u WAYLAND_DISPLAY ./varnelo </dev/null; }

copy_each() {  # cp options...
  local material destination
  while IFS=$'\t' read -r material destination; do
    mkdir -p "$destination" && cp -r --preserve=mode,timestamps "$@" "$material/." "$destination/"
  done <"$work/destinations.txt"
}

copy_each_by_eight() {  # cp options...
  local material destination target
  while IFS=$'\t' read -r material destination; do
    target=$PWD/$destination
    (cd "$material" && find . -type d -print0) | (mkdir -p "$target" && cd "$target" &&
      xargs -0 mkdir -p)
    (cd "$material" && find . ! -type d -print0 |
      xargs -0 -P8 -n16 cp --parents --preserve=mode,timestamps "$@" -t "$target")
  done <"$work/destinations.txt"
}

rsync_each() {
  local material destination
  while IFS=$'\t' read -r material destination; do
    mkdir -p "$destination" && rsync -a "$material/" "$destination/"
  done <"$work/destinations.txt"
}

declare -A first rerun asked asked_rerun
served() { sed -n 's/^slow_share: //p' "$work/calls.txt"; }
measure() {  # name, first command, rerun command
  local name=$1
  share "$delay"
  [[ $name == varnelo || $name == earlier ]] && cp "${program_of[$name]}" "$mount/varnelo"
  timed $2
  first[$name]=$took
  unmount
  asked[$name]=$(served)
  remount "$delay"
  timed $3
  rerun[$name]=$took
  unmount
  asked_rerun[$name]=$(served)
}

# The rerun alone, over destinations the same command filled on the backing
# disk.
measure_rerun() {  # name, command
  share "$delay" "$2"
  first[$1]=-
  asked[$1]=-
  timed "$2"
  rerun[$1]=$took
  unmount
  asked_rerun[$1]=$(served)
}

if ((calls)); then
  files=$(find "$work/tree/0-所有履职材料" -type f ! -name '*.xlsx' | wc -l)
  copies=0
  while IFS=$'\t' read -r material _; do
    copies=$((copies + $(find "$work/tree/$material" -type f | wc -l)))
  done <"$work/destinations.txt"
  for build in "$program" ${earlier:+"$earlier"}; do
    share 0
    cp "$build" "$mount/varnelo"
    (cd "$mount" && strace -f -c -o "$work/first.txt" env -u DISPLAY ./varnelo >/dev/null 2>&1)
    unmount
    first_served=$(served)
    remount 0
    (cd "$mount" && strace -f -c -o "$work/rerun.txt" env -u DISPLAY ./varnelo >/dev/null 2>&1)
    unmount
    rerun_served=$(served)
    echo "$build: system calls per file ($copies copies of $files files)"
    for run in first rerun; do
      awk -v copies="$copies" -v run="$run" '
        $NF ~ /^(openat|newfstatat|statx|fstat|close|copy_file_range|read|write|renameat|rename|utimensat|fchmod|readlink|getdents64|mkdir|mkdirat|statfs|fstatfs|unlinkat)$/ {
          printf "  %-6s %-16s %6.2f\n", run, $NF, $4 / copies }' \
        "$work/$run.txt"
      awk -v copies="$copies" -v run="$run" '$NF == "total" {
        printf "  %-6s %-16s %6.2f\n", run, "all calls", $4 / copies }' "$work/$run.txt"
    done
    for run in first rerun; do
      [[ $run == first ]] && line=$first_served || line=$rerun_served
      echo "$line" | awk -v copies="$copies" -v run="$run" '{
        printf "  %-6s %-16s %6.2f (%s)\n", run, "share served", $1 / copies, $0 }'
    done
  done
  exit 0
fi

declare -A program_of=([varnelo]=$program)
names=(varnelo)
if [[ -n $earlier ]]; then
  program_of[earlier]=$earlier
  names+=(earlier)
fi
measure varnelo run_program run_program
[[ -n $earlier ]] && measure earlier run_program run_program
measure cp "copy_each" "copy_each -u"
measure cp8 "copy_each_by_eight" "copy_each_by_eight -u"
measure_rerun rsync rsync_each

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-") print ""; else printf "%.2f×", a / b }'; }
printf '%s µs per call on the share; seconds, and times the program'"'"'s\n' "$delay"
printf '%-10s %10s %8s %10s %8s\n' "" "first run" "" "rerun" ""
for name in "${names[@]}" cp cp8 rsync; do
  label=$name
  [[ $name == cp8 ]] && label="cp ×8"
  printf '%-10s %10s %8s %10s %8s\n' "$label" "${first[$name]}" \
    "$(ratio "${first[$name]}" "${first[varnelo]}")" "${rerun[$name]}" \
    "$(ratio "${rerun[$name]}" "${rerun[varnelo]}")"
done
echo "calls the share served, first run / rerun:"
for name in "${names[@]}" cp cp8 rsync; do
  printf '  %-8s %s\n  %-8s %s\n' "$name" "${asked[$name]}" "" "${asked_rerun[$name]}"
done
