#!/usr/bin/env bash
# Getting connected, with the real program against probe-server-sim on pseudo-terminals:
# the ports listed (one linked under a by-id style name), a device named with --port, a
# port link that leads nowhere, a port the user may not use, no display, and --status
# against a v5 server, a legacy server and a modem, each left as it was.
# Usage: ports.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
dump=$1
sim=$2
. "$(dirname "$0")/e2e_lib.sh"
e2e_init
chmod 755 "$work"

# jq QUERY LOG: one value of a simulator's log, compact.
logged() { jq -c "$1" "$2"; }

# 1. The ports listed: a simulator's pty, linked as com3 through a by-id style name.
start_sim 3 --readings 12 --records clean --log "$work/named.json"
pty=$(pty_of 3)
by_id=$work/by-id/usb-Tavric_Probe_Sim_0001-if00-port0
mkdir -p "$work/by-id" && ln -s "$pty" "$by_id" && ln -sfn "$by_id" "$settings/com3"
"$dump" --list-ports >"$work/list.out" 2>"$work/list.err" || fail "--list-ports: status $?"
head -n 1 "$work/list.out" | grep -q '^Port  Device  *Stable name  *What it is$' ||
  fail "--list-ports: no heading"
grep -Eq "^ +3  $pty +$by_id  linked as $settings/com3\$" "$work/list.out" ||
  fail "--list-ports: com3 not listed with its device and stable name"

# 2. The device named by its stable name: the number of its link, for this run only.
out=$work/out
"$dump" --unattended --port "$by_id" --output "$out" --trace "$work/named-trace.txt" \
  >"$work/named.out" 2>"$work/named.err"
status=$?
stop_sim
rm -f "$settings/com3"  # pseudo-terminal numbers come round again
[ "$status" -eq 0 ] || fail "--port BY-ID: status $status"
grep -q " port com3 ($pty) opened at 9600,n,8,1\$" "$work/named-trace.txt" ||
  fail "--port BY-ID: not opened as com3"
[ "$(line_count "$out/Tavric Probe Data.csv")" -eq 13 ] || fail "--port BY-ID: not 12 readings"

# 3. A port link that leads nowhere (a simulator killed outright) is said to, and where.
ln -s "$work/gone/pts" "$settings/com7"
"$dump" --unattended --port 7 --trace "$work/dangling-trace.txt" >/dev/null 2>"$work/dangling.err"
status=$?
[ "$status" -eq 1 ] || fail "dangling link: status $status"
grep -q "^ERROR: Cannot open com7 | The port's link $settings/com7 leads nowhere ($work/gone/pts is gone" \
  "$work/dangling.err" || fail "dangling link: not said"

# 4. A port the user may not use: the group that may, and a new login.
start_sim 5 --readings 3 --records clean
pty=$(pty_of 5)
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 600 "$pty"
  mkdir -p "$work/nobody" && chown 65534:65534 "$work/nobody"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
else
  chmod 000 "$pty"
  mkdir -p "$work/nobody"
fi
"${as_user[@]}" env -i HOME="$work/nobody" XDG_CONFIG_HOME="$XDG_CONFIG_HOME" \
  ASAN_OPTIONS=detect_leaks=0 "$dump" --unattended --port 5 >/dev/null 2>"$work/denied.err"
status=$?
stop_sim
[ "$status" -eq 1 ] || fail "no permission: status $status"
grep -Eq "^ERROR: Cannot open com5 \| Permission denied on $pty: only members of the group [a-z]+ may use it\. Join it once \(sudo usermod -aG [a-z]+ \\\$USER\), then log out and in again\. \|" \
  "$work/denied.err" || fail "no permission: no remedy"

# 5. No display and no --unattended: one line, status 69, never an abort.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dump" --port 3 >/dev/null 2>"$work/nodisplay.err"
status=$?
[ "$status" -eq 69 ] || fail "no display: status $status"
[ "$(line_count "$work/nodisplay.err")" -eq 1 ] &&
  grep -q '^probe-server-dump: no display to show the window on (.*); to run without one, add --unattended' \
    "$work/nodisplay.err" || fail "no display: not one line that says what to do"
# A display that cannot be opened is said the same way, where the toolkit would abort.
DISPLAY=:97 WAYLAND_DISPLAY= "$dump" --port 3 >/dev/null 2>"$work/baddisplay.err"
status=$?
[ "$status" -eq 69 ] || fail "display that cannot be opened: status $status"
[ "$(cat "$work/baddisplay.err")" = "probe-server-dump: no display to show the window on (the display :97 cannot be opened); to run without one, add --unattended and give the port with --port" ] ||
  fail "display that cannot be opened: not one line that says what to do"

# 6. --status against each generation and through the modem, on a device with no number
# of its own: what the server holds, and nothing asked of it beyond its status.
check_status() {  # NAME EXPECTED-FIRST-LINES... ; the simulator runs on port 6
  local name=$1
  shift
  local dev
  dev=$(pty_of 6)
  rm -f "$settings/com6"
  "$dump" --status --unattended --port "$dev" --output "$work/status-out" "${cell[@]}" \
    --trace "$work/$name-trace.txt" >"$work/$name.out" 2>"$work/$name.err"
  status=$?
  stop_sim
  [ "$status" -eq 0 ] || fail "--status $name: status $status"
  local expected
  expected=$(printf '%s\n' "$@")
  [ "$(head -n $# "$work/$name.out" | sed "s|$dev|DEVICE|")" = "$expected" ] ||
    fail "--status $name: $(cat "$work/$name.out")"
  grep -q '^line speed: 9600,n,8,1$' "$work/$name.out" || fail "--status $name: no line speed"
  [ "$(logged '[.store.clears, (.store.clock_sets | length)]' "$work/$name.json")" = '[0,0]' ] ||
    fail "--status $name: clock set or store cleared"
  [ ! -e "$work/status-out" ] || fail "--status $name: output folder touched"
  grep -q " status check: $1\$" "$work/$name-trace.txt" || fail "--status $name: not traced"
}
cell=()
start_sim 6 --readings 30 --records clean --log "$work/v5.json"
check_status v5 "server: v5, on com999" "readings waiting: 30" \
  "store: 1000 slots, read pointer 0, write pointer 30"
[ "$(logged '[.requests[].command]' "$work/v5.json")" = '[16]' ] || fail "--status v5: fetched"
start_sim 6 --generation legacy --readings 20 --records clean --log "$work/legacy.json"
check_status legacy "server: legacy, on com999" "new data: 5 blocks of four readings waiting"
[ "$(logged '[.requests[].command]' "$work/legacy.json")" = '[9,11,1]' ] ||
  fail "--status legacy: fetched"
cell=(--cell 0400111222)
start_sim 6 --modem --readings 10 --records clean --log "$work/modem.json"
check_status modem "server: v5, on com999, through the cell modem calling 0400111222" \
  "readings waiting: 10"
[ "$(logged '[.requests[].command]' "$work/modem.json")" = '[16]' ] || fail "--status modem: fetched"
[ "$(logged '.modem.commands[-1]' "$work/modem.json")" = '"ATH"' ] || fail "--status modem: no hang-up"

echo "ports end-to-end: listed, named, explained, no display, status of three servers"
