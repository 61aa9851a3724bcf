#!/usr/bin/env bash
# The Windows program under Wine, whose serial driver takes 56000 bit/s on a
# pseudo-terminal as 38400: a legacy "Hi" download finds that before it asks the server
# to move, keeps both sides at 9600 bit/s, says so in the trace, and fetches everything.
# Usage: wine_downloads.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM WINEPREFIX

source "$(dirname "$0")/wine_lib.sh"

wine_setup "$@"
started=$SECONDS

wine_start speed --generation legacy --readings 40 --records clean \
  --log "$work/speed.json" -- --unattended --port "$com" --speed hi
wine_wait
[ "$wine_status" -eq 0 ] || fail "legacy Hi: status $wine_status"
trace=$(tr -d '\r' <"$wdir/trace.txt")
taken=$(grep -o 'the port runs at [0-9]* bit/s when set to 56000 bit/s' <<<"$trace" | head -n 1)
[ -n "$taken" ] || fail "legacy Hi: the trace does not say which speed the port took"
grep -q 'the download stays at 9600 bit/s' <<<"$trace" ||
  fail "legacy Hi: the trace does not say the download stayed at 9600 bit/s"
grep -q ' port > 5E FF FF FF 0E 00 0E ' <<<"$trace" &&
  fail "legacy Hi: the server was asked to change its speed"
grep -q '"clears":1' "$work/speed.json" || fail "legacy Hi: the store was not cleared"
grep -q '"baud":9600' "$work/speed.json" || fail "legacy Hi: the server was left at another speed"
[ "$(tr -d '\r' <"$wdir/out/Tavric Probe Data.csv" | wc -l)" -eq 41 ] ||
  fail "legacy Hi: not 40 readings in the probe data file"
echo "wine downloads: $taken; the blocks came at 9600 bit/s, status 0"
echo "wine downloads: passed in $((SECONDS - started)) s"
