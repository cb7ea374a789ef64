#!/usr/bin/env bash
# The console program as processes meet it: a second program started in the
# same folder while the first reads its workbook, and runs interrupted while
# reading by SIGINT or SIGKILL. Each leaves no parts folder behind in the
# temporary directory once the next run is over. Last, SIGINT in the middle
# of a large file's copy: its part file goes with the program.
# Usage: runs_at_once_test.sh PROGRAM
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

folder=$work/program
export TMPDIR=$work/tmp
mkdir -p "$folder/0-所有履职材料/A01" "$TMPDIR"
head -c 3000000 /dev/urandom >"$folder/0-所有履职材料/A01/材料.bin"
cp "$program" "$folder/varnelo"
python3 "$here/slow_workbook.py" "$folder/0-所有履职材料/履职材料同步关系表.xlsx" 600000

start() { env -u DISPLAY -u WAYLAND_DISPLAY "$folder/varnelo" </dev/null >"$work/$1.out" 2>&1 & }
# Waits until a run has its parts folder, that is, while it reads the workbook.
wait_reading() {
  for _ in $(seq 400); do
    compgen -G "$TMPDIR/varnelo-parts-*" >/dev/null && return 0
    sleep 0.05
  done
  return 1
}
parts_left() { compgen -G "$TMPDIR/varnelo-*" >/dev/null; }

# Two programs at once: the second copies nothing and says so.
start first
first=$!
wait_reading || problem "the first run never read its workbook"
env -u DISPLAY -u WAYLAND_DISPLAY "$folder/varnelo" </dev/null >"$work/second.out" 2>&1
second_status=$?
wait "$first"
first_status=$?
busy="【失败】另一个同步正在此文件夹中进行，本次未执行"
[[ $second_status -eq 1 ]] || problem "second program: exit status $second_status, expected 1"
grep -qx "$busy" "$work/second.out" || problem "second program did not say another run is going on"
grep -q "G/X/" "$work/second.out" && problem "second program logged a destination"
[[ $first_status -eq 0 ]] || problem "first program: exit status $first_status"
cmp -s "$folder/0-所有履职材料/A01/材料.bin" "$folder/G/X/材料.bin" || problem "first program's copy differs"
parts_left && problem "parts folder left after two runs"
judged "two programs in one folder"

# SIGINT while reading: the parts folder goes at once, the status says so.
rm -rf "$folder/G"
start interrupted
run=$!
wait_reading || problem "the interrupted run never read its workbook"
kill -INT "$run"
wait "$run"
status=$?
[[ $status -eq 130 ]] || problem "SIGINT while reading: exit status $status, expected 130"
parts_left && problem "SIGINT while reading left the parts folder"
[[ -e "$folder/G" ]] && problem "SIGINT while reading still copied"
judged "SIGINT while reading"

# SIGKILL while reading: nothing can clean up then, so the next run does.
start killed
run=$!
wait_reading || problem "the killed run never read its workbook"
kill -KILL "$run"
wait "$run" 2>/dev/null
parts_left || problem "expected the killed run's parts folder to be there"
start next
wait $!
[[ $? -eq 0 ]] || problem "the run after a killed one failed"
parts_left && problem "the next run did not remove the killed run's parts folder"
judged "SIGKILL while reading"

# SIGINT while a large file is copied: the file being written under its
# temporary name is removed before the program ends.
rm -rf "$folder/G"
rm -f "$folder/0-所有履职材料/A01/"*
fallocate -l 1G "$folder/0-所有履职材料/A01/大文件.bin" 2>/dev/null ||
  head -c 1G /dev/zero >"$folder/0-所有履职材料/A01/大文件.bin"
python3 "$here/slow_workbook.py" "$folder/0-所有履职材料/履职材料同步关系表.xlsx" 10
start copying
run=$!
caught=0
for _ in $(seq 20000); do
  if compgen -G "$folder/G/X/.~varnelo-*.part" >/dev/null; then caught=1; break; fi
  kill -0 "$run" 2>/dev/null || break
done
if ((caught)); then
  kill -INT "$run"
  wait "$run"
  status=$?
  [[ $status -eq 130 ]] || problem "SIGINT while copying: exit status $status, expected 130"
  compgen -G "$folder/G/X/.~varnelo-*.part" >/dev/null && problem "SIGINT while copying left a part file"
  [[ -e "$folder/G/X/大文件.bin" ]] && problem "SIGINT while copying still put the file in place"
else
  wait "$run"
  problem "the copy of a 1 GB file ended before it could be interrupted"
fi
judged "SIGINT while copying a large file"

checks_done
