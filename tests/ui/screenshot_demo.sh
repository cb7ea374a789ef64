#!/bin/sh
# Runs the program on a virtual display under a window manager until its run
# has finished and the summary box is up, saves a screenshot of the whole
# screen, then presses OK and closes the window as a user would, and checks
# that the program ends with status 0.
#   screenshot_demo.sh PROGRAM OUT.png
# Prints "PASS: screenshot of the demo window" or "FAIL: screenshot of the demo
# window: <what went wrong>", and exits 1 on failure.
# Needs Xvfb, metacity (or openbox), xdotool, wmctrl and ImageMagick's import.
set -u
if [ "$#" -ne 2 ]; then
  echo "usage: $0 PROGRAM OUT.png" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "${VARNELO_SCREENSHOT_DISPLAY:-}" ]; then
  VARNELO_SCREENSHOT_DISPLAY=1 VARNELO_XVFB_SCREEN=1024x768x24 \
    exec "$here/with_xvfb.sh" "$0" "$@"
fi
program="$1"
out="$2"
log="${out%.png}.log"

fail() {
  echo "FAIL: screenshot of the demo window: $*"
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  exit 1
}

# Polls COMMAND for up to SECONDS until it prints something; prints that.
wait_for() {
  seconds="$1"
  shift
  tries=$((seconds * 10))
  while [ "$tries" -gt 0 ]; do
    found="$("$@" 2>/dev/null | head -n 1)"
    if [ -n "$found" ]; then
      echo "$found"
      return 0
    fi
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

if command -v metacity >/dev/null; then
  metacity --sm-disable >/dev/null 2>&1 &
elif command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
else
  fail "no window manager (metacity or openbox) installed"
fi
wm=$!
wait_for 10 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep 'window id'" >/dev/null ||
  fail "window manager did not start"

"$program" >"$log" 2>&1 &
app=$!
window="$(wait_for 60 xdotool search --onlyvisible --name '^Varnelo-完成$')" ||
  fail "the window title never became Varnelo-完成"
box="$(wait_for 10 xdotool search --onlyvisible --name '^同步提示$')" ||
  fail "the summary box did not appear"
sleep 1  # let both windows finish painting
import -window root "$out" || fail "screenshot failed"

xdotool windowactivate --sync "$box" key --clearmodifiers Return
wait_for 10 sh -c "xdotool search --onlyvisible --name '^同步提示\$' >/dev/null || echo gone" \
  >/dev/null || fail "the summary box did not close on Return"
if command -v wmctrl >/dev/null; then
  wmctrl -i -c "$window"
else
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
fi
tries=100
while kill -0 "$app" 2>/dev/null && [ "$tries" -gt 0 ]; do
  sleep 0.1
  tries=$((tries - 1))
done
kill -0 "$app" 2>/dev/null && fail "the program did not end when its window was closed"
wait "$app"
status=$?
kill "$wm" 2>/dev/null
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "screenshot saved to $out"
echo "PASS: screenshot of the demo window"
