#!/usr/bin/env bash
# The program copied alone into an empty folder and started without a display:
# the run reports the missing workbook on the terminal and ends with 1.
set -u
program=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp "$program" "$folder/varnelo"
output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$folder/varnelo" </dev/null)
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
  echo "unexpected output:"; printf '%s\n' "$output"; exit 1
fi
if [[ $status -ne 1 ]]; then echo "exit status $status, expected 1"; exit 1; fi
leftover=$(find "$folder" -mindepth 1 ! -name varnelo)
if [[ -n "$leftover" ]]; then echo "the run left files behind: $leftover"; exit 1; fi
echo "lone program: 1 passed, 0 failed"
