#!/usr/bin/env bash
# SIGTERM and SIGINT (a logout, `systemctl stop`, Ctrl+C) end the program against the device
# and modem simulators as its Exit does: within a few seconds, with status 0, and with the
# lock file of its modem port gone from the system's lock folder.
#   tests/ui/stopsignals.sh BUILD_DIR SOURCE_DIR
# Exit 77 (skipped) when a simulator is not built.
set -euo pipefail

build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
program=$build/kestrava
# Start-up and the modem port's opening; generous for the sanitizer build.
readonly open_timeout_s=60
# The longest wait a stop may take: one device exchange and one modem answer at most.
readonly exit_limit_ms=3000
readonly lock_folder=/run/lock

for sim in "$build/tools/devsim/kestrava-devsim" "$build/tools/modemsim/kestrava-modemsim"; do
  [ -x "$sim" ] || { echo "SKIP: $sim is not built"; exit 77; }
done
[ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
[ -d "$lock_folder" ] && [ -w "$lock_folder" ] || { echo "SKIP: no writable $lock_folder"; exit 77; }

run=$build/stopsignals
program_pid=
lock=
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill -KILL "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  # A program that did not release its lock leaves it to nobody: not to the next run.
  if [ -n "$lock" ] && [ -f "$lock" ] && ! kill -0 "$(head -n 1 "$lock")" 2>/dev/null; then
    rm -f "$lock"
  fi
  "$src/tools/modemsim/stop-modem" "$run"
  "$src/tools/devsim/stop-sim" "$run"
}
trap cleanup EXIT

log=$run/program.log
fail() {
  echo "FAIL: $*"
  [ -f "$log" ] && { echo "--- program log (last lines)"; tail -n 30 "$log"; }
  exit 1
}

rm -rf "$run/data"
eval "$("$src/tools/devsim/start-sim" "$build" "$run")"
eval "$("$src/tools/modemsim/start-modem" "$build" "$run")"
# The serial port library names a port's lock file after its path, each "/" an "_".
lock=$lock_folder/LCK..${MODEMSIM_PTY//\//_}

for signal in TERM INT; do
  cd "$KESTRAVA_WORK_DIR"
  QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software XDG_DATA_HOME=$XDG_DATA_HOME \
    "$program" >"$log" 2>&1 &
  program_pid=$!
  for _ in $(seq $((open_timeout_s * 10))); do
    kill -0 "$program_pid" 2>/dev/null || fail "SIG$signal: the program ended by itself"
    # The program's own lock: the modem port is open.
    [ -f "$lock" ] && grep -qw "$program_pid" "$lock" && break
    sleep 0.1
  done
  grep -qsw "$program_pid" "$lock" || fail "SIG$signal: no lock file $lock of the program within ${open_timeout_s} s"

  start=$(date +%s%N)
  kill -s "$signal" "$program_pid"
  # Polled, not waited for: a program that hangs must fail the test, not stall it.
  for _ in $(seq $((exit_limit_ms / 20 * 3))); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.02
  done
  elapsed_ms=$((($(date +%s%N) - start) / 1000000))
  kill -0 "$program_pid" 2>/dev/null && fail "SIG$signal: the program still runs after $elapsed_ms ms"
  status=0
  wait "$program_pid" || status=$?
  program_pid=
  [ "$status" -eq 0 ] || fail "SIG$signal: the program ended with status $status"
  [ "$elapsed_ms" -le "$exit_limit_ms" ] || fail "SIG$signal: the exit took $elapsed_ms ms"
  [ ! -e "$lock" ] || fail "SIG$signal: the lock file $lock is left behind"
  grep -q "stopping on signal" "$log" || fail "SIG$signal: the stop is not in the log"
  echo "SIG$signal: ended in $elapsed_ms ms with status 0; $lock released"
done
echo "PASS"
