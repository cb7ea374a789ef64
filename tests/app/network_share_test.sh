#!/usr/bin/env bash
# The program folder on a file server: a FUSE passthrough that waits on every
# call (tests/support/slow_share.cpp) stands in for the share, and the
# program, bind-mounted into it, runs from there as office staff start it.
#   1. A first run copies the whole tree, several files at once.
#   2. The server goes away in the middle of a run (its FUSE process is
#      killed, so every call answers ENOTCONN): the run goes on to its end
#      and says the share is unavailable, its status says it failed, and no
#      file in the destinations is half-written.
#   3. With the share back, a rerun completes the tree.
# Usage: network_share_test.sh PROGRAM SLOW_SHARE
set -u
program=$1
slow_share=$2
here=$(cd "$(dirname "$0")" && pwd)
if [[ $(id -u) != 0 || ! -e /dev/fuse ]]; then
  echo "SKIP: network share (needs root and /dev/fuse)"
  exit 0
fi
work=$(mktemp -d)
backing=$work/backing
share=$work/share
daemon=
run=
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

# The share goes, whatever is mounted in it with it. Unmounted, its server
# says what it was asked; one that will not go is killed.
unmount() {
  if [[ -n $daemon ]]; then
    umount "$share/varnelo" 2>/dev/null
    umount "$share" 2>/dev/null || kill -9 "$daemon" 2>/dev/null
    wait "$daemon" 2>/dev/null
    daemon=
  fi
  umount -l "$share" 2>/dev/null
  return 0
}
cleanup() {
  [[ -n $run ]] && kill -9 "$run" 2>/dev/null
  unmount
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Mounts the share with the given delay per call, the program inside it.
mount_share() {  # microseconds
  "$slow_share" "$backing" "$share" "$1" 2>"$work/share.log" &
  daemon=$!
  for _ in $(seq 100); do mountpoint -q "$share" && break; sleep 0.05; done
  mountpoint -q "$share" || { verdict "the share comes up" "it did not"; exit 1; }
  mount --bind "$work/varnelo" "$share/varnelo" || { verdict "the share comes up" "the program could not be put in the share"; exit 1; }
}

# Stops the share's server the way a network outage would: at once.
drop_share() { kill -9 "$daemon"; wait "$daemon" 2>/dev/null; daemon=; }

start_program() {  # output file
  (cd "$share" && exec env -u DISPLAY -u WAYLAND_DISPLAY ./varnelo </dev/null >"$1" 2>&1) &
  run=$!
}

# Every material file lies in each of its destinations with the same content;
# complete: whether a missing one counts.
check_tree() {  # label, complete
  local material destination file wrong=0
  while IFS=$'\t' read -r material destination; do
    while IFS= read -r file; do
      target=$backing/$destination/${file#"$backing/$material/"}
      if [[ ! -e $target ]]; then
        [[ $2 == complete ]] && wrong=$((wrong + 1))
      elif ! cmp -s "$file" "$target"; then
        ((wrong < 5)) && echo "  half-written or wrong: $target"
        wrong=$((wrong + 1))
      fi
    done < <(find "$backing/$material" -type f)
  done <"$work/destinations.txt"
  ((wrong == 0)) || problem "$1: $wrong files missing or wrong"
}

mkdir -p "$backing" "$share"
python3 "$here/share_tree.py" "$backing" >"$work/destinations.txt" || { verdict "making the tree" "share_tree.py failed"; exit 1; }
cp "$program" "$work/varnelo"
: >"$backing/varnelo"

# 1. The whole tree, several files at once.
mount_share 2000
start_program "$work/first.out"
wait "$run"
status=$?
run=
unmount
at_once=$(sed -n 's/.*at most \([0-9]*\) at once.*/\1/p' "$work/share.log")
[[ $status -eq 0 ]] || problem "first run: exit status $status"
check_tree "first run" complete
[[ ${at_once:-0} -ge 4 ]] || problem "first run: at most ${at_once:-0} calls at once on the share, expected several files copied at once"
judged "a first run onto a share copies the tree"

# 2. The share goes away in the middle of a run.
while IFS=$'\t' read -r _ destination; do rm -rf "${backing:?}/$destination"; done <"$work/destinations.txt"
mount_share 3000
start_program "$work/dropped.out"
for _ in $(seq 400); do
  (($(find "$backing/考核" -type f 2>/dev/null | wc -l) >= 40)) && break
  sleep 0.02
done
drop_share
waited=0
while kill -0 "$run" 2>/dev/null && ((waited < 600)); do sleep 0.1; waited=$((waited + 1)); done
if kill -0 "$run" 2>/dev/null; then
  problem "the run did not end within a minute of the share going away"
fi
wait "$run"
status=$?
run=
unmount
gone="网络共享文件夹不可用"
[[ $status -eq 1 ]] || problem "run with the share gone: exit status $status, expected 1"
grep -q "$gone" "$work/dropped.out" || problem "the run did not say \"$gone\""
grep -qiE "endpoint|connected|input/output" "$work/dropped.out" && problem "the run showed a system message in English"
# Every destination after the drop fails, and says why in the same words.
if grep -n "【失败】\|：" "$work/dropped.out" | grep -v "$gone" | grep -q "未能\|无法\|找不到"; then
  grep "未能\|无法\|找不到" "$work/dropped.out" | grep -v "$gone" | sed 's/^/  /'
  problem "a failure after the share went away gave another reason"
fi
check_tree "share gone" partial
judged "a share that goes away mid-run fails every later file soundly"

# 3. The share back: a rerun completes the tree and leaves no part file.
mount_share 2000
start_program "$work/again.out"
wait "$run"
status=$?
run=
unmount
[[ $status -eq 0 ]] || { problem "rerun after the share came back: exit status $status"; sed 's/^/  /' "$work/again.out" | tail -5; }
check_tree "rerun" complete
parts=$(find "$backing" -name '.~varnelo-*.part' | wc -l)
((parts == 0)) || problem "rerun left $parts part files"
judged "a rerun after the share is back completes the tree"
checks_done
