#!/bin/sh
# Runs a command on a virtual X display of its own: with_xvfb.sh COMMAND [ARG...]
# Xvfb picks a free display number itself (-displayfd), so any number of these
# may run side by side. The command's exit status is the script's; a command
# still running after VARNELO_XVFB_TIMEOUT seconds (300) is stopped.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
screen="${VARNELO_XVFB_SCREEN:-1280x1024x24}"
number_file="$(mktemp)"
trap 'rm -f "$number_file"' EXIT
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$number_file" 2>/dev/null &
server=$!
tries=0
while [ ! -s "$number_file" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "with_xvfb.sh: Xvfb did not start" >&2
    kill "$server" 2>/dev/null
    exit 1
  fi
  sleep 0.05
done
DISPLAY=":$(head -n 1 "$number_file")"
export DISPLAY
unset WAYLAND_DISPLAY
# No accessibility bus or desktop settings daemon is running on this display.
NO_AT_BRIDGE=1
GSETTINGS_BACKEND=memory
export NO_AT_BRIDGE GSETTINGS_BACKEND
# Under LeakSanitizer: what the font library caches is no leak of the program.
case "${LSAN_OPTIONS:-}" in
  *suppressions=*) ;;
  *) LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan_gtk.supp"
     export LSAN_OPTIONS ;;
esac
# A test that waits for an event that never comes ends here, not in a hang.
timeout --kill-after=5 "${VARNELO_XVFB_TIMEOUT:-300}" "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit "$status"
