#!/usr/bin/env bash
# Runs the Windows program end to end under Wine, in Xvfb:
#   1. the worked example of a sync run, in the C.UTF-8 locale;
#   2. the same in zh_CN.UTF-8, where the ANSI code page is 936, so a call
#      through a narrow-string API would garble the Chinese names;
#   3. closing the window while a large copy runs: the process ends at once
#      with status 0;
#   4. the sample workbook in examples/, on a display of 144 dots per inch;
# and, first, when build-windows.sh --tests made them, the unit test programs,
# in both locales: some cases only mean something under one code page.
# Each run waits for the summary box, reads the window texts from inside Wine
# (window_texts.exe), saves a screenshot in the build folder, checks the
# destination tree, presses OK, closes the window with Alt+F4 and expects 0.
#
#   tests/windows/wine_test.sh [dist/varnelo.exe]
#
# Each end-to-end run prints one line, "PASS: wine <name>" or "FAIL: wine
# <name>", after the details of what went wrong; each unit test program prints
# GoogleTest's summary ("[  PASSED  ] N tests." and, when some failed,
# "[  FAILED  ] N tests, listed below:"). The status is 1 when anything failed.
# On Debian 12 a package that cannot be installed is a failure; elsewhere the
# whole test is skipped ("SKIP: ...").
#
# Every Wine process gets its locale here, whatever the caller's is: Wine
# takes the code page of file names on the Linux side from it, and in the
# plain C locale a Chinese file name does not come through at all.
set -euo pipefail
unset LANGUAGE LC_ALL LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY
export LANG=C.UTF-8 LC_ALL=C.UTF-8

root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/dist/varnelo.exe}")
build=${VARNELO_WIN_BUILD:-$root/build-win}
work=$build/wine-test
triplet=x86_64-w64-mingw32
packages=(wine wine64 xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-wine locales
          python3-xlsxwriter g++-mingw-w64-x86-64-posix)
failures=0
problems=0
source "$root/scripts/packages.sh"

say() { printf '%s\n' "wine_test: $*"; }
# A detail of the check under way; report prints the check's one line.
fail() { say "  $*"; problems=$((problems + 1)); }
report() {  # name
  if ((problems == 0)); then
    echo "PASS: wine $1"
  else
    echo "FAIL: wine $1"
    failures=$((failures + 1))
  fi
  problems=0
}
# Runs one end-to-end check; a step that stops it is one more problem.
check() {  # name, function, arguments...
  local name=$1
  shift
  "$@" || fail "$name: stopped with status $?"
  report "$name"
}
# Ends the whole test for a reason that stops every check.
give_up() {  # name, reason
  if on_debian_12; then
    fail "$2"
    report "$1"
    exit 1
  fi
  echo "SKIP: wine: $2 (not Debian 12)"
  exit 0
}

as_root() {
  if [[ $(id -u) == 0 ]]; then "$@"; else sudo -n "$@"; fi
}

install_missing_packages() {
  "$root/scripts/install-packages.sh" "${packages[@]}" >"$build/wine-packages.log" 2>&1 ||
    { tail -n 20 "$build/wine-packages.log"; return 1; }
}

ensure_locale() {
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return 0
  grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null &&
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
    echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
}

[[ -f $exe ]] || { echo "FAIL: wine: no program at $exe: run ./build-windows.sh first"; exit 1; }
mkdir -p "$build"
install_missing_packages || give_up setup "Wine and its helpers cannot be installed"
command -v wine >/dev/null || give_up setup "no wine command after installing"
zh_CN_ready=1
ensure_locale || zh_CN_ready=0

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No prompts to install Mono or Gecko: the program needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="

display=
xvfb_pid=
wine_pids=()
cleanup() {
  local pid
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [[ -n $display ]] && DISPLAY=$display wineserver -k 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  return 0
}
trap cleanup EXIT

start_display() {
  local n
  for n in $(seq 90 120); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [[ -e /tmp/.X11-unix/X$n ]] && { display=:$n; export DISPLAY=$display; return 0; }
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
  done
  return 1
}

# The prefix's registry: a virtual desktop, so that Alt+F4 reaches the
# program as WM_CLOSE with nothing but Xvfb around it, and a CJK font behind
# the faces that Wine's dialogs, captions and controls ask for.
prepare_prefix() {
  wineboot --init >"$work/wineboot.log" 2>&1 || return 1
  wineserver -w
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/marlett.ttf /usr/share/fonts/truetype/wqy/wqy-microhei.ttc \
    "$fonts/" || return 1
  local face='WenQuanYi Micro Hei' link='wqy-microhei.ttc,WenQuanYi Micro Hei'
  local substitutes='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  local systemLink='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
    echo '"Desktop"="Default"'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
    echo '"Default"="1024x768"'
    echo
    echo "[$substitutes]"
    for f in 'MS Shell Dlg' 'MS Shell Dlg 2' 'Tahoma' 'Segoe UI' 'Microsoft Sans Serif' \
             'MS Sans Serif' 'SimSun' 'NSimSun' 'Microsoft YaHei' 'Arial' 'System'; do
      echo "\"$f\"=\"$face\""
    done
    echo
    echo "[$systemLink]"
    for f in 'MS Shell Dlg' 'MS Shell Dlg 2' 'Tahoma' 'Segoe UI' 'Microsoft Sans Serif' \
             'Lucida Sans Unicode' 'Arial'; do
      echo "\"$f\"=hex(7):$(printf '%s\0\0' "$link" | od -An -v -tx1 | tr -s ' \n' ',' |
        sed 's/^,//;s/,$//')"
    done
  } >"$work/fonts.reg"
}

# Wine rewrites its font substitutes whenever the ANSI code page differs from
# the one it last saw, so the fonts go in again after each change of locale.
fonts_locale=
import_fonts() {  # locale
  [[ $1 == "$fonts_locale" ]] && return 0
  LANG=$1 LC_ALL=$1 wine regedit /S "$(winepath -w "$work/fonts.reg")" >>"$work/wineboot.log" 2>&1
  wineserver -w
  fonts_locale=$1
}

build_helper() {
  "$triplet-g++-posix" -std=c++20 -O2 -municode -static -o "$work/window_texts.exe" \
    "$root/tests/windows/window_texts_win32.cpp"
}

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
  [[ $got == "$3" ]] || fail "$4: $2 is '$got', expected '$3'"
}

focus_desktop() {
  local window
  window=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -n 1) || true
  [[ -n $window ]] && xdotool windowfocus --sync "$window" 2>/dev/null || true
}

# Sets exit_status to the program's status, or "timeout". Not to be called in
# a subshell: only the shell that started the program can wait for it.
exit_status=
wait_for_exit() {  # pid, seconds
  local pid=$1 i
  exit_status=timeout
  for ((i = 0; i < $2 * 10; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" && exit_status=0 || exit_status=$?
      return 0
    fi
    sleep 0.1
  done
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
    fail "$1: the program ended with '$exit_status' after Alt+F4, expected 0"
}

read_summary_box() {  # name, locale
  if ! LANG=$2 LC_ALL=$2 wine "$work/window_texts.exe" box 90 >"$work/$1.texts" 2>/dev/null; then
    fail "$1: no summary box within 90 s"
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
  expect_text "$t" client "$(scaled 500)x$(scaled 400)" "$1"
  expect_text "$t" log-place "$(scaled 10),$(scaled 10) $(scaled 480)x$(scaled 380)" "$1"
  expect_text "$t" screen '1024x768' "$1"
  expect_text "$t" box-owner main "$1"
  expect_text "$t" main-enabled 0 "$1"
  local size x y
  size=$(texts_value "$t" size)
  x=$(((1024 - ${size%x*}) / 2)) y=$(((768 - ${size#*x}) / 2))
  expect_text "$t" position "$x,$y" "$1 (centred)"
}

same_file() {  # expected text, file, what
  [[ -f $2 && $(cat "$2") == "$1" ]] || fail "$3: $2 does not hold '$1'"
}

check_worked_tree() {  # name, folder
  local d=$2 expected found
  expected=$(printf '%s\n' 2023 2023/G1 2023/G1/子目录 2023/G2 2023/G2/子目录 2024 2024/G3 2024/G4)
  found=$(cd "$d" && find . -mindepth 1 -type d ! -path './0-所有履职材料*' | sed 's|^\./||' |
    LC_ALL=C sort)
  [[ $found == "$expected" ]] || fail "$1: destination folders are:"$'\n'"$found"
  same_file 'from B02' "$d/2023/G1/shared.txt" "$1"
  same_file 'A01 only' "$d/2023/G1/a01.txt" "$1"
  same_file 'B02 only' "$d/2023/G1/b02.txt" "$1"
  same_file 'A01 nested' "$d/2023/G1/子目录/说明.txt" "$1"
  same_file 'from A01' "$d/2023/G2/shared.txt" "$1"
  [[ ! -e $d/2023/G2/b02.txt ]] || fail "$1: 2023/G2 got B02's material"
  same_file 'from B02' "$d/2024/G4/shared.txt" "$1"
  [[ ! -e $d/Review ]] || fail "$1: a Review folder was made"
  [[ -z $(find "$d" -name '.~varnelo-*') ]] || fail "$1: part files were left behind"
}

run_worked_example() {  # name, locale
  local name=$1 folder=$work/$1 base
  if [[ $2 == zh_CN.UTF-8 ]] && ((zh_CN_ready == 0)); then
    fail "$name: the zh_CN.UTF-8 locale could not be generated"
    return 0
  fi
  place_program "$folder"
  start_program "$folder" "$2"
  read_summary_box "$name" "$2" || return 0
  base=$(winepath -w "$folder/" 2>/dev/null)
  check_common_window "$name"
  expect_text "$work/$name.texts" box-text \
    '【同步完毕】同步内容：\r\n【2023】:G1、G2、G1\r\n【2024】:G3、G4\r\n【Review】:\r\n' "$name"
  local log=
  for line in 2024\\G4 2024\\G3 2023\\G1 2023\\G2 2023\\G1; do log+="${log:+\\n}$base$line\\"; done
  expect_text "$work/$name.texts" log "$log" "$name (log lines, newest first)"
  check_worked_tree "$name" "$folder"
  finish_program "$name"
}

# The display scale from the prefix's registry: sizes given in 1/96 inch grow
# with it.
set_display_scale() {  # dots per inch
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$1" \
    >"$work/dpi.reg"
  wine regedit /S "$(winepath -w "$work/dpi.reg")" >>"$work/wineboot.log" 2>&1
  wineserver -w
  dpi=$1
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
    fail "$name: the run never started copying"
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
    fail "$name: status '$exit_status' after Alt+F4 during the copy, expected 0"
  ((copied < files)) || fail "$name: the copy had finished ($copied files) before the close"
  say "$name: ended ${ms} ms after Alt+F4, with $copied of $files files copied"
  rm -rf "$folder"  # hundreds of megabytes that nothing looks at again
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
  for name in windows_tests text_tests workbook_tests; do
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

started=$(date +%s)
start_display || give_up setup "no X display could be started"
prepare_prefix || give_up setup "the Wine prefix could not be prepared (see $work/wineboot.log)"
build_helper || give_up setup "window_texts.exe could not be built"
run_unit_tests C.UTF-8
run_unit_tests zh_CN.UTF-8
check worked-example run_worked_example worked-example C.UTF-8
check worked-example-zh_CN run_worked_example worked-example-zh_CN zh_CN.UTF-8
check close-during-copy run_close_during_copy
set_display_scale 144
check sample run_sample
set_display_scale 96
say "$(($(date +%s) - started)) s"
((failures == 0)) || { say "$failures check(s) failed"; exit 1; }
say "all Wine checks passed"
