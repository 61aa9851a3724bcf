#!/usr/bin/env bash
# After the run, with the real program unattended against probe-server-sim: the summary
# each run leaves in its trace (a v5 and a legacy server, direct and by cell modem); three
# scheduled runs with a wrong PIN file that send the PIN once and leave the SIM unlocked;
# and the simulator, which takes over only a port link of its own or one that leads
# nowhere.
# Usage: after_run.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
dump=$1
sim=$2
. "$(dirname "$0")/e2e_lib.sh"
e2e_init
out=$work/out

# summary_of TRACE: the summary lines of a trace, without their time stamps.
summary_of() { sed -n 's/^ *[0-9]* summary: //p' "$1"; }

# 1. The summary, line by line, of a v5 and a legacy server and a server by modem.
check_summary() {
  local name=$1 port=$2 first=$3
  shift 3
  start_sim "$port" --records clean --exit-after-idle 30 "$@"
  timeout 300 "$dump" --unattended --port "$port" --output "$out/$name" \
    --trace "$work/$name-trace.txt" ${cell:+--cell "$cell"} >"$work/$name.out" 2>"$work/$name.err"
  local status=$?
  stop_sim
  [ "$status" -eq 0 ] || fail "$name: status $status"
  local lines
  lines=$(summary_of "$work/$name-trace.txt")
  [[ "$(sed -n 1p <<<"$lines")" == $first ]] || fail "$name: summary: $(sed -n 1p <<<"$lines")"
  local files="dump file: $out/$name/Tavric Dumps/Dump00.csv; probe data file: $out/$name/Tavric Probe Data.csv; chart page: $out/$name/Tavric Probe Data.html"
  [ "$(sed -n 2p <<<"$lines")" = "$files" ] || fail "$name: files: $(sed -n 2p <<<"$lines")"
  [ "$(wc -l <<<"$lines")" -eq 2 ] || fail "$name: $(wc -l <<<"$lines") summary lines"
  # Standard output holds the same two lines, after the program's name, and nothing else.
  [ "$(cat "$work/$name.out")" = "$(sed 's/^/probe-server-dump: /' <<<"$lines")" ] ||
    fail "$name: standard output: $(cat "$work/$name.out")"
}
cell=
check_summary v5 3 "v5 server direct on port 3: 20 records fetched, 20 readings written; store cleared; server clock set (it was * behind); low batteries: none" \
  --readings 20 --clock '2012-03-04 14:00:00'
check_summary legacy 4 "legacy server direct on port 4: 12 records fetched, 12 readings written; store cleared; server clock set (it was *); low batteries: none" \
  --generation legacy --readings 12
cell=0400111222
check_summary modem 5 "v5 server by cell modem on port 5: 8 records fetched, 8 readings written; store cleared; server clock set (it was *); low batteries: none" \
  --readings 8 --modem --dial-delay 0.5 --call-delay 0.1
cell=

# --quiet: nothing at all from a run that went well, even as cron starts it (no
# XDG_RUNTIME_DIR, whose absence the toolkit mentions, into the trace); a failed run still
# says why on standard error, and prints no summary.
start_sim 6 --records clean --readings 5 --exit-after-idle 30
env -u XDG_RUNTIME_DIR timeout 120 "$dump" --unattended --quiet --port 6 --output "$out/quiet" \
  --trace "$work/quiet-trace.txt" >"$work/quiet.out" 2>"$work/quiet.err"
status=$?
stop_sim
[ "$status" -eq 0 ] || fail "quiet run: status $status"
[ ! -s "$work/quiet.out" ] && [ ! -s "$work/quiet.err" ] ||
  fail "a quiet run that went well said: $(cat "$work/quiet.out" "$work/quiet.err")"
grep -q 'toolkit: .*XDG_RUNTIME_DIR' "$work/quiet-trace.txt" || fail "the toolkit's note is not in the trace"
timeout 120 "$dump" --unattended --quiet --port 6 --output "$out/quiet" >"$work/quiet-fail.out" \
  2>"$work/quiet-fail.err"
status=$?
[ "$status" -ne 0 ] || fail "quiet run without a server: status 0"
[ ! -s "$work/quiet-fail.out" ] || fail "a quiet failed run printed: $(cat "$work/quiet-fail.out")"
[ -s "$work/quiet-fail.err" ] || fail "a quiet failed run said nothing on standard error"

# 2. Three scheduled runs with a wrong PIN file: the PIN goes out once, the SIM keeps its
# tries, and the right PIN opens it afterwards.
echo 1357 >"$work/pin"
chmod 600 "$work/pin"
start_sim 7 --modem --pin 2468 --dial-delay 0.5 --call-delay 0.1 --readings 4 \
  --exit-after-idle 60 --log "$work/modem-log.json"
statuses=
for run in 1 2 3; do
  timeout 120 "$dump" --unattended --port 7 --output "$out/pin" --cell 0400111222 \
    --pin-file "$work/pin" >"$work/pin-$run.out" 2>"$work/pin-$run.err"
  statuses+="$? "
done
[ "$statuses" = "3 6 6 " ] || fail "wrong PIN runs: statuses $statuses, expected 3 6 6"
grep -q '^ERROR: Pin code not sent: the SIM refused it before' "$work/pin-3.err" ||
  fail "third wrong PIN run: $(cat "$work/pin-3.err")"
! grep -rq 1357 "$XDG_STATE_HOME" "$out/pin" || fail "the PIN was written down"
echo 2468 >"$work/pin"
timeout 120 "$dump" --unattended --port 7 --output "$out/pin" --cell 0400111222 \
  --pin-file "$work/pin" >"$work/pin-4.out" 2>"$work/pin-4.err"
status=$?
stop_sim
[ "$status" -eq 0 ] || fail "changed PIN file: status $status"
pins=$(jq -r '.modem.commands[]' "$work/modem-log.json" | grep -c '^AT+CPIN=')
[ "$pins" -eq 2 ] || fail "the modem was given $pins PINs, expected 2 (the wrong one once)"

# 3. The simulator's port links: a link to a device that exists is the user's and stays;
# one left dangling by a killed simulator is taken over.
mkdir -p "$settings"
ln -s /dev/null "$settings/com8"
"$sim" --port 8 --settings-dir "$settings" --exit-after-idle 5 >"$work/sim-real.out" 2>&1
status=$?
[ "$status" -ne 0 ] || fail "the simulator served over a link to a real device"
[ "$(readlink "$settings/com8")" = /dev/null ] || fail "the user's link was replaced"
grep -q 'leads to /dev/null, which exists' "$work/sim-real.out" || fail "$(cat "$work/sim-real.out")"
ln -s /dev/pts/nonexistent-99 "$settings/com9"
start_sim_keep() {
  "$sim" --port 9 --settings-dir "$settings" --exit-after-idle 5 >"$work/sim-9.out" 2>&1 &
  sim_pid=$!
  sim_pids+=("$sim_pid")
}
start_sim_keep
for _ in $(seq 100); do [ -e "$settings/com9" ] && break; sleep 0.1; done
[ -e "$settings/com9" ] || fail "the dangling link was not taken over: $(cat "$work/sim-9.out")"
stop_sim

echo "after_run: summaries of v5, legacy and modem runs in the trace and on standard output; --quiet; a wrong PIN sent once in three runs; simulator links checked"
