# Helpers for the end-to-end runs of the Windows program under Wine against
# probe-server-sim on a pseudo-terminal, which Wine sees as COM3: a private Wine prefix,
# a virtual X server, the simulator linked as the port, and the Linux program run
# against the same simulated server for comparison. Sourced by wine.sh and
# wine_screenshots.sh; every process started here is ended by the EXIT trap.

set -uo pipefail

readonly wine_title='Tavric Probe Server - Download'
readonly com=3

# wine_setup EXE LINUX-DUMP SIM PREFIX: a fresh work folder, Xvfb, and the Wine prefix
# PREFIX (made when missing; it is kept between runs, as it takes a while to make).
wine_setup() {
  exe=$1
  linux_dump=$2
  sim=$3
  export WINEPREFIX=$4
  wine=${TAVRIC_WINE:-/usr/lib/wine/wine64}
  command -v "$wine" >/dev/null || wine=$(command -v wine64 || command -v wine)
  wineserver=$(dirname "$wine")/wineserver
  command -v "$wineserver" >/dev/null || wineserver=$(command -v wineserver)
  export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
  work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-wine.XXXXXX")
  xvfb_pid= sim_pid= run_pid=
  trap wine_cleanup EXIT
  start_display
  mkdir -p "$WINEPREFIX"
  # One server for every run, its chatter kept out of the test's output.
  "$wineserver" -p 600 >"$work/wineserver.log" 2>&1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
  fi
  set_dpi 96
  app_data=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local
}

wine_cleanup() {
  local pid
  for pid in "$run_pid" "$sim_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # Gone before the next script starts its own server for the same prefix.
  [ -n "${wineserver:-}" ] && { "$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null; }
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com$com"
  if [ -n "${E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}

fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$work"/*/*.err "$work"/*/sim.out "$work"/*/trace.txt; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
  done
  exit 1
}

start_display() {
  Xvfb -displayfd 3 -screen 0 1600x1000x24 -dpi 96 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local _
  for _ in $(seq 100); do
    grep -q . "$work/display" 2>/dev/null && break
    sleep 0.1
  done
  grep -q . "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=:$(cat "$work/display")
}

# set_dpi DPI: the scale Windows programs see from the next launch on (96 is 100%).
set_dpi() {
  local key
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
      fail "cannot set LogPixels"
  done
}

# win_path PATH: the Windows name of a Linux path, through Wine's drive Z:.
win_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# start_sim DIR OPTION...: probe-server-sim in DIR, its pseudo-terminal linked in DIR/cfg.
start_sim() {
  local dir=$1
  shift
  mkdir -p "$dir/cfg"
  "$sim" --port "$com" --settings-dir "$dir/cfg" --exit-after-idle 60 "$@" >"$dir/sim.out" 2>&1 &
  sim_pid=$!
  local _
  for _ in $(seq 100); do
    [ -L "$dir/cfg/com$com" ] && return 0
    sleep 0.1
  done
  fail "probe-server-sim did not link com$com"
}

stop_sim() {
  [ -n "$sim_pid" ] || return 0
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=
}

# linux_run NAME SIM-OPTIONS -- DUMP-OPTIONS: the Linux program, unattended and without a
# display, against a fresh simulator; its files in $work/NAME/linux.
linux_run() {
  local name=$1 sim_args=() status
  shift
  while [ "$1" != -- ]; do sim_args+=("$1"); shift; done
  shift
  local dir=$work/$name/linux
  mkdir -p "$dir/out"
  start_sim "$dir" "${sim_args[@]}"
  (
    export HOME=$dir XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state
    export XDG_DATA_HOME=$dir/data XDG_RUNTIME_DIR=$dir
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    mkdir -p "$XDG_CONFIG_HOME/RNQ7"
    ln -s "$(readlink "$dir/cfg/com$com")" "$XDG_CONFIG_HOME/RNQ7/com$com"
    timeout 300 "$linux_dump" --unattended --port "$com" --output "$dir/out" "$@" \
      >"$dir/run.out" 2>"$dir/run.err"
  )
  status=$?
  stop_sim
  [ "$status" -eq 0 ] || fail "$name on Linux: status $status"
}

# wine_start NAME SIM-OPTIONS -- DUMP-OPTIONS: the Windows program under Wine against a
# fresh simulator seen as COM3, in the background (run_pid); its files in
# $work/NAME/windows, its trace in trace.txt there.
wine_start() {
  local name=$1 sim_args=()
  shift
  while [ "$1" != -- ]; do sim_args+=("$1"); shift; done
  shift
  wdir=$work/$name/windows
  mkdir -p "$wdir/out"
  start_sim "$wdir" "${sim_args[@]}"
  ln -sfn "$(readlink "$wdir/cfg/com$com")" "$WINEPREFIX/dosdevices/com$com"
  "$wine" "$exe" --output "$(win_path "$wdir/out")" --trace "$(win_path "$wdir/trace.txt")" "$@" \
    >"$wdir/run.out" 2>"$wdir/run.err" &
  run_pid=$!
}

# wine_wait [SECONDS]: waits for the program; wine_status is its exit status.
wine_wait() {
  timeout "${1:-300}" tail --pid="$run_pid" -f /dev/null || fail "the program did not end"
  wait "$run_pid"
  wine_status=$?
  run_pid=
  stop_sim
}

# wait_trace PATTERN [SECONDS]: until the Windows run's trace has a line matching PATTERN.
wait_trace() {
  local deadline=$((SECONDS + ${2:-60}))
  while ((SECONDS < deadline)); do
    grep -Eq "$1" "$wdir/trace.txt" 2>/dev/null && return 0
    kill -0 "$run_pid" 2>/dev/null || break
    sleep 0.05
  done
  fail "the trace never showed /$1/"
}

# same_files NAME: the Windows run wrote the same dump and probe data files, byte for
# byte, as the Linux run.
same_files() {
  local f
  for f in 'Tavric Dumps/Dump00.csv' 'Tavric Probe Data.csv'; do
    [ -s "$work/$1/linux/out/$f" ] || fail "$1: the Linux run wrote no $f"
    cmp -s "$work/$1/linux/out/$f" "$work/$1/windows/out/$f" ||
      fail "$1: $f differs from the Linux program's"
  done
}

# snap FILE [TITLE]: a PNG of the shown window titled TITLE (the main window by default).
snap() {
  local id
  id=$(timeout 30 xdotool search --sync --onlyvisible --name "^${2:-$wine_title}\$" 2>/dev/null |
    head -n 1)
  [ -n "$id" ] || fail "no window titled \"${2:-$wine_title}\""
  sleep 0.3
  import -window "$id" "$1" || fail "no screenshot $1"
}
