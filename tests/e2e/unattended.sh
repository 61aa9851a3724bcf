#!/usr/bin/env bash
# The real program, unattended and without a display, against probe-server-sim on a
# pseudo-terminal: a complete download ends with status 0 and the right files; a
# silent server ends with status 1 and a trace of every attempt.
# Usage: unattended.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
dump=$1
sim=$2
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

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
start_sim 5 --readings 30 --records clean --exit-after-idle 30
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
start_sim 6 --fault silent=$(seq -s, 1 40) --exit-after-idle 30
timeout 300 "$dump" --unattended --port 6 --output "$out" --trace "$work/silent-trace.txt" \
  >"$work/silent.out" 2>"$work/silent.err"
status=$?
stop_sim
[ "$status" -eq 1 ] || fail "silent server: status $status, expected 1"
grep -q '^No Comms: Cannot connect to server, no comms\. | .*\[answered ""\]$' "$work/silent.err" ||
  fail "silent server: no \"No Comms\" line on standard error"
# Before the modem probe (its first line is the write that the "modem >" line names),
# each status request, legacy and then v5 after its lead byte, goes out four times (one
# cycle of four attempts each); after it, the legacy one once at 56000 bit/s, for a server
# left at that speed.
probe=$(grep -n ' modem > ' "$work/silent-trace.txt" | head -n 1 | cut -d: -f1)
[ -n "$probe" ] || fail "silent server: no modem probe in the trace"
frames=$(head -n $((probe - 2)) "$work/silent-trace.txt" | sed -n 's/^ *[0-9]* port > //p' |
  sort | uniq -c | awk '{ print $1 }' | sort | uniq -c | awk '{ print $1 "x" $2 }' | xargs)
[ "$frames" = "3x4" ] || fail "silent server: frames sent before the modem probe: $frames"
tail -n +"$probe" "$work/silent-trace.txt" | grep -A 6 ' opened at 56000,n,8,1$' |
  grep -c ' port > 5E FF FF FF 0E 00 09 ' | grep -qx 1 ||
  fail "silent server: the legacy request was not sent once at 56000 bit/s"
[ "$(grep -c ' modem > ATE0$' "$work/silent-trace.txt")" -eq 3 ] || fail "modem probe not traced"
grep -q ' exit status 1: ' "$work/silent-trace.txt" || fail "silent server: no exit status"

echo "unattended end-to-end: both runs as expected"
