#!/usr/bin/env bash
# The Windows program under Wine against probe-server-sim on a pseudo-terminal seen as
# COM3: a v5 "Lo" run, a v5 "Hi" run, a legacy "Lo" run and a modem run with a PIN, each
# ending with status 0 and writing the same files, byte for byte, as the Linux program
# against the same simulated server (same records, seed and clock). Wine turns 56000
# bit/s into a standard speed, so the legacy "Hi" path is left to the test host.
# Usage: wine.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM WINEPREFIX

source "$(dirname "$0")/wine_lib.sh"

wine_setup "$@"
started=$SECONDS

# A program with a window and no console writes to the handles it is given: a bad value
# is told on standard error with status 64, the version on standard output, through a pipe.
"$wine" "$exe" --speed fast >"$work/usage.out" 2>"$work/usage.err"
status=$?
[ "$status" -eq 64 ] || fail "bad value: status $status, expected 64"
[ "$(head -n 1 "$work/usage.err")" = "probe-server-dump: --speed: 'fast' is neither lo nor hi" ] ||
  fail "bad value: first line of standard error: $(head -n 1 "$work/usage.err")"
[ "$("$wine" "$exe" --version | cat)" = "probe-server-dump $(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")" ] ||
  fail "--version through a pipe"
records=(--records realistic --seed 11 --clock '2026-03-01 09:00:00')

# both NAME SIM-OPTIONS -- DUMP-OPTIONS: the same run on Linux and under Wine.
both() {
  local name=$1 t=$SECONDS
  shift
  linux_run "$name" "$@"
  wine_start "$name" "$@"
  wine_wait
  [ "$wine_status" -eq 0 ] || fail "$name under Wine: status $wine_status"
  same_files "$name"
  tr -d '\r' <"$wdir/trace.txt" | grep -q ' store cleared$' || fail "$name: the store was not cleared"
  echo "wine e2e $name: status 0, files as on Linux ($((SECONDS - t)) s)"
}

both v5-lo --readings 60 "${records[@]}" -- --unattended --port "$com" --speed lo
both v5-hi --readings 200 "${records[@]}" -- --unattended --port "$com" --speed hi
both legacy-lo --generation legacy --readings 40 "${records[@]}" -- \
  --unattended --port "$com" --speed lo
printf '4711\r\n' >"$work/pin.txt"
both modem-pin --modem --pin 4711 --dial-delay 1 --call-delay 0.05 --readings 30 "${records[@]}" \
  -- --unattended --port "$com" --speed lo --cell 0400111222 --pin-file "$work/pin.txt"

echo "wine e2e: 4 runs passed in $((SECONDS - started)) s"
