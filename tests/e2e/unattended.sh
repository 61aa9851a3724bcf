#!/usr/bin/env bash
# The real program, unattended and without a display, against probe-server-sim on a
# pseudo-terminal: a complete download ends with status 0 and the right files; a
# silent server ends with status 1 and a trace of every attempt.
# Usage: unattended.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
set -uo pipefail

dump=$1
sim=$2
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.err "$work"/*.txt; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
  done
  exit 1
}

# A private home: settings, state and data all under $work; no display at all.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
settings=$XDG_CONFIG_HOME/RNQ7

# Starts the simulator on port $1 with the remaining options; waits for its link.
start_sim() {
  local port=$1
  shift
  "$sim" --port "$port" --settings-dir "$settings" --exit-after-idle 30 "$@" \
    >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -L "$settings/com$port" ] && return 0
    sleep 0.1
  done
  fail "probe-server-sim did not link com$port"
}

stop_sim() {
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=
}

line_count() { [ -f "$1" ] && awk 'END { print NR }' "$1" || echo 0; }

# 0. A bad value is told before anything else happens, display or not.
"$dump" --speed fast >"$work/usage.out" 2>"$work/usage.err"
status=$?
[ "$status" -eq 64 ] || fail "bad value: status $status, expected 64"
[ "$(head -n 1 "$work/usage.err")" = "probe-server-dump: --speed: 'fast' is neither lo nor hi" ] ||
  fail "bad value: first line of standard error: $(head -n 1 "$work/usage.err")"
[ ! -e "$XDG_STATE_HOME/RNQ7" ] || fail "bad value: a trace was written"

# 1. A complete download of 30 readings.
out=$work/out
mkdir -p "$out"
start_sim 5 --readings 30 --records clean
timeout 300 "$dump" --unattended --port 5 --output "$out" >"$work/ok.out" 2>"$work/ok.err"
status=$?
stop_sim
[ "$status" -eq 0 ] || fail "complete run: status $status, expected 0"
[ "$(line_count "$out/Tavric Dumps/Dump00.csv")" -eq 31 ] || fail "Dump00.csv: not 30 readings"
[ "$(line_count "$out/Tavric Probe Data.csv")" -eq 31 ] || fail "probe data: not 30 readings"
traces=("$XDG_STATE_HOME"/RNQ7/traces/trace-*.txt)
[ "${#traces[@]}" -eq 1 ] && [ -f "${traces[0]}" ] || fail "no trace in the state folder"
cp "${traces[0]}" "$work/ok-trace.txt"
grep -q '^ *[0-9]* store cleared$' "${traces[0]}" || fail "trace: store not cleared"
grep -q '^ *[0-9]* exit status 0: ' "${traces[0]}" || fail "trace: no exit status"
grep -q "Dump00.csv\" written: " "${traces[0]}" || fail "trace: dump file not listed"
! grep -q '^Port=' "$settings/RNQ7.conf" 2>/dev/null || fail "the port of the command line was saved"

# 2. A silent server: every request unanswered.
start_sim 6 --fault silent=$(seq -s, 1 40)
timeout 300 "$dump" --unattended --port 6 --output "$out" --trace "$work/silent-trace.txt" \
  >"$work/silent.out" 2>"$work/silent.err"
status=$?
stop_sim
[ "$status" -eq 1 ] || fail "silent server: status $status, expected 1"
grep -q '^No Comms: Cannot connect to server, no comms\. | .*\[answered ""\]$' "$work/silent.err" ||
  fail "silent server: no \"No Comms\" line on standard error"
# Before the modem probe (its first line is the write that the "modem >" line names),
# each status request, legacy and then v5 after its lead byte, goes out four times (one
# cycle of four attempts each), and the legacy one once more at 56000 bit/s for a server
# left at that speed.
probe=$(grep -n ' modem > ' "$work/silent-trace.txt" | head -n 1 | cut -d: -f1)
[ -n "$probe" ] || fail "silent server: no modem probe in the trace"
frames=$(head -n $((probe - 2)) "$work/silent-trace.txt" | sed -n 's/^ *[0-9]* port > //p' |
  sort | uniq -c | awk '{ print $1 }' | sort | uniq -c | awk '{ print $1 "x" $2 }' | xargs)
[ "$frames" = "2x4 1x5" ] || fail "silent server: frames sent before the modem probe: $frames"
[ "$(grep -c ' modem > ATE0$' "$work/silent-trace.txt")" -eq 3 ] || fail "modem probe not traced"
grep -q ' exit status 1: ' "$work/silent-trace.txt" || fail "silent server: no exit status"

echo "unattended end-to-end: both runs as expected"
