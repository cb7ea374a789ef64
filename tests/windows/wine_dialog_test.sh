#!/usr/bin/env bash
# Runs the Windows program under Wine, in Xvfb at 1024 x 768, on three tables
# whose summaries are long: a 40 x 6 office table, 4,000 destinations and
# 3,000 failures (entries whose material folders are missing); each at 96 and
# at 144 dots per inch. Every run must end with the summary box wholly on the
# screen, its OK button visible, the whole summary in its text view (which
# starts at its top and scrolls to its last line), the main window disabled
# under it; Enter dismisses it and Alt+F4 then ends the program with 0.
#
#   tests/windows/wine_dialog_test.sh [dist/varnelo.exe]
#
# Prints one "PASS: <name>" or "FAIL: <name>" line per check and ends with a
# non-zero status when any failed. Screenshots go to the build folder as
# wine-summary-<table>-<dpi>.png. On Debian 12 a package that cannot be
# installed is a failure; elsewhere the test is skipped.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/dist/varnelo.exe}")
build=${VARNELO_WIN_BUILD:-$root/build-win}
work=$build/wine-dialog-test
packages=(wine xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-wine
          python3-xlsxwriter)
source "$root/tests/windows/wine_common.sh"
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"

say() { printf '%s\n' "wine_dialog_test: $*"; }

[[ -f $exe ]] || { echo "FAIL: wine dialogs: no program at $exe: run ./build-windows.sh first"; exit 1; }
mkdir -p "$build"
# On Debian 12 a package that cannot be installed is a failure; elsewhere the
# test is skipped.
give_up() {  # reason
  if on_debian_12; then
    echo "FAIL: wine dialogs: $1"
    exit 1
  fi
  echo "SKIP: wine dialogs: $1 (not Debian 12)"
  exit 0
}
install_missing_packages || give_up "Wine and its helpers cannot be installed"
wine_installed || give_up "no wine command after installing"
rm -rf "$work"
mkdir -p "$work"

# FOLDER/0-所有履职材料 with the relation table and material folders:
#   office   40 people x 6 groups, one destination each
#   many     400 materials x 10 groups: 4,000 destinations
#   missing  3,000 entries whose material folders do not exist
make_table() {  # folder, kind
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import os, sys
import xlsxwriter

folder, kind = sys.argv[1], sys.argv[2]
root = os.path.join(folder, '0-所有履职材料')
os.makedirs(root, exist_ok=True)
shapes = {'office': (40, 6, True), 'many': (400, 10, True), 'missing': (3000, 1, False)}
rows, columns, present = shapes[kind]
book = xlsxwriter.Workbook(os.path.join(root, '履职材料同步关系表.xlsx'))
sheet = book.add_worksheet()
# The table's layout as in the worked example: names from C3 down, the group
# names from D2 to the right.
sheet.write(1, 2, 'Name')
for c in range(columns):
    sheet.write(1, c + 3, '第%d组' % (c + 1))
for r in range(rows):
    name = '人员%04d' % (r + 1)
    sheet.write(r + 2, 2, name)
    for c in range(columns):
        sheet.write(r + 2, c + 3, '目标%04d' % (r + 1))
    if present:
        material = os.path.join(root, name)
        os.makedirs(material, exist_ok=True)
        with open(os.path.join(material, '说明.txt'), 'w', encoding='utf-8') as f:
            f.write(name + '\n')
book.close()
EOF
}

value() {  # file, name
  sed -n "s/^$2: //p" "$1" | head -n 1
}

# "l,t r,b" fields
rect_inside() {  # inner, outer
  local il it ir ib ol ot or ob
  IFS=', ' read -r il it ir ib <<<"$1"
  IFS=', ' read -r ol ot or ob <<<"$2"
  ((il >= ol && it >= ot && ir <= or && ib <= ob))
}
rect_height() { local l t r b; IFS=', ' read -r l t r b <<<"$1"; echo $((b - t)); }
rect_width() { local l t r b; IFS=', ' read -r l t r b <<<"$1"; echo $((r - l)); }

summary_holds() {  # kind, texts file
  local text
  text=$(value "$2" box-text)
  [[ $text == '【同步完毕】同步内容：\r\n'* ]] || return 1
  case $1 in
    office)
      # six groups of forty destinations
      [[ $(grep -o '【第[0-9]组】:' <<<"$text" | wc -l) == 6 &&
         $(grep -o '目标[0-9]*' <<<"$text" | wc -l) == 240 ]] ;;
    many)
      [[ $(grep -o '【第[0-9]*组】:' <<<"$text" | wc -l) == 10 &&
         $(grep -o '目标[0-9]*' <<<"$text" | wc -l) == 4000 ]] ;;
    missing)
      [[ $text == *'【失败】共 3000 项：\r\n'* &&
         $(grep -o '找不到材料文件夹' <<<"$text" | wc -l) == 3000 ]] ;;
  esac
}

run_table() {  # kind, dpi
  local kind=$1 dpi=$2 name="$1-$2" folder=$work/$1-$2
  local t=$work/$name.texts
  make_table "$folder" "$kind"
  cp "$exe" "$folder/varnelo.exe"
  local started=$(date +%s)
  (cd "$folder" && exec wine varnelo.exe) >"$folder.out" 2>&1 &
  program_pid=$!
  wine_pids+=("$program_pid")
  if ! wine "$work/window_texts.exe" box 300 >"$t" 2>/dev/null; then
    check "$name: summary box shown" false
    kill "$program_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    program_pid=
    return 0
  fi
  tr -d '\r' <"$t" >"$t.tmp" && mv "$t.tmp" "$t"
  say "$name: summary after $(($(date +%s) - started)) s"
  import -window root "$build/wine-summary-$name.png"
  say "$name: screenshot $build/wine-summary-$name.png"
  local box area ok
  box=$(value "$t" box-rect) area=$(value "$t" work-area) ok=$(value "$t" ok-rect)
  say "$name: box $box, work area $area, OK $ok, headline '$(value "$t" box-headline)'"
  check "$name: summary box shown" test -n "$box"
  check "$name: box wholly inside the work area" rect_inside "$box" "$area"
  check "$name: box at most two thirds of the work area high" \
    test "$(rect_height "$box")" -le $(($(rect_height "$area") * 2 / 3 + 1))
  # 560/96 inch of client area plus the frame
  check "$name: box at most 560/96 inch wide" \
    test "$(rect_width "$box")" -le $(((560 * dpi + 48) / 96 + 2 * dpi / 96 * 8))
  check "$name: OK visible inside the box, below the text" test "$(value "$t" ok-visible)" = 1
  check "$name: OK says 确定" test "$(value "$t" ok-text)" = '确定'
  check "$name: owned by the main window, which is disabled" \
    test "$(value "$t" box-owner)$(value "$t" main-enabled)" = main0
  check "$name: the view holds the whole summary" summary_holds "$kind" "$t"
  check "$name: the view starts at its top" test "$(value "$t" text-top-visible)" = 1
  check "$name: the view scrolls to its last line" test "$(value "$t" text-end-visible)" = 1
  focus_desktop
  xdotool key --clearmodifiers Return
  check "$name: Enter dismisses the box" wine "$work/window_texts.exe" gone 20
  sleep 0.5
  focus_desktop
  xdotool key --clearmodifiers alt+F4
  wait_for_exit "$program_pid" 30
  check "$name: Alt+F4 then ends the program with 0" test "$exit_status" = 0
  kill "$program_pid" 2>/dev/null || true
  program_pid=
  rm -rf "$folder"
}

started=$(date +%s)
start_display 121 || give_up "no X display could be started"
prepare_prefix || give_up "the Wine prefix could not be prepared (see $work/wineboot.log)"
import_fonts C.UTF-8
build_helper || give_up "window_texts.exe could not be built"
for dpi in 96 144; do
  set_display_scale "$dpi"
  for kind in office many missing; do run_table "$kind" "$dpi"; done
done
say "$failures failed, $(($(date +%s) - started)) s"
checks_done
