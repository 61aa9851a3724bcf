#!/usr/bin/env bash
# The Windows program under Wine as the field meets it: two runs on one device under two
# COM numbers (the second is told the port is in use), and two runs on one output folder
# (a second run that may not wait exits with status 5 without touching its port).
# Usage: wine_field.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM WINEPREFIX

source "$(dirname "$0")/wine_lib.sh"

wine_setup "$@"
started=$SECONDS
other=$((com + 1))
trap 'rm -f "$WINEPREFIX/dosdevices/com$other"; wine_cleanup' EXIT

# second NAME OPTION...: a second Windows program beside the running one, to its end;
# its status in second_status, its files in $work/NAME.
second() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  timeout 120 "$wine" "$exe" --unattended --trace "$(win_path "$work/$name/trace.txt")" "$@" \
    >"$work/$name/run.out" 2>"$work/$name/run.err"
  second_status=$?
}

# One device, two names: COM4 is a second link to the pseudo-terminal the first run has.
wine_start one-device --readings 80 --records clean -- --unattended --port "$com" --speed lo
wait_trace 'event: Loading reading 5/'
ln -sfn "$(readlink "$WINEPREFIX/dosdevices/com$com")" "$WINEPREFIX/dosdevices/com$other"
second intruder --port "$other" --speed lo --output "$(win_path "$work/intruder/out")"
holder_dir=$wdir
wine_wait
[ "$wine_status" -eq 0 ] || fail "the run holding the device: status $wine_status"
[ "$second_status" -eq 1 ] || fail "a second run on the same device: status $second_status"
tr -d '\r' <"$work/intruder/run.err" | grep -q 'Port in use' ||
  fail "a second run on the same device: no \"Port in use\": $(cat "$work/intruder/run.err")"
tr -d '\r' <"$holder_dir/trace.txt" | grep -q ' store cleared$' ||
  fail "the run holding the device did not finish"
echo "wine field: a second run on one device under another number was told the port is in use"

# One folder: the first run holds it; a second run that may wait one second gives up.
wine_start one-folder --readings 80 --records clean -- --unattended --port "$com" --speed lo
wait_trace 'event: Loading reading 5/'
second impatient --port "$other" --output "$(win_path "$wdir/out")" --folder-wait 1
wine_wait
[ "$wine_status" -eq 0 ] || fail "the run holding the folder: status $wine_status"
[ "$second_status" -eq 5 ] || fail "a second run on the same folder: status $second_status"
! tr -d '\r' <"$work/impatient/trace.txt" | grep -q 'port > ' ||
  fail "a second run on the same folder touched its port"
[ "$(tr -d '\r' <"$wdir/out/Tavric Probe Data.csv" | wc -l)" -eq 81 ] ||
  fail "the run holding the folder: not 80 readings in the probe data file"
echo "wine field: a second run on one folder gave up after its wait, touching nothing"

echo "wine field: passed in $((SECONDS - started)) s"
