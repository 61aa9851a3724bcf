#!/usr/bin/env bash
# The real program, unattended, through a simulated cell modem whose echo stays on after
# "ATE0", with a PIN from a file: the run completes, and the PIN shows nowhere, neither
# in the trace (text or hex, both directions), nor on standard error or output, nor in
# any file of the run. A wrong PIN is refused without showing either.
# Usage: pin_echo.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
dump=$1
sim=$2
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

# pin_run NAME PIN: a run with PIN in its PIN file against a SIM locked by 4826; sets status.
pin_run() {
  echo "$2" >"$work/$1.pin"
  chmod 600 "$work/$1.pin"
  start_sim 4 --modem --pin 4826 --fault echo-stays-on --dial-delay 0.5 --call-delay 0.1 \
    --readings 4
  timeout 120 "$dump" --unattended --port 4 --output "$work/out-$1" --cell 0400111222 \
    --pin-file "$work/$1.pin" --trace "$work/$1-trace.txt" >"$work/$1.out" 2>"$work/$1.err"
  status=$?
  stop_sim
  grep -q 'modem < AT+CPIN="\*\*\*\*"' "$work/$1-trace.txt" || fail "$1: the echo is not in the trace"
  # The bytes received, joined again from the notes of each read.
  awk '/ port < / { sub(/.* port < /, ""); printf "%s ", $0 }' "$work/$1-trace.txt" |
    grep -q '22 \*\* \*\* \*\* \*\* 22' || fail "$1: echoed bytes not hidden"
}

pin_run right 4826
[ "$status" -eq 0 ] || fail "right PIN: status $status"
pin_run wrong 1397
[ "$status" -eq 3 ] || fail "wrong PIN: status $status"
for pin in 4826 1397; do
  hex=$(printf '%s' "$pin" | od -An -tx1 | tr 'a-f' 'A-F' | sed 's/^ //')
  ! grep -rqF -e "$pin" -e "$hex" "$work"/*-trace.txt "$work"/*.err "$work"/*.out "$work"/out-* ||
    fail "the PIN $pin shows"
done
echo "pin echo: a modem that echoes the PIN command: status 0 with the right PIN, 3 with a wrong one, the PIN nowhere"
