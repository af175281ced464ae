#!/usr/bin/env bash
# `cmake --install` into an empty prefix must give a program that shows its window from any
# folder (the user interface built in), a desktop entry that validates and its icon. Run as a
# user who cannot write the prefix (as an installed program is), it keeps its history in its
# data folder and writes nothing outside it. The program is killed at the end, so a sanitizer
# build checks no leaks here (and needs no suppression file that nobody could read).
#   tests/app/installed.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
# Start-up and the first replies the overview page shows; generous for the sanitizer build.
readonly shown_timeout_s=60
readonly history_folders=(analogdb alarmdb daygendb monthgendb yeargendb totalgendb smsdatadb)

tmp=$(mktemp -d)
program_pid=
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill -KILL "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$tmp/program.log" ] && { echo "--- program log (last lines)"; tail -n 30 "$tmp/program.log"; }
  exit 1
}

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/kestrava" ] || fail "no program in $prefix/bin"
entry=$prefix/share/applications/kestrava.desktop
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
[ -f "$prefix/share/icons/hicolor/32x32/apps/kestrava.png" ] || fail "no icon"

# As root, every folder is writable: the program then runs as nobody, for whom the prefix is
# read-only as a system folder is.
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chmod 755 "$tmp"
fi
home=$tmp/home
# The runtime folder (sockets, locks of the session) lies outside the home, as a login gives it.
runtime=$tmp/runtime
mkdir -p "$home" "$runtime" "$tmp/elsewhere"
chmod 700 "$runtime"
[ "$(id -u)" -eq 0 ] && chown 65534:65534 "$home" "$runtime"

cd "$tmp/elsewhere"
env -i PATH="$PATH" HOME="$home" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
  XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$runtime" \
  QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
  QT_LOGGING_RULES="kestrava.ui.shown.debug=true" ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} \
  ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0} \
  "${run_as[@]}" "$prefix/bin/kestrava" >"$tmp/program.log" 2>&1 &
program_pid=$!

shown=
for _ in $(seq $((shown_timeout_s * 2))); do
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
  shown=$(grep -m1 -o 'flow: runState=[^ ]*' "$tmp/program.log" || true)
  [ -n "$shown" ] && break
  sleep 0.5
done
[ -n "$shown" ] || fail "the user interface showed nothing within ${shown_timeout_s} s"
! grep -q "did not load" "$tmp/program.log" || fail "the user interface did not load"
echo "shown: $shown"

if [ ${#run_as[@]} -gt 0 ]; then
  data=$home/data/Kestrava
  for folder in "${history_folders[@]}"; do
    [ -d "$data/$folder" ] || fail "no history folder $folder in the data folder"
    [ ! -e "$prefix/bin/$folder" ] || fail "history folder $folder beside the installed program"
  done
  # Only the data folder: no QML cache or anything else in the user's other folders.
  outside=$(find "$home" -mindepth 1 -not -path "$home/data" -not -path "$home/data/*" -print)
  [ -z "$outside" ] || fail "written outside the data folder: $outside"
fi
find "$home" -mindepth 1 -maxdepth 3 | sed "s|$home/||" | sort | tr '\n' ' '; echo
echo "PASS"
