# What the Wine tests share, sourced after they set root, exe, work and
# packages: every Wine process's locale, the packages, a private Xvfb, the
# prefix with a virtual desktop and a CJK font, the display scale, and
# waiting for a program.
#
# The program's own machine type decides the rest: a 64-bit program runs in a
# 64-bit prefix with 64-bit helpers, the 32-bit one in a 32-bit prefix
# (WINEARCH=win32, Debian's wine32 from the i386 architecture) with 32-bit
# helpers, as on a 32-bit Windows PC. Each has its own prefix.
#
# Every Wine process gets its locale here, whatever the caller's is: Wine
# takes the code page of file names on the Linux side from it, and in the
# plain C locale a Chinese file name does not come through at all.
unset LANGUAGE LC_ALL LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY
export LANG=C.UTF-8 LC_ALL=C.UTF-8

source "$root/scripts/packages.sh"

# The COFF machine field of a PE file, as four hex digits: 014c for i386,
# 8664 for x86-64.
pe_machine() {  # file
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}

if [[ $(pe_machine "$exe") == 014c ]]; then
  wine_arch=win32 triplet=i686-w64-mingw32
  packages+=(wine32 g++-mingw-w64-i686-posix)
else
  wine_arch=win64 triplet=x86_64-w64-mingw32
  packages+=(wine64 g++-mingw-w64-x86-64-posix)
  # Debian's wine and wineserver commands start the 32-bit loader and server
  # whenever wine32 is installed, which a kernel without 32-bit support
  # cannot run at all: the 64-bit ones are started by name, and Wine starts
  # every further process and its server from these two.
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  wine_commands=$build/wine64-commands
  mkdir -p "$wine_commands"
  for command in wine wineboot winepath wineserver; do
    case $command in
      wine) line='exec "$WINELOADER" "$@"' ;;
      wineserver) line='exec "$WINESERVER" "$@"' ;;
      *) line="exec \"\$WINELOADER\" $command \"\$@\"" ;;
    esac
    printf '#!/bin/sh\n%s\n' "$line" >"$wine_commands/$command"
    chmod +x "$wine_commands/$command"
  done
  export PATH=$wine_commands:$PATH
fi

# Whether the Wine loader these tests start is there.
wine_installed() { [[ -x ${WINELOADER:-$(command -v wine)} ]]; }

# Whether this machine's kernel runs 32-bit x86 programs itself: a kernel
# built without IA-32 emulation answers "Exec format error", and Wine's
# 32-bit loader then cannot start, nor can it through an emulator. The
# smallest such program, written out byte by byte: one header, one segment,
# and exit(0) through the 32-bit system call gate.
runs_32_bit_programs() {
  local probe status
  # i386 programs handed to an emulator by binfmt_misc are not run by the kernel.
  grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386 && return 1
  probe=$(mktemp) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
        `'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'`
        `'\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'`
        `'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return "$status"
}

as_root() {
  if [[ $(id -u) == 0 ]]; then "$@"; else sudo -n "$@"; fi
}

install_missing_packages() {
  # wine32 comes from the i386 architecture, which apt must know first.
  if [[ $wine_arch == win32 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386 || return 1
  fi
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

export WINEPREFIX=$work/prefix-$wine_arch WINEARCH=$wine_arch WINEDEBUG=-all
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

start_display() {  # first display number to try
  local n first_display=$1
  for n in $(seq "$first_display" $((first_display + 30))); do
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
  local helper
  for helper in window_texts hold_file; do
    "$triplet-g++-posix" -std=c++20 -O2 -municode -static -o "$work/$helper.exe" \
      "$root/tests/windows/${helper}_win32.cpp" || return 1
  done
  "$triplet-g++-posix" -std=c++20 -O2 -shared -static -o "$work/planted.dll" \
    "$root/tests/windows/planted_library_win32.cpp"
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

# The display scale from the prefix's registry: sizes given in 1/96 inch grow
# with it.
set_display_scale() {  # dots per inch
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$1" \
    >"$work/dpi.reg"
  wine regedit /S "$(winepath -w "$work/dpi.reg")" >>"$work/wineboot.log" 2>&1
  wineserver -w
  dpi=$1
}

