#!/usr/bin/env bash
# The console program over the sample in examples/ kept by hand, as a clerk
# keeps it: 张三 gets a 述职报告.txt as 李四 has one, a new colleague's folder
# 赵六 is in no row, and later a file of 张三's is renamed.
#   1. Both quarters (and 年度总结/个人总结) hold 李四's report, and each says
#      that it replaced 张三's; the run ends with 1. 赵六 gets a notice, the named folders none.
#   2. The rerun, with nothing changed, reports the same two.
#   3. After the rename, every destination that had the old name lists it as
#      an old copy, and it is still there; a file two entries both still
#      have is never listed. The record holds every old copy in full.
# Prints "PASS: <check>" or "FAIL: <check>" for each and exits 1 on a failure.
set -u
program=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/../support/checks.sh"
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
d=$scratch/demo
"$root/scripts/prepare-demo.sh" "$program" "$d" >/dev/null || exit 1
m=$d/0-所有履职材料
echo '张三的述职报告' >"$m/张三/述职报告.txt"
mkdir "$m/赵六" && echo '新同事' >"$m/赵六/个人总结.txt"

status=0
run() { (cd / && exec env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=C.UTF-8 "$d/varnelo") </dev/null; }
replaced() { echo "【失败】$d/$1/：有 1 个文件替换了“张三”材料中的同名文件，例如 述职报告.txt（请改名后重新同步）"; }

both_reports() {  # name
  local out problems=
  out=$(run) && status=0 || status=$?
  [[ $status == 1 ]] || problems+="exit status $status, expected 1"$'\n'
  for target in 2024年度考核/一季度 2024年度考核/二季度 年度总结/个人总结; do
    grep -qxF "$(replaced $target)" <<<"$out" || problems+="no replacement failure for $target"$'\n'
    [[ $(cat "$d/$target/述职报告.txt") == "$(cat "$m/李四/述职报告.txt")" ]] ||
      problems+="$target does not hold 李四's report"$'\n'
  done
  [[ $(grep -c '^【失败】/' <<<"$out") == 3 && $out == *'【失败】共 3 项：'* ]] || problems+="not exactly the three failures"$'\n'
  grep -qxF '【提示】材料文件夹“赵六”未列入关系表，没有同步' <<<"$out" || problems+="no notice for 赵六"$'\n'
  ! grep -q '材料文件夹“\(张三\|李四\|王五\)”' <<<"$out" || problems+="a named folder got a notice"$'\n'
  grep -q '在材料中已没有' <<<"$out" && problems+="old copies listed where there are none"$'\n'
  verdict "$1" "$problems${problems:+$out}"
}

both_reports "two entries' reports: both replacements reported"
both_reports "two entries' reports: the rerun reports them again"

mv "$m/张三/个人总结.txt" "$m/张三/个人总结-新.txt"
# And one left in 李四's own 述职报告, where no other entry's copy lands.
echo '旧' >"$d/年度总结/述职报告/旧版述职.txt"
problems=
out=$(run) && status=0 || status=$?
for target in 2024年度考核/一季度 2024年度考核/二季度 党建工作/资料汇编 年度总结/个人总结; do
  grep -qxF "【提示】$d/$target/：有 1 个文件在材料中已没有，未删除，例如 $d/$target/个人总结.txt" <<<"$out" ||
    problems+="no old copy listed for $target"$'\n'
  [[ -f $d/$target/个人总结.txt && -f $d/$target/个人总结-新.txt ]] ||
    problems+="$target lacks the old or the new copy"$'\n'
done
grep -qxF "【提示】$d/年度总结/述职报告/：有 1 个文件在材料中已没有，未删除，例如 $d/年度总结/述职报告/旧版述职.txt" <<<"$out" ||
  problems+="no old copy listed for 李四's own destination"$'\n'
# 李四's report, also in 张三's material, is no old copy of either.
grep -q '例如 .*述职报告.txt$' <<<"$out" && problems+="a file both entries have was listed"$'\n'
[[ $(grep -c '^【提示】.*在材料中已没有' <<<"$out") == 5 ]] || problems+="not exactly five destinations list old copies"$'\n'
record=$(ls -t "$m/同步记录"/*.txt | head -n 1)
[[ $(tr -d '\r' <"$record" | grep -cxF "$d/2024年度考核/一季度/个人总结.txt") == 1 ]] ||
  problems+="the record does not list the old copy in full"$'\n'
verdict "a renamed file's old copies listed and kept" "$problems${problems:+$out}"
checks_done
