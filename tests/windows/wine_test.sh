#!/usr/bin/env bash
# Runs the Windows program end to end under Wine, in Xvfb:
#   1. the worked example of a sync run, in the C.UTF-8 locale;
#   2. the same in zh_CN.UTF-8, where the ANSI code page is 936, so a call
#      through a narrow-string API would garble the Chinese names;
#   3. closing the window while a large copy runs: the process ends at once
#      with status 0;
#   4. the sample workbook in examples/, on a display of 144 dots per inch;
#   5. a destination file held open by another program: the run fails for
#      it, and the retry button, pressed once the file is free, runs again;
#   6. the Win32 shell's own tests at 96 and 144 dots per inch, with pictures
#      of a window in the middle of a run and of the end dialog;
#   7. libraries planted beside the program under the names it loads, with
#      Wine told to prefer them as Windows would: none is loaded, and the
#      run ends with its summary;
#   8. for the 32-bit program, a table with one cell of 1.1 GB, more than its
#      address space can hold: the run fails with 内存不足 and the window
#      stays, as after any other failure;
# and, first, when build-windows.sh --tests made them, the unit test programs,
# in both locales: some cases only mean something under one code page.
# Each run waits for the summary box, reads the window texts from inside Wine
# (window_texts.exe), saves a screenshot in the build folder, checks the
# destination tree, presses OK, closes the window with Alt+F4 and expects 0.
#
#   tests/windows/wine_test.sh [dist/varnelo.exe]
#   VARNELO_WIN_BUILD=$PWD/build-win32 tests/windows/wine_test.sh dist/varnelo-32位.exe
#
# The 32-bit program runs in a 32-bit prefix, with the test programs of its
# own build folder (tests/windows/wine_common.sh tells them apart).
#
# Each end-to-end run prints one line, "PASS: wine <name>" or "FAIL: wine
# <name>", after the details of what went wrong; each unit test program prints
# GoogleTest's summary ("[  PASSED  ] N tests." and, when some failed,
# "[  FAILED  ] N tests, listed below:"). The status is 1 when anything failed.
# On Debian 12 a package that cannot be installed is a failure; elsewhere the
# whole test is skipped ("SKIP: ...").
# Every Wine process gets its locale from the test (tests/windows/wine_common.sh),
# whatever the caller's is.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/dist/varnelo.exe}")
build=${VARNELO_WIN_BUILD:-$root/build-win}
work=$build/wine-test
packages=(wine xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-wine locales
          python3-xlsxwriter)
source "$root/tests/windows/wine_common.sh"

say() { printf '%s\n' "wine_test: $*"; }
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
# Runs one end-to-end check; a step that stops it is one more problem.
wine_check() {  # name, function, arguments...
  local name=$1
  shift
  "$@" || problem "$name: stopped with status $?"
  judged "wine $name"
}
# Ends the whole test for a reason that stops every check.
give_up() {  # name, reason
  if on_debian_12; then
    problem "$2"
    judged "wine $1"
    exit 1
  fi
  echo "SKIP: wine: $2 (not Debian 12)"
  exit 0
}

[[ -f $exe ]] || { echo "FAIL: wine: no program at $exe: run ./build-windows.sh first"; exit 1; }
mkdir -p "$build"
# Nothing is installed for a 32-bit Wine that could never start: wine32 on
# such a machine would also take over the plain wine command.
if [[ $wine_arch == win32 ]] && ! runs_32_bit_programs; then
  echo "SKIP: wine: this machine's kernel runs no 32-bit x86 program (Exec format error), so the 32-bit Wine cannot start here"
  exit 0
fi
if ! install_missing_packages; then
  # The i386 half of a mirror can lag the amd64 one (an index that fails its
  # checksum, a library a security update ahead): then wine32 cannot go
  # beside the installed amd64 libraries, whatever this program does.
  if [[ $wine_arch == win32 ]]; then
    echo "SKIP: wine: the 32-bit Wine (wine32 from the i386 architecture) cannot be installed from this machine's package mirror"
    exit 0
  fi
  give_up setup "Wine and its helpers cannot be installed"
fi
wine_installed || give_up setup "no wine command after installing"
zh_CN_ready=1
ensure_locale || zh_CN_ready=0

rm -rf "$work"
mkdir -p "$work"
# The program beside a copy of the material: FOLDER/varnelo.exe.
place_program() {
  local folder=$1
  shift
  mkdir -p "$folder"
  cp "$exe" "$folder/varnelo.exe"
  if [[ ${1:-} == --sample ]]; then
    cp -r "$root/examples/0-所有履职材料" "$folder/"
  else
    /usr/bin/python3 "$root/tests/windows/make_worked_example.py" "$folder" "$@"
  fi
}

texts_value() {  # file, name
  sed -n "s/^$2: //p" "$1" | head -n 1
}

expect_text() {  # file, name, expected, what
  local got
  got=$(texts_value "$1" "$2")
  [[ $got == "$3" ]] || problem "$4: $2 is '$got', expected '$3'"
}

start_program() {  # folder, locale; sets program_pid
  import_fonts "$2"
  (cd "$1" && LANG=$2 LC_ALL=$2 exec wine varnelo.exe) >"$1.out" 2>&1 &
  program_pid=$!
  wine_pids+=("$program_pid")
}

# Dismisses the box with Return and closes the window with Alt+F4.
finish_program() {  # name
  focus_desktop
  xdotool key --clearmodifiers Return
  sleep 1
  xdotool key --clearmodifiers alt+F4
  wait_for_exit "$program_pid" 20
  [[ $exit_status == 0 ]] ||
    problem "$1: the program ended with '$exit_status' after Alt+F4, expected 0"
}

read_summary_box() {  # name, locale
  if ! LANG=$2 LC_ALL=$2 wine "$work/window_texts.exe" box 90 >"$work/$1.texts" 2>/dev/null; then
    problem "$1: no summary box within 90 s"
    return 1
  fi
  tr -d '\r' <"$work/$1.texts" >"$work/$1.texts.tmp" && mv "$work/$1.texts.tmp" "$work/$1.texts"
  import -window root "$build/wine-$1.png"
  say "$1: screenshot $build/wine-$1.png"
}

dpi=96
scaled() { echo $((($1 * dpi + 48) / 96)); }

check_common_window() {  # name
  local t=$work/$1.texts
  expect_text "$t" title 'Varnelo-完成' "$1"
  expect_text "$t" box-title '同步提示' "$1"
  # The log view's 500 × 400 and the progress strip's 46 below it.
  expect_text "$t" client "$(scaled 500)x$(scaled 446)" "$1"
  expect_text "$t" log-place "$(scaled 10),$(scaled 10) $(scaled 480)x$(scaled 380)" "$1"
  # The progress strip under the log view: a bar 14 high, its line 4 below.
  expect_text "$t" bar-place "$(scaled 10),$(scaled 398) $(scaled 480)x$(scaled 14)" "$1"
  expect_text "$t" status-place \
    "$(scaled 10),$(($(scaled 398) + $(scaled 18))) $(scaled 480)x$(($(scaled 38) - $(scaled 18)))" "$1"
  # A run that has ended shows a full bar and its end line.
  expect_text "$t" bar-position 1000 "$1"
  [[ $(texts_value "$t" status) == 完成：* ]] ||
    problem "$1: the status line reads '$(texts_value "$t" status)', not the end line"
  expect_text "$t" screen '1024x768' "$1"
  expect_text "$t" box-owner main "$1"
  expect_text "$t" main-enabled 0 "$1"
  local size x y
  size=$(texts_value "$t" size)
  x=$(((1024 - ${size%x*}) / 2)) y=$(((768 - ${size#*x}) / 2))
  expect_text "$t" position "$x,$y" "$1 (centred)"
}

same_file() {  # expected text, file, what
  [[ -f $2 && $(cat "$2") == "$1" ]] || problem "$3: $2 does not hold '$1'"
}

check_worked_tree() {  # name, folder
  local d=$2 expected found
  expected=$(printf '%s\n' 2023 2023/G1 2023/G1/子目录 2023/G2 2023/G2/子目录 2024 2024/G3 2024/G4)
  found=$(cd "$d" && find . -mindepth 1 -type d ! -path './0-所有履职材料*' | sed 's|^\./||' |
    LC_ALL=C sort)
  [[ $found == "$expected" ]] || problem "$1: destination folders are:"$'\n'"$found"
  same_file 'from B02' "$d/2023/G1/shared.txt" "$1"
  same_file 'A01 only' "$d/2023/G1/a01.txt" "$1"
  same_file 'B02 only' "$d/2023/G1/b02.txt" "$1"
  same_file 'A01 nested' "$d/2023/G1/子目录/说明.txt" "$1"
  same_file 'from A01' "$d/2023/G2/shared.txt" "$1"
  [[ ! -e $d/2023/G2/b02.txt ]] || problem "$1: 2023/G2 got B02's material"
  same_file 'from B02' "$d/2024/G4/shared.txt" "$1"
  [[ ! -e $d/Review ]] || problem "$1: a Review folder was made"
  [[ -z $(find "$d" -name '.~varnelo-*') ]] || problem "$1: part files were left behind"
}

run_worked_example() {  # name, locale
  local name=$1 folder=$work/$1 base
  if [[ $2 == zh_CN.UTF-8 ]] && ((zh_CN_ready == 0)); then
    problem "$name: the zh_CN.UTF-8 locale could not be generated"
    return 0
  fi
  place_program "$folder"
  start_program "$folder" "$2"
  read_summary_box "$name" "$2" || return 0
  base=$(winepath -w "$folder/" 2>/dev/null)
  check_common_window "$name"
  # B02's shared.txt replaces A01's in 2023\G1, and the run says so.
  local replaced="${base}2023\\G1\\：有 1 个文件替换了“A01”材料中的同名文件，例如 shared.txt（请改名后重新同步）"
  expect_text "$work/$name.texts" box-text \
    "【同步完毕】同步内容：\\r\\n【2023】:G1、G2、G1\\r\\n【2024】:G3、G4\\r\\n【Review】:\\r\\n【失败】共 1 项：\\r\\n$replaced\\r\\n" \
    "$name"
  expect_text "$work/$name.texts" box-headline '同步完成：共 5 个目标，其中 1 项未能完成，详见下方【失败】。' \
    "$name"
  local log=
  for line in 2024\\G4 2024\\G3 "【失败】$replaced" 2023\\G1 2023\\G2 2023\\G1; do
    [[ $line == 【失败】* ]] && { log+="\\n$line"; continue; }
    log+="${log:+\\n}$base$line\\"
  done
  expect_text "$work/$name.texts" log "$log" "$name (log lines, newest first)"
  check_worked_tree "$name" "$folder"
  finish_program "$name"
}

# The program kept on a shared folder that others can write to: libraries
# dropped beside it, under every name it loads itself and one that the
# system's libraries load for it, are never loaded. Wine is told to take a
# library from the program's folder before its own, as Windows would.
run_planted_libraries() {
  local name=planted-libraries folder=$work/planted-libraries library loaded
  place_program "$folder"
  for library in MSFTEDIT.DLL RICHED20.DLL RICHED32.DLL uxtheme.dll dwmapi.dll; do
    cp "$work/planted.dll" "$folder/$library"
  done
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;msftedit,riched20,riched32,uxtheme,dwmapi=n,b" \
    start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  check_common_window "$name"
  check_worked_tree "$name" "$folder"
  finish_program "$name"
  loaded=$(cd "$folder" && ls -- *.loaded 2>/dev/null)
  [[ -z $loaded ]] || problem "$name: loaded from the program's folder: "$loaded
}

# The end dialog as the guide shows it: a real run, from a folder where
# office staff keep such things, over the sample kept by hand (two people's
# reports of one name, a folder in no row, a file renamed since the last
# run), so that the picture holds a failure and both kinds of notice.
run_guide_picture() {
  local name=guide-summary folder=$WINEPREFIX/drive_c/users/张三/Documents/履职材料 text
  rm -rf "$folder"
  place_program "$folder" --sample
  local m=$folder/0-所有履职材料
  start_program "$folder" C.UTF-8
  read_summary_box "$name-first" C.UTF-8 || return 0
  finish_program "$name-first"
  echo '张三的述职报告' >"$m/张三/述职报告.txt"
  mkdir -p "$m/赵六" && echo '新同事' >"$m/赵六/个人总结.txt"
  mv "$m/张三/个人总结.txt" "$m/张三/个人总结（修改稿）.txt"
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  text=$(texts_value "$work/$name.texts" box-text)
  [[ $text == *'替换了“张三”材料中的同名文件'* && $text == *'材料文件夹“赵六”未列入关系表'* &&
     $text == *'在材料中已没有，未删除'* ]] || problem "$name: the summary lacks a new line: '${text:0:600}'"
  [[ $(texts_value "$work/$name.texts" title) == 'Varnelo-完成' ]] || problem "$name: not the finished window"
  finish_program "$name"
}

run_sample() {
  local name=sample folder=$work/sample
  place_program "$folder" --sample
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  check_common_window "$name"
  expect_text "$work/$name.texts" box-text "$(printf '%s' \
    '【同步完毕】同步内容：\r\n【2024年度考核】:一季度、二季度、一季度、二季度、三季度\r\n' \
    '【党建工作】:资料汇编、资料汇编、组织生活会\r\n【年度总结】:个人总结、个人总结、述职报告\r\n')" \
    "$name"
  same_file "$(cat "$root/examples/0-所有履职材料/李四/报销材料/差旅费.txt")" \
    "$folder/2024年度考核/一季度/报销材料/差旅费.txt" "$name"
  same_file "$(cat "$root/examples/0-所有履职材料/王五/组织关系/档案/档案目录.txt")" \
    "$folder/党建工作/组织生活会/组织关系/档案/档案目录.txt" "$name"
  finish_program "$name"
}

run_close_during_copy() {
  local name=close-during-copy folder=$work/close-during-copy files=6000 copied
  place_program "$folder" --big "$files"
  start_program "$folder" C.UTF-8
  if ! wine "$work/window_texts.exe" busy 90 >"$work/$name.texts" 2>/dev/null; then
    problem "$name: the run never started copying"
    return 0
  fi
  sleep 0.5
  focus_desktop
  local before=$(date +%s%N)
  xdotool key --clearmodifiers alt+F4
  wait_for_exit "$program_pid" 10
  local ms=$((($(date +%s%N) - before) / 1000000))
  copied=$(find "$folder/big" -type f 2>/dev/null | wc -l)
  [[ $exit_status == 0 ]] ||
    problem "$name: status '$exit_status' after Alt+F4 during the copy, expected 0"
  ((copied < files)) || problem "$name: the copy had finished ($copied files) before the close"
  say "$name: ended ${ms} ms after Alt+F4, with $copied of $files files copied"
  rm -rf "$folder"  # hundreds of megabytes that nothing looks at again
}

# Two programs started in one folder: the second copies nothing and says
# why, the first completes.
run_second_program() {
  local name=second-program folder=$work/second-program first
  place_program "$folder" --big 3000
  start_program "$folder" C.UTF-8
  first=$program_pid
  if ! wine "$work/window_texts.exe" busy 90 >"$work/$name-busy.texts" 2>/dev/null; then
    problem "$name: the first program never started copying"
    return 0
  fi
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  local busy='另一个同步正在此文件夹中进行，本次未执行'
  expect_text "$work/$name.texts" box-text "【同步完毕】同步内容：\\r\\n【失败】共 1 项：\\r\\n$busy\\r\\n" \
    "$name (second)"
  expect_text "$work/$name.texts" box-headline "未能同步：$busy" "$name (second)"
  # Alt+F4 could reach either main window: the second one is ended directly.
  focus_desktop
  xdotool key --clearmodifiers Return
  sleep 1
  kill "$program_pid" 2>/dev/null
  wait_for_exit "$program_pid" 20
  program_pid=$first
  read_summary_box "$name-first" C.UTF-8 || return 0
  # Its one failure is the worked example's own: B02's shared.txt in 2023\G1.
  [[ $(texts_value "$work/$name-first.texts" box-text) != *另一个同步* ]] ||
    problem "$name: the first program was refused too"
  expect_text "$work/$name-first.texts" box-headline \
    '同步完成：共 6 个目标，其中 1 项未能完成，详见下方【失败】。' "$name (first)"
  finish_program "$name (first)"
  local copied
  copied=$(find "$folder/big" -type f 2>/dev/null | wc -l)
  ((copied == 3000)) || problem "$name: the first program copied $copied of 3000 files"
  [[ -z $(find "$folder" -name '.~varnelo-*') ]] || problem "$name: part files were left behind"
  rm -rf "$folder"
}

# The window closed while the workbook is read: the parts folder of that run
# is gone once the next run is over, even where the closing run could not
# remove it itself.
run_close_while_reading() {
  local name=close-while-reading folder=$work/close-while-reading temp i
  temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -iname temp | head -n 1)
  [[ -n $temp ]] || { problem "$name: no temporary folder in the prefix"; return 0; }
  mkdir -p "$folder/0-所有履职材料/A01"
  cp "$exe" "$folder/varnelo.exe"
  echo material >"$folder/0-所有履职材料/A01/a.txt"
  /usr/bin/python3 "$root/tests/app/slow_workbook.py" \
    "$folder/0-所有履职材料/履职材料同步关系表.xlsx" 800000
  rm -rf "$temp"/varnelo-parts-*
  start_program "$folder" C.UTF-8
  for ((i = 0; i < 600; i++)); do
    compgen -G "$temp/varnelo-parts-*" >/dev/null && break
    sleep 0.1
  done
  compgen -G "$temp/varnelo-parts-*" >/dev/null || { problem "$name: the run never read its workbook"; return 0; }
  focus_desktop
  xdotool key --clearmodifiers alt+F4
  wait_for_exit "$program_pid" 20
  [[ $exit_status == 0 ]] || problem "$name: status '$exit_status' after Alt+F4 while reading, expected 0"
  [[ -e $folder/G ]] && problem "$name: the closed run still copied"
  compgen -G "$temp/varnelo-parts-*" >/dev/null && say "$name: the closed run's parts folder is still there"
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  finish_program "$name"
  compgen -G "$temp/varnelo-parts-*" >/dev/null && problem "$name: parts folders left in $temp: $(ls "$temp")"
  rm -rf "$folder"
}

# A destination file that another program holds open, sharing nothing, fails
# the run for that file; the end dialog offers another go. Once that program
# has let go, the retry button runs again in the same window, and this time
# every destination succeeds.
run_retry_after_release() {
  local name=retry-after-release folder=$work/retry-after-release holder i first headline=
  local reason='文件正被其他程序打开，请关闭后重新运行'
  place_program "$folder"
  # Other content than the material's, so the run has to write the file.
  mkdir -p "$folder/2023/G1"
  echo 'old' >"$folder/2023/G1/a01.txt"
  wine "$work/hold_file.exe" "$(winepath -w "$folder/2023/G1/a01.txt")" 300 \
    >"$work/$name-hold.out" 2>&1 &
  holder=$!
  wine_pids+=("$holder")
  for ((i = 0; i < 300; i++)); do
    grep -q held "$work/$name-hold.out" 2>/dev/null && break
    sleep 0.1
  done
  grep -q held "$work/$name-hold.out" || { problem "$name: the file could not be held open"; return 0; }
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  [[ $(texts_value "$work/$name.texts" box-text) == *"$reason"* ]] ||
    problem "$name: the first go does not say '$reason'"
  expect_text "$work/$name.texts" retry-text '重新同步(R)' "$name (first go)"
  first=$(texts_value "$work/$name.texts" box-headline)
  kill "$holder" 2>/dev/null
  wait_for_exit "$holder" 20
  focus_desktop
  wine "$work/window_texts.exe" retry 20 >/dev/null 2>&1 ||
    { problem "$name: no retry button to press"; return 0; }
  # The same window's next box, once the second go has ended.
  for ((i = 0; i < 60; i++)); do
    sleep 0.5
    wine "$work/window_texts.exe" box 10 >"$work/$name-second.texts" 2>/dev/null || continue
    tr -d '\r' <"$work/$name-second.texts" >"$work/$name.tmp" &&
      mv "$work/$name.tmp" "$work/$name-second.texts"
    headline=$(texts_value "$work/$name-second.texts" box-headline)
    [[ $headline != "$first" ]] && break
  done
  import -window root "$build/wine-$name-second.png"
  say "$name: screenshot $build/wine-$name-second.png"
  # What is left is the worked example's own failure: B02's shared.txt in 2023\G1.
  [[ $headline == '同步完成：共 5 个目标，其中 1 项未能完成，详见下方【失败】。' &&
     $(texts_value "$work/$name-second.texts" box-text) != *"$reason"* ]] ||
    problem "$name: the second go's headline is '$headline'"
  same_file 'A01 only' "$folder/2023/G1/a01.txt" "$name"
  finish_program "$name"
}

# A table larger than a 32-bit address space: the run fails for it, in words,
# and the program goes on to its summary instead of crashing.
run_out_of_memory() {
  local name=out-of-memory folder=$work/out-of-memory text
  mkdir -p "$folder"
  cp "$exe" "$folder/varnelo.exe"
  /usr/bin/python3 "$root/tests/app/huge_cell_workbook.py" "$folder" 1100 || return 1
  start_program "$folder" C.UTF-8
  read_summary_box "$name" C.UTF-8 || return 0
  text=$(texts_value "$work/$name.texts" box-text)
  [[ $text == *'无法打开关系表'*'内存不足'* ]] || problem "$name: the summary reads '${text:0:300}'"
  [[ $(texts_value "$work/$name.texts" box-headline) == 未能同步：*内存不足* ]] ||
    problem "$name: the headline is '$(texts_value "$work/$name.texts" box-headline)'"
  [[ ! -e $folder/G ]] || problem "$name: a destination was made from the table"
  finish_program "$name"
  rm -rf "$folder"
}

# The test programs' own summary lines go out as they are, for the caller to
# count; a program that ends without one is a failed check of its own.
run_unit_tests() {  # locale
  local tests=$build/tests name status log
  if [[ ! -f $tests/windows_tests.exe ]]; then
    say "no test programs built (./build-windows.sh --tests): unit tests under Wine not run"
    return 0
  fi
  if [[ $1 == zh_CN.UTF-8 ]] && ((zh_CN_ready == 0)); then
    echo "FAIL: wine unit tests in $1: the locale could not be generated"
    failures=$((failures + 1))
    return 0
  fi
  import_fonts "$1"
  for name in windows_tests windows_ui_tests text_tests workbook_tests; do
    if [[ ! -f $tests/$name.exe ]]; then
      echo "FAIL: wine $name.exe: not built"
      failures=$((failures + 1))
      continue
    fi
    say "$name.exe in $1"
    status=0
    log=$work/$name-$1.log
    # The full output, not the brief one: only it ends with the number of
    # failed tests.
    (cd "$work" && LANG=$1 LC_ALL=$1 wine "$tests/$name.exe") >"$log" 2>&1 ||
      status=$?
    tr -d '\r' <"$log" >"$log.tmp" && mv "$log.tmp" "$log"
    if ((status == 0)); then
      grep -a '^\[  PASSED  \]' "$log" || true
    else
      cat "$log"
    fi
    if ! grep -aq '^\[  PASSED  \]\|^\[  FAILED  \] [0-9]* tests\?, listed below' "$log"; then
      echo "FAIL: wine $name.exe in $1 ended with status $status without a test summary"
      failures=$((failures + 1))
    elif ((status != 0)) && ! grep -aq '^\[  FAILED  \]' "$log"; then
      echo "FAIL: wine $name.exe in $1 ended with status $status after its tests had passed"
      failures=$((failures + 1))
    elif ((status != 0)); then
      failures=$((failures + 1))
    fi
  done
}

# The Win32 shell's own tests once more, on the display scale of the moment,
# with the pictures they hold still for: the window in the middle of a run
# and the end dialog with its retry button (wine-ui-<scene>-<dpi>.png).
run_ui_tests_with_pictures() {
  local program=$build/tests/windows_ui_tests.exe shots=$work/shots-$dpi scene i pid log
  [[ -f $program ]] || { say "no windows_ui_tests.exe: the shell's pictures not taken"; return 0; }
  rm -rf "$shots"
  mkdir -p "$shots"
  log=$work/windows_ui_tests-$dpi.log
  import_fonts C.UTF-8
  (cd "$work" && VARNELO_SCREENSHOTS=$(winepath -w "$shots") exec wine "$program") >"$log" 2>&1 &
  pid=$!
  wine_pids+=("$pid")
  for scene in mid-run end-dialog; do
    for ((i = 0; i < 600; i++)); do
      [[ -e $shots/$scene.ready ]] && break
      sleep 0.1
    done
    [[ -e $shots/$scene.ready ]] || { problem "no $scene scene to take"; break; }
    import -window root "$build/wine-ui-$scene-$dpi.png"
    say "ui at $dpi dpi: screenshot $build/wine-ui-$scene-$dpi.png"
    touch "$shots/$scene.done"
  done
  wait_for_exit "$pid" 120
  tr -d '\r' <"$log" >"$log.tmp" && mv "$log.tmp" "$log"
  grep -a '^\[  PASSED  \]' "$log" || true
  if [[ $exit_status != 0 ]]; then
    kill "$pid" 2>/dev/null || true
    tail -n 40 "$log"
    problem "windows_ui_tests.exe at $dpi dpi ended with '$exit_status'"
  fi
}

started=$(date +%s)
start_display 90 || give_up setup "no X display could be started"
prepare_prefix || give_up setup "the Wine prefix could not be prepared (see $work/wineboot.log)"
build_helper || give_up setup "window_texts.exe could not be built"
run_unit_tests C.UTF-8
run_unit_tests zh_CN.UTF-8
wine_check worked-example run_worked_example worked-example C.UTF-8
wine_check worked-example-zh_CN run_worked_example worked-example-zh_CN zh_CN.UTF-8
wine_check planted-libraries run_planted_libraries
wine_check close-during-copy run_close_during_copy
wine_check second-program run_second_program
wine_check close-while-reading run_close_while_reading
wine_check retry-after-release run_retry_after_release
wine_check ui-96 run_ui_tests_with_pictures
[[ $wine_arch == win64 ]] && check guide-picture run_guide_picture
set_display_scale 144
wine_check sample run_sample
[[ $wine_arch == win32 ]] && check out-of-memory run_out_of_memory
wine_check ui-144 run_ui_tests_with_pictures
set_display_scale 96
say "$(($(date +%s) - started)) s"
((failures == 0)) || { say "$failures check(s) failed"; exit 1; }
say "all Wine checks passed"
