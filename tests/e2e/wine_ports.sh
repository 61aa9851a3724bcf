#!/usr/bin/env bash
# The Windows program under Wine with two COM ports, each a probe-server-sim on a
# pseudo-terminal given to Wine as COM5 and COM6 in its own port settings: --list-ports
# lists both with the device that serves them, and --status finds a v5 server on COM5
# and a legacy server on COM6 and tells what they hold, asking them for nothing else.
# Usage: wine_ports.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM WINEPREFIX

source "$(dirname "$0")/wine_lib.sh"

wine_setup "$@"
other_sim=
ports_cleanup() {
  [ -n "$other_sim" ] && kill "$other_sim" 2>/dev/null && wait "$other_sim" 2>/dev/null
  # The prefix is kept between runs: the ports go with this test.
  for port in COM5 COM6; do
    "$wine" reg delete 'HKLM\Software\Wine\Ports' /v "$port" /f >/dev/null 2>&1
  done
  wine_cleanup
}
trap ports_cleanup EXIT

start_sim "$work/v5" --readings 25 --records clean --log "$work/v5/sim.json"
start_sim_b() {
  mkdir -p "$work/legacy/cfg"
  "$sim" --port "$com" --settings-dir "$work/legacy/cfg" --exit-after-idle 60 --generation legacy \
    --readings 8 --records clean --log "$work/legacy/sim.json" >"$work/legacy/sim.out" 2>&1 &
  other_sim=$!
  for _ in $(seq 100); do [ -L "$work/legacy/cfg/com$com" ] && return 0; sleep 0.1; done
  fail "the second probe-server-sim did not link com$com"
}
start_sim_b
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$(readlink "$work/v5/cfg/com$com")" \
  /f >/dev/null 2>&1 || fail "reg add COM5"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM6 /t REG_SZ \
  /d "$(readlink "$work/legacy/cfg/com$com")" /f >/dev/null 2>&1 || fail "reg add COM6"
# Wine takes up its ports when it starts.
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
"$wineserver" -p 600 >>"$work/wineserver.log" 2>&1

"$wine" "$exe" --list-ports >"$work/list.out" 2>"$work/list.err" || fail "--list-ports: status $?"
tr -d '\r' <"$work/list.out" >"$work/list.txt"
head -n 1 "$work/list.txt" | grep -q '^Port  Device  Stable name  What it is$' ||
  fail "--list-ports: no heading: $(cat "$work/list.txt")"
for n in 5 6; do
  grep -Eq "^ +$n  COM$n  +-  +\\\\Device\\\\" "$work/list.txt" ||
    fail "--list-ports: COM$n not listed: $(cat "$work/list.txt")"
done

# status NAME PORT: --status against the simulator seen as PORT.
status() {
  "$wine" "$exe" --status --unattended --port "$2" --output "$(win_path "$work/$1/out")" \
    --trace "$(win_path "$work/$1/trace.txt")" >"$work/$1/run.out" 2>"$work/$1/run.err"
  local s=$?
  [ "$s" -eq 0 ] || fail "--status $1: status $s"
  tr -d '\r' <"$work/$1/run.out" >"$work/$1/status.txt"
  [ ! -e "$work/$1/out" ] || fail "--status $1: output folder touched"
}
status v5 COM5
status legacy 6
stop_sim
kill "$other_sim" && wait "$other_sim" 2>/dev/null
other_sim=
[ "$(head -n 3 "$work/v5/status.txt")" = "$(printf '%s\n' 'server: v5, on com5' \
  'readings waiting: 25' 'store: 1000 slots, read pointer 0, write pointer 25')" ] ||
  fail "--status v5: $(cat "$work/v5/status.txt")"
[ "$(head -n 2 "$work/legacy/status.txt")" = "$(printf '%s\n' 'server: legacy, on com6' \
  'new data: 2 blocks of four readings waiting')" ] ||
  fail "--status legacy: $(cat "$work/legacy/status.txt")"
[ "$(jq -c '[.requests[].command]' "$work/v5/sim.json")" = '[16]' ] || fail "--status v5: fetched"
[ "$(jq -c '[.requests[].command]' "$work/legacy/sim.json")" = '[9,11,1]' ] ||
  fail "--status legacy: fetched"
for name in v5 legacy; do
  [ "$(jq -c '[.store.clears, (.store.clock_sets | length)]' "$work/$name/sim.json")" = '[0,0]' ] ||
    fail "--status $name: clock set or store cleared"
done
echo "wine e2e ports: COM5 and COM6 listed; --status of a v5 and a legacy server, nothing fetched"
