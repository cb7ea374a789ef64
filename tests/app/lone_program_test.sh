#!/usr/bin/env bash
# The console program as people start it outside a desktop session:
#   1. copied alone into an empty folder and started without a display: the
#      run reports the missing workbook on the terminal and ends with 1;
#   2. beside a copy of the sample in examples/, started with no locale in its
#      environment at all (env -i), and again in the plain C locale: the
#      Chinese folder and file names come out whole, in the log and on disk;
#   3. with standard error on a terminal: the status line stands there,
#      rewritten in place and ending with the end line, while standard
#      output stays exactly the lines it gives in a pipe;
#   4. where /proc is not mounted (a bare chroot or container; needs root):
#      started by a relative path it still finds its folder; started from a
#      folder deleted under it, so that nothing tells where it lies, it says
#      so once, copies nothing and ends with 1.
# Prints "PASS: <check>" or "FAIL: <check>" for each and exits 1 on a failure.
# VARNELO_RUNNER, when set, is put before every start of the program: an
# emulator such as "qemu-aarch64 -L ROOT" (tests/linux/portable_test.sh).
set -u
program=$(realpath "$1")
read -r -a runner <<<"${VARNELO_RUNNER:-}"
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/support/checks.sh"
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT

# The sanitizer builds read their options from the environment.
sanitizer_env=()
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  [[ -n ${!name:-} ]] && sanitizer_env+=("$name=${!name}")
done

lone_program() {
  local folder output status workbook expected leftover
  folder=$(mktemp -d "$scratch/lone.XXXX")
  cp "$program" "$folder/varnelo"
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY "${runner[@]}" "$folder/varnelo" </dev/null)
  status=$?
  workbook="$folder/0-所有履职材料/履职材料同步关系表.xlsx"
  # The failure line comes first: the log line is written when it happens.
  expected="【失败】无法打开关系表：$workbook（找不到文件）
Varnelo-完成
同步提示
【同步完毕】同步内容：
【失败】共 1 项：
无法打开关系表：$workbook（找不到文件）
"
  if [[ "$output"$'\n' != "$expected" ]]; then
    echo "unexpected output:"
    printf '%s\n' "$output"
    return 1
  fi
  if [[ $status -ne 1 ]]; then echo "exit status $status, expected 1"; return 1; fi
  leftover=$(find "$folder" -mindepth 1 ! -name varnelo)
  if [[ -n "$leftover" ]]; then echo "the run left files behind: $leftover"; return 1; fi
}

sample_without_locale() {  # environment for the run...
  local folder output status expected files d
  folder=$(mktemp -d "$scratch/sample.XXXX")
  "$root/scripts/prepare-demo.sh" "$program" "$folder/demo" >/dev/null || return 1
  d=$folder/demo
  output=$(cd / && env -i PATH=/usr/bin:/bin "${sanitizer_env[@]}" "$@" "${runner[@]}" "$d/varnelo" </dev/null)
  status=$?
  expected="Varnelo-当前同步【2024年度考核】
$d/2024年度考核/一季度/
$d/2024年度考核/二季度/
$d/2024年度考核/一季度/
$d/2024年度考核/二季度/
$d/2024年度考核/三季度/
Varnelo-当前同步【党建工作】
$d/党建工作/资料汇编/
$d/党建工作/资料汇编/
$d/党建工作/组织生活会/
Varnelo-当前同步【年度总结】
$d/年度总结/个人总结/
$d/年度总结/个人总结/
$d/年度总结/述职报告/
Varnelo-完成
同步提示
【同步完毕】同步内容：
【2024年度考核】:一季度、二季度、一季度、二季度、三季度
【党建工作】:资料汇编、资料汇编、组织生活会
【年度总结】:个人总结、个人总结、述职报告"
  if [[ $output != "$expected" ]]; then
    echo "unexpected output:"
    printf '%s\n' "$output"
    return 1
  fi
  if [[ $status -ne 0 ]]; then echo "exit status $status, expected 0"; return 1; fi
  files=$(cd "$d" && find . -type f ! -path './0-所有履职材料/*' ! -name varnelo | LC_ALL=C sort)
  expected="./2024年度考核/一季度/个人总结.txt
./2024年度考核/一季度/培训证书/2024/业务培训.txt
./2024年度考核/一季度/报销材料/差旅费.txt
./2024年度考核/一季度/述职报告.txt
./2024年度考核/三季度/发言提纲.txt
./2024年度考核/三季度/组织关系/档案/档案目录.txt
./2024年度考核/二季度/个人总结.txt
./2024年度考核/二季度/培训证书/2024/业务培训.txt
./2024年度考核/二季度/报销材料/差旅费.txt
./2024年度考核/二季度/述职报告.txt
./党建工作/组织生活会/发言提纲.txt
./党建工作/组织生活会/组织关系/档案/档案目录.txt
./党建工作/资料汇编/个人总结.txt
./党建工作/资料汇编/发言提纲.txt
./党建工作/资料汇编/培训证书/2024/业务培训.txt
./党建工作/资料汇编/组织关系/档案/档案目录.txt
./年度总结/个人总结/个人总结.txt
./年度总结/个人总结/培训证书/2024/业务培训.txt
./年度总结/个人总结/报销材料/差旅费.txt
./年度总结/个人总结/述职报告.txt
./年度总结/述职报告/报销材料/差旅费.txt
./年度总结/述职报告/述职报告.txt"
  if [[ $files != "$expected" ]]; then
    echo "the destination files are:"
    printf '%s\n' "$files"
    return 1
  fi
  cmp -s "$d/0-所有履职材料/王五/组织关系/档案/档案目录.txt" \
    "$d/党建工作/组织生活会/组织关系/档案/档案目录.txt" ||
    { echo "档案目录.txt was not copied whole"; return 1; }
}

status_on_terminal() {
  local folder d transcript plain
  folder=$(mktemp -d "$scratch/terminal.XXXX")
  "$root/scripts/prepare-demo.sh" "$program" "$folder/demo" >/dev/null || return 1
  d=$folder/demo
  # script gives the program a terminal; standard output goes to a file.
  script -qec "env -u DISPLAY -u WAYLAND_DISPLAY ${runner[*]} '$d/varnelo' >'$folder/stdout' </dev/null" \
    "$folder/transcript" >/dev/null 2>&1 || { echo "script failed"; return 1; }
  transcript=$(tr -d '\n' <"$folder/transcript")
  if [[ $transcript != *$'\r\e[K第 1 / 11 个目标'* ]]; then
    echo "no status line on the terminal:"; cat -v "$folder/transcript"; return 1
  fi
  if [[ $transcript != *$'\r\e[K完成：11 个目标，复制 22 个文件（'*'个文件无变化'$'\r\e[K'* ]]; then
    echo "the end line was not shown and then erased:"; cat -v "$folder/transcript"; return 1
  fi
  plain=$(env -u DISPLAY -u WAYLAND_DISPLAY "${runner[@]}" "$d/varnelo" </dev/null 2>/dev/null)
  if [[ $(cat "$folder/stdout") != "$plain" ]]; then
    echo "standard output differs with a terminal on standard error"; return 1
  fi
}

without_proc() {
  local folder d output status
  folder=$(mktemp -d "$scratch/noproc.XXXX")
  "$root/scripts/prepare-demo.sh" "$program" "$folder/demo" >/dev/null || return 1
  d=$folder/demo
  mkdir "$folder/gone"
  # Its own mount namespace: /proc is hidden from this one program only.
  run_without_proc() {  # folder to start in, program path as given
    # Only /proc's own mount is made private, so the hiding stays in the
    # namespace: in a chroot "/" is no mount whose propagation could change.
    unshare --mount --propagation unchanged sh -c 'mount --make-private /proc &&
      mount -t tmpfs none /proc && cd "$1" &&
      { [ "$1" != "$3" ] || rmdir "$3"; } && exec env -u DISPLAY -u WAYLAND_DISPLAY "$2"' \
      sh "$@" </dev/null
  }
  # Nothing tells it where it is: one failure, and nothing made.
  output=$(run_without_proc "$folder/gone" ../demo/varnelo "$folder/gone")
  status=$?
  [[ $status == 1 && $(grep -c '无法确定程序所在的文件夹' <<<"$output") == 2 &&
     $(ls "$d") == $'0-所有履职材料\nvarnelo' && ! -e $d/0-所有履职材料/同步记录 ]] ||
    { echo "with nothing to tell its folder: status $status, output:"; printf '%s\n' "$output"; return 1; }
  output=$(run_without_proc "$folder" ./demo/varnelo "")
  status=$?
  [[ $status == 0 && $(sed -n 2p <<<"$output") == "$d/2024年度考核/一季度/" ]] ||
    { echo "started by a relative path: status $status, output:"; printf '%s\n' "$output"; return 1; }
}

check "lone program in an empty folder" lone_program
check "sample with no locale set" sample_without_locale
check "sample in the C locale" sample_without_locale LC_ALL=C LANG=C
check "status line on a terminal's standard error" status_on_terminal
# An emulator and the sanitizers' runtime read /proc themselves; a sanitizer
# build's leak check does so as the program returns, options or none.
if [[ $(id -u) != 0 || ${#runner[@]} -gt 0 || ${#sanitizer_env[@]} -gt 0 ]] ||
   grep -qa __asan_init "$program" || ! command -v unshare >/dev/null; then
  echo "SKIP: without /proc: needs root and unshare, and the program run directly"
else
  check "without /proc" without_proc
fi
checks_done
