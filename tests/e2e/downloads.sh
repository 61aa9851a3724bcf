#!/usr/bin/env bash
# Whole downloads of the real program, unattended and without a display, against
# probe-server-sim on a pseudo-terminal, under stream damage and unusual stores: each
# ends with every reading once in the probe data file and the store cleared.
# Usage: downloads.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM [CASE...]
# Cases: damage end full-store slow modem (default: all; slow takes about 3 minutes).
dump=$1
sim=$2
shift 2
cases=("$@")
((${#cases[@]})) || cases=(damage end full-store slow modem)
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

# download NAME READINGS OPTION... -- SIM-OPTION...: a fresh simulator and one run into
# $work/NAME; it must end with status 0, READINGS distinct probe data lines after the
# header (any number for "-"), and the store cleared once.
download() {
  local name=$1 readings=$2 opts=()
  shift 2
  while [ "$1" != "--" ]; do
    opts+=("$1")
    shift
  done
  shift
  start_sim 5 --log "$work/$name.json" "$@"
  timeout 600 "$dump" --unattended --port 5 --output "$work/$name" \
    --trace "$work/$name-trace.txt" "${opts[@]}" >"$work/$name.out" 2>"$work/$name.err"
  status=$?
  stop_sim
  [ "$status" -eq 0 ] || fail "$name: status $status"
  local data="$work/$name/Tavric Probe Data.csv" lines distinct
  whole_lines "$data" || fail "$name: a torn line"
  lines=$(($(line_count "$data") - 1))
  distinct=$(tail -n +2 "$data" | sort -u | awk 'END { print NR }')
  [ "$readings" = - ] || [ "$lines" -eq "$readings" ] || fail "$name: $lines readings written, $readings held"
  [ "$distinct" -eq "$lines" ] || fail "$name: $((lines - distinct)) readings written twice"
  grep -q '"clears":1' "$work/$name.json" || fail "$name: the store was not cleared"
}

# Milliseconds from the bulk request to the store cleared.
bulk_ms() {
  awk '/ port > 5E FF FF 09 00 04 / && !start { start = $1 } / store cleared$/ { end = $1 }
       END { print end - start }' "$1"
}

# Frames damaged next to frames whose numbers lie, in both directions; damaged first and
# last frames; runs of damaged frames; a number repeated with another record; a frame
# sent twice.
case_damage() {
  download damage 300 --speed hi -- --readings 300 --records clean \
    --fault damage-frame=1,4,100,101,150,200,201,202,300 --fault frame-number-low=5,250 \
    --fault frame-number-high=151 --fault repeat-frame=120
  grep -q ' readings of the stream to fetch one by one$' "$work/damage-trace.txt" ||
    fail "damage: the trace does not count the single fetches"
  echo "downloads: a damaged stream with lying frame numbers brought 300 readings once each"
}

# A realistic store ends its stream at the last frame, though a kind-0 reading next to
# it fails the stream's check: no five seconds of silence are waited for.
case_end() {
  download end - --speed hi -- --readings 38 --records realistic --seed 1
  local ms
  ms=$(bulk_ms "$work/end-trace.txt")
  ((ms < 4000)) || fail "end: ${ms} ms from the bulk request to the store cleared"
  echo "downloads: a realistic store of 38 entries took ${ms} ms from request to cleared store"
}

# A full store, where the two pointers meet, and a status that counts more new readings
# than the pointers' distance: every slot counted is fetched before the store is cleared.
case_full_store() {
  local speed
  for speed in hi lo; do
    download "full-$speed" 199 --speed "$speed" -- --buffer-size 200 --readings 199 \
      --read-pointer 50 --write-pointer 50 --new-readings 200 --records clean \
      --fault damage-frame=30
    download "beyond-$speed" 40 --speed "$speed" -- --readings 40 --new-readings 50 \
      --records clean
  done
  echo "downloads: a full store and a count past the write pointer were fetched whole, Hi and Lo"
}

# A stream at half the line speed with pauses of up to 4 seconds is waited for as long
# as it brings new frames.
case_slow() {
  download slow 2000 --speed hi -- --readings 2000 --buffer-size 4000 --records clean \
    --fault slow-stream
  ! grep -q ' readings\? of the stream to fetch one by one$' "$work/slow-trace.txt" ||
    fail "slow: readings of the stream were fetched singly"
  echo "downloads: 2,000 readings at half the line speed with pauses came whole in the stream"
}

# A run through a modem sends the two status attempts at 9600 bit/s and then the modem
# dialogue: no request at 56000 bit/s for a legacy server left there.
case_modem() {
  download modem 40 --cell 0400111222 --speed hi -- --modem --readings 40 --records clean
  local before
  # Up to the bytes of "ATE0" going out.
  before=$(awk '/ port > 41 54 45 30 0D$/ { exit } / port > / { print }' "$work/modem-trace.txt" |
    grep -v -E ' port > (00|5E FF FF 03 00 10 00 0D 84|5E FF FF FF 0E 00 (09|0B|01) .*)$')
  [ -z "$before" ] || fail "modem: sent before ATE0: $before"
  ! awk '/ port > 41 54 45 30 0D$/ { exit } { print }' "$work/modem-trace.txt" | grep -q 56000 ||
    fail "modem: the port went to 56000 bit/s before ATE0"
  echo "downloads: a modem run sent only the status requests at 9600 bit/s before ATE0"
}

for c in "${cases[@]}"; do
  "case_${c//-/_}"
done
