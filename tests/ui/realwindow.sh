#!/usr/bin/env bash
# The program in a real X server (Xvfb) against the device simulator: its window must be
# mapped at 980 x 680, and its user interface must show live values from the simulator
# (the pages trace what they show in the category kestrava.ui.shown); its close button
# must end it. A screenshot of the window is kept as BUILD_DIR/artifacts/mainwindow.png.
#   tests/ui/realwindow.sh BUILD_DIR SOURCE_DIR
# Exit 77 (skipped) when the simulator is not built.
set -euo pipefail

build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
sim=$build/tools/devsim/kestrava-devsim
program=$build/kestrava
# Start-up plus the first poll cycle that reads the output block; generous for the
# sanitizer build.
readonly value_timeout_s=90

if [ -z "${KESTRAVA_IN_XVFB:-}" ]; then
  [ -x "$sim" ] || { echo "SKIP: the device simulator ($sim) is not built"; exit 77; }
  [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
  command -v xvfb-run >/dev/null || { echo "FAIL: xvfb-run is missing (tools/install-deps)"; exit 1; }
  export KESTRAVA_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

run=$build/realwindow
artifacts=$build/artifacts
mkdir -p "$artifacts"
rm -f "$artifacts/mainwindow.png"
rm -rf "$run/data"
eval "$("$src/tools/devsim/start-sim" "$build" "$run")"
log=$run/program.log
program_pid=
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid"
    wait "$program_pid" 2>/dev/null || true
  fi
  "$src/tools/devsim/stop-sim" "$run"
}
trap cleanup EXIT

cd "$KESTRAVA_WORK_DIR"
# In a sanitizer build: the X keyboard library strndup()s counted, unterminated strings
# from the X server's reply, which strict string checks take for an overflow.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software QT_LOGGING_RULES="kestrava.ui.shown.debug=true" \
  XDG_DATA_HOME=$XDG_DATA_HOME "$program" >"$log" 2>&1 &
program_pid=$!

fail() {
  echo "FAIL: $*"
  echo "--- program log (last lines)"
  tail -n 30 "$log"
  exit 1
}

# A voltage as the simulator serves it, e.g. "outputvol=219.7/219.8/219.7".
shown=
for _ in $(seq $((value_timeout_s * 2))); do
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
  shown=$(grep -Eo 'outputvol=[0-9]+\.[0-9][^ ]*' "$log" | tail -n 1 || true)
  [ -n "$shown" ] && break
  sleep 0.5
done
[ -n "$shown" ] || fail "no output voltage shown within ${value_timeout_s} s"
echo "shown: $shown"

# The window: a top-level 980 x 680 window of the program.
id=$(xwininfo -root -tree | awk '/ 980x680\+/ { print $1; exit }')
[ -n "$id" ] || { xwininfo -root -tree; fail "no 980 x 680 window"; }
info=$(xwininfo -id "$id")
grep -q 'Map State: IsViewable' <<<"$info" || fail "window $id is not mapped: $info"
grep -q 'Width: 980$' <<<"$info" || fail "window $id is not 980 wide: $info"
grep -q 'Height: 680$' <<<"$info" || fail "window $id is not 680 high: $info"

# Let a frame with the value render, then take the picture.
sleep 1
import -window "$id" "$artifacts/mainwindow.png"
size=$(identify -format '%wx%h' "$artifacts/mainwindow.png")
[ "$size" = 980x680 ] || fail "screenshot is $size"
echo "screenshot: $artifacts/mainwindow.png"

# The user interface loaded without a QML warning or error.
if grep -E 'qml[^ ]*:[0-9]+|QML|ReferenceError|TypeError' "$log"; then
  fail "the user interface reported problems"
fi

# The header's close button asks first; its answer "Quit" (Alt+Q) ends the program: the
# window goes, the device thread stops and the program returns 0, within a few seconds
# (one device exchange at most).
readonly exit_timeout_s=10
# The view sits 5 px from the left and 3 px from the top of the window; the close button
# is the header's last 46 x 52 px.
xdotool mousemove --window "$id" $((5 + 970 - 23)) $((3 + 26)) click 1
box=$(timeout 10 xdotool search --sync --limit 1 --name '^Close Kestrava$') || fail "the close button asked nothing"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended without asking"
xdotool windowfocus --sync "$box" key alt+q
for _ in $(seq $((exit_timeout_s * 10))); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs ${exit_timeout_s} s after its close button"
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS"
