#!/usr/bin/env bash
# One whole download against the bundled simulated server: installs what is missing,
# builds the program and the simulator, starts a simulated probe server on a
# pseudo-terminal, points port 3 of a private settings folder at it and runs the program
# until it ends by itself; then shows the files it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
Usage: scripts/demo.sh [--legacy] [--hi] [--modem] [--readings N] [--realistic]

A v5 server holding 300 readings, fetched one by one ("Lo"), unless:
  --legacy       a legacy server (its readings come in blocks of four)
  --hi           the "Hi" speed option: one bulk stream from a v5 server, or
                 56000 bit/s for the blocks of a legacy server
  --modem        a v5 server behind a cell modem: the program finds the modem,
                 dials and fetches through the call (50 readings unless
                 --readings); the SIM needs no PIN and the number to dial is
                 given on the command line, so nothing is asked
  --readings N   the number of readings the server holds
  --realistic    readings as the field gives them, with settings entries, a few
                 damaged records and some low batteries: the run ends with the
                 "Low Batteries" message, which waits for OK
  -h, --help     this text

On a desktop the program's window shows. Without a display it draws off screen
and, with nobody to answer a message, runs with --unattended: its messages are
printed instead. Everything the run writes goes to a fresh folder under /tmp,
named at the end; your own settings are not touched.
EOF
}

generation=v5 speed=0 modem=0 readings= records=clean
while (($# > 0)); do
  case $1 in
    --legacy) generation=legacy ;;
    --hi) speed=1 ;;
    --modem) modem=1 ;;
    --readings)
      [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "demo: --readings needs a number" >&2; exit 64; }
      readings=$2
      shift
      ;;
    --realistic) records=realistic ;;
    -h | --help) usage; exit 0 ;;
    *) echo "demo: unknown option $1" >&2; usage >&2; exit 64 ;;
  esac
  shift
done
if ((modem)) && [ "$generation" = legacy ]; then
  echo "demo: a server behind a cell modem is always a v5 server; --legacy and --modem exclude each other" >&2
  exit 64
fi
readings=${readings:-$( ((modem)) && echo 50 || echo 300)}

scripts/install-deps.sh

build=build-demo
echo "demo: building the program and the simulator in $build ..."
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target probe-server-dump probe-server-sim
dump=$PWD/$build/probe-server-dump
sim=$PWD/$build/probe-server-sim

# A private home for the run: settings (with the port link), trace and output.
demo=$(mktemp -d /tmp/probe-server-demo.XXXXXX)
export XDG_CONFIG_HOME=$demo/config XDG_STATE_HOME=$demo/state XDG_DATA_HOME=$demo/data
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=$demo/run
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
settings=$XDG_CONFIG_HOME/RNQ7
output=$demo/output
mkdir -p "$settings" "$output"
printf '[Startup]\nPort=3\nSpeed=%s\n' "$speed" >"$settings/RNQ7.conf"

sim_args=(--generation "$generation" --readings "$readings" --records "$records")
# A v5 store keeps one slot free: a larger count than the default store holds gets a
# store that fits it (the simulator refuses more than 65534).
if [ "$generation" = v5 ] && ((readings > 999)); then
  sim_args+=(--buffer-size "$((readings < 65535 ? readings + 1 : 65535))")
fi
dump_args=(--output "$output")
if ((modem)); then
  sim_args+=(--modem --dial-delay 3 --call-delay 0.2)
  dump_args+=(--cell 0400111222)
fi

sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
}
trap stop_sim EXIT
"$sim" --port 3 --settings-dir "$settings" --log "$demo/server-log.json" "${sim_args[@]}" \
  >"$demo/server.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  [ -L "$settings/com3" ] && break
  sleep 0.1
done
[ -L "$settings/com3" ] || {
  sed 's/^/  /' "$demo/server.out" >&2
  echo "demo: the simulator did not start (its words above)" >&2
  exit 1
}
echo "demo: $(head -n 1 "$demo/server.out" | sed 's/^probe-server-sim: //'), linked as port 3"

display=0
if [ -n "${WAYLAND_DISPLAY:-}" ] || { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  display=1
fi
echo "demo: running probe-server-dump $( ((display)) && echo "in its window" || echo "off screen, unattended") ..."
status=0
if ((display)); then
  "$dump" "${dump_args[@]}" || status=$?
else
  QT_QPA_PLATFORM=offscreen timeout 900 "$dump" --unattended "${dump_args[@]}" || status=$?
fi
stop_sim

show() {
  local what=$1 file=$2
  if [ -f "$file" ]; then
    printf '\n%s: %s (%d lines)\n' "$what" "$file" "$(awk 'END { print NR }' "$file")"
    head -n 4 "$file" | tr -d '\r' | sed 's/^/  /'
  else
    printf '\n%s: none was written (%s)\n' "$what" "$file"
  fi
}
case $status in
  0) meaning="the run kept its link to its end" ;;
  1) meaning="no server found, or the link to it was lost" ;;
  2) meaning="an output file failed" ;;
  3) meaning="the modem dialogue failed" ;;
  130) meaning="the window was closed" ;;
  *) meaning="see the trace" ;;
esac
echo
echo "demo: probe-server-dump ended with status $status: $meaning"
show "Dump file" "$output/Tavric Dumps/Dump00.csv"
show "Probe data file" "$output/Tavric Probe Data.csv"
echo
echo "Trace of the run: $(ls "$XDG_STATE_HOME"/RNQ7/traces/trace-*.txt 2>/dev/null | head -n 1)"
echo "Saved settings:   $settings/RNQ7.conf"
echo "Server's log:     $demo/server-log.json (the requests it received, its store at the end)"
exit "$status"
