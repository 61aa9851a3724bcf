#!/usr/bin/env bash
# The real program as the field runs it, unattended and without a display, against
# probe-server-sim on pseudo-terminals: a line that never goes quiet, a legacy server
# left at 56000 bit/s by a run that was killed, a nearly full disk, two runs at once on
# one output folder and on one device, and the signals that stop a run.
# Usage: field.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM [CASE...]
# Cases: endless stranded full-disk one-folder one-device signals lost-blocks
# (default: all).
dump=$1
sim=$2
shift 2
cases=("$@")
((${#cases[@]})) || cases=(endless stranded full-disk one-folder one-device signals lost-blocks)
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

# run_dump NAME OPTION...: the program unattended, its trace in $work/NAME-trace.txt;
# sets `status`.
run_dump() {
  local name=$1
  shift
  timeout 300 "$dump" --unattended --trace "$work/$name-trace.txt" "$@" \
    >"$work/$name.out" 2>"$work/$name.err"
  status=$?
}

# trace_span TRACE: milliseconds from the first byte sent to the exit line.
trace_span() {
  awk '/ port > / && !first { first = $1 } / exit status / { last = $1 }
       END { print last - first }' "$1"
}

# wait_for_trace TRACE PATTERN: until a line of the trace matches (at most 60 s).
wait_for_trace() {
  local _
  for _ in $(seq 600); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no '$2' in $1"
}

# A line that never goes quiet (zeros, noise, start bytes) ends each attempt as a
# silent line would: the run ends with status 1 within the silent server's time plus
# the longest reply, 261 bytes at 9600 bit/s (272 ms; 100 ms more for the timers).
case_endless() {
  start_sim 3 --fault silent=$(seq -s, 1 60)
  run_dump silent --port 3 --output "$work/out"
  stop_sim
  [ "$status" -eq 1 ] || fail "silent line: status $status"
  local silent_ms kind ms
  silent_ms=$(trace_span "$work/silent-trace.txt")
  for kind in zeros noise 5e; do
    start_sim 3 --endless "$kind"
    run_dump "endless-$kind" --port 3 --output "$work/out"
    stop_sim
    [ "$status" -eq 1 ] || fail "endless $kind: status $status"
    ms=$(trace_span "$work/endless-$kind-trace.txt")
    ((ms <= silent_ms + 372)) || fail "endless $kind took ${ms} ms, a silent line ${silent_ms} ms"
    echo "field: endless $kind ended with status 1 in ${ms} ms (silent line: ${silent_ms} ms)"
  done
}

# A legacy "Hi" download killed at 56000 bit/s leaves the server there; the next run,
# even at "Lo", finds it, returns it to 9600 bit/s and downloads everything.
case_stranded() {
  start_sim 4 --generation legacy --readings 400 --records clean --log "$work/stranded.json"
  "$dump" --unattended --port 4 --speed hi --output "$work/stranded" \
    --trace "$work/killed-trace.txt" >"$work/killed.out" 2>&1 &
  local pid=$!
  wait_for_trace "$work/killed-trace.txt" 'event: Loading reading 10/'
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null
  run_dump stranded --port 4 --speed lo --output "$work/stranded"
  stop_sim
  [ "$status" -eq 0 ] || fail "stranded server: status $status"
  grep -q 'a legacy server answered at 56000 bit/s' "$work/stranded-trace.txt" ||
    fail "stranded server: the trace does not say it was found at 56000 bit/s"
  grep -q '"baud":9600' "$work/stranded.json" || fail "stranded server: left at another speed"
  grep -q '"clears":1' "$work/stranded.json" || fail "stranded server: store not cleared"
  [ "$(line_count "$work/stranded/Tavric Dumps/Dump00.csv")" -eq 401 ] ||
    fail "stranded server: not every reading in the dump"
  echo "field: a legacy server left at 56000 bit/s was found and returned to 9600 bit/s"
}

# A nearly full disk (a small tmpfs in a mount namespace of this test's own): the
# previous run's dump moves on whole, by renaming, though a copy of it would not fit.
case_full_disk() {
  local disk=$work/disk
  mkdir -p "$disk"
  start_sim 5 --readings 5 --records clean
  local unshare=(unshare -m)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare -rm)
  DISK=$disk DUMP=$dump WORK=$work "${unshare[@]}" bash -c '
    mount -t tmpfs -o size=256k tmpfs "$DISK" || exit 90
    mkdir -p "$DISK/out/Tavric Dumps"
    for i in $(seq 2000); do printf "old dump line %05d\r\n" "$i"; done >"$DISK/out/Tavric Dumps/Dump00.csv"
    cp "$DISK/out/Tavric Dumps/Dump00.csv" "$WORK/old-dump00.csv"
    # Leave about 16 KiB free: less than the old dump, enough for this run.
    free=$(df -k --output=avail "$DISK" | tail -n 1)
    dd if=/dev/zero of="$DISK/filler" bs=1k count=$((free - 16)) 2>/dev/null
    timeout 300 "$DUMP" --unattended --port 5 --output "$DISK/out" \
      --trace "$WORK/full-disk-trace.txt" >"$WORK/full-disk.out" 2>"$WORK/full-disk.err"
    echo $? >"$WORK/full-disk.status"
    cp "$DISK/out/Tavric Dumps/Dump01.csv" "$WORK/new-dump01.csv" 2>/dev/null
    cp "$DISK/out/Tavric Dumps/Dump00.csv" "$WORK/new-dump00.csv" 2>/dev/null
  '
  local inner=$?
  stop_sim
  if [ "$inner" -eq 90 ]; then
    echo "field: SKIPPED full-disk: this machine lets no test mount a tmpfs"
    return
  fi
  status=$(cat "$work/full-disk.status")
  [ "$status" -eq 0 ] || fail "full disk: status $status"
  cmp -s "$work/old-dump00.csv" "$work/new-dump01.csv" ||
    fail "full disk: the previous dump did not move on whole to Dump01.csv"
  [ "$(line_count "$work/new-dump00.csv")" -eq 6 ] || fail "full disk: this run's dump"
  echo "field: on a nearly full disk the previous dump moved on whole"
}

# Two scheduled runs on two servers with one output folder: the second waits for the
# first and then runs; both dumps whole and every reading once in the probe data file.
# A second run that may not wait that long gives up, touching nothing.
case_one_folder() {
  start_sim 6 --readings 60 --records clean --seed 6
  local first_sim=$sim_pid
  start_sim 7 --readings 40 --records clean --seed 7 --log "$work/patient.json"
  local second_sim=$sim_pid
  "$dump" --unattended --port 6 --output "$work/shared" \
    --trace "$work/first-trace.txt" >"$work/first.out" 2>"$work/first.err" &
  local first=$!
  wait_for_trace "$work/first-trace.txt" 'output folder taken'
  run_dump impatient --port 7 --output "$work/shared" --folder-wait 1
  [ "$status" -eq 5 ] || fail "impatient second run: status $status, expected 5"
  grep -q 'port > ' "$work/impatient-trace.txt" && fail "impatient second run touched the port"
  run_dump patient --port 7 --output "$work/shared" --folder-wait 120
  wait "$first"
  local first_status=$?
  stop_sim "$first_sim"
  stop_sim "$second_sim"
  [ "$first_status" -eq 0 ] && [ "$status" -eq 0 ] ||
    fail "two runs on one folder: statuses $first_status and $status"
  grep -q 'output folder held by another run: waiting' "$work/patient-trace.txt" ||
    fail "the second run did not wait"
  local dumps=$work/shared/'Tavric Dumps' probe=$work/shared/'Tavric Probe Data.csv' f
  [ "$(line_count "$dumps/Dump01.csv")" -eq 61 ] && [ "$(line_count "$dumps/Dump00.csv")" -eq 41 ] ||
    fail "two runs on one folder: the dumps"
  for f in "$dumps/Dump00.csv" "$dumps/Dump01.csv" "$probe"; do
    whole_lines "$f" || fail "two runs on one folder: a torn line in $f"
  done
  [ "$(line_count "$probe")" -eq 101 ] && [ -z "$(tail -n +2 "$probe" | sort | uniq -d)" ] ||
    fail "two runs on one folder: the probe data file"
  echo "field: two runs on one folder took turns; a run that could not wait touched nothing"
}

# One device under two names: the second run cannot open it while the first has it.
case_one_device() {
  start_sim 8 --readings 60 --records clean
  mkdir -p "$work/by-id"
  ln -sf "$(pty_of 8)" "$work/by-id/usb-adapter"
  ln -sf "$work/by-id/usb-adapter" "$settings/com9"
  "$dump" --unattended --port 8 --output "$work/dev1" \
    --trace "$work/holder-trace.txt" >"$work/holder.out" 2>"$work/holder.err" &
  local holder=$!
  wait_for_trace "$work/holder-trace.txt" 'event: Loading reading 5/'
  run_dump intruder --port 9 --output "$work/dev2"
  wait "$holder"
  local holder_status=$?
  stop_sim
  [ "$holder_status" -eq 0 ] || fail "the run holding the device: status $holder_status"
  [ "$status" -eq 1 ] || fail "a second run on the same device: status $status"
  grep -q 'Port in use' "$work/intruder.err" || fail "a second run: no \"Port in use\""
  echo "field: a second run on one device under another name was told the port is in use"
}

# SIGTERM, SIGINT and SIGHUP end a run as closing the window does: status 128 + N, the
# trace ends with its exit line, the port's lock file is gone, the store is kept.
case_signals() {
  local signal expected pty lock
  for signal in TERM:143 INT:130 HUP:129; do
    expected=${signal#*:}
    signal=${signal%:*}
    start_sim 10 --readings 300 --records clean --log "$work/sig-$signal.json"
    pty=$(pty_of 10)
    lock=/run/lock/LCK..$(echo "${pty#/dev/}" | tr / _)
    "$dump" --unattended --port 10 --output "$work/sig" \
      --trace "$work/sig-$signal-trace.txt" >"$work/sig-$signal.out" 2>&1 &
    local pid=$!
    wait_for_trace "$work/sig-$signal-trace.txt" 'event: Loading reading 10/'
    [ -e "$lock" ] || fail "SIG$signal: no lock file $lock for the port while the run has it"
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    stop_sim
    [ "$status" -eq "$expected" ] || fail "SIG$signal: status $status, expected $expected"
    tail -n 1 "$work/sig-$signal-trace.txt" | grep -q " exit status $expected: " ||
      fail "SIG$signal: the trace does not end with its exit line"
    [ ! -e "$lock" ] || fail "SIG$signal: the port's lock file $lock is left behind"
    grep -q '"clears":0' "$work/sig-$signal.json" || fail "SIG$signal: the store was cleared"
    whole_lines "$work/sig/Tavric Probe Data.csv" || fail "SIG$signal: a torn line"
  done
  echo "field: SIGTERM, SIGINT and SIGHUP ended the run as a closed window, 143, 130 and 129"
}

# Legacy blocks lost while the link holds (the closing speed request is answered): the
# store is kept, the run ends with status 4 and the trace names the blocks.
case_lost_blocks() {
  # Three status requests, two speed requests, block 1; block 2 through a whole cycle.
  start_sim 11 --generation legacy --readings 40 --records clean --fault silent=7,8,9,10 \
    --log "$work/lost.json"
  run_dump lost --port 11 --speed hi --output "$work/lost"
  stop_sim
  [ "$status" -eq 4 ] || fail "lost blocks: status $status, expected 4"
  grep -q ' blocks 2 to 10 (block numbers 65 to 73) not fetched$' "$work/lost-trace.txt" ||
    fail "lost blocks: the trace does not name them"
  grep -q '^Readings Kept: 9 blocks of readings could not be fetched; they were left on the server' \
    "$work/lost.err" || fail "lost blocks: no \"Readings Kept\" on standard error"
  grep -q '"clears":0' "$work/lost.json" || fail "lost blocks: the store was cleared"
  echo "field: lost legacy blocks kept the store, status 4, the trace naming them"
}

for c in "${cases[@]}"; do
  "case_${c//-/_}"
done
