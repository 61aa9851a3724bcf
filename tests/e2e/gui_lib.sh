# Helpers for the end-to-end tests that drive the real program in a virtual X server:
# a private home per test, Xvfb, probe-server-sim on a pseudo-terminal, dialogs found by
# their titles and answered with xdotool, screenshots, and checks of the files, the
# simulator's log and the saved settings. Sourced by gui.sh; every process started
# here is ended by the EXIT trap, also when a check fails.

set -uo pipefail

readonly main_title='Tavric Probe Server - Download'

# e2e_setup DUMP SIM SHOT_DIR: a private home under a fresh work folder; the program is
# copied into its own folder there, so that its output files land beside it as they do
# for a user.
e2e_setup() {
  dump_src=$1
  sim=$2
  shot_dir=$3
  work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-gui.XXXXXX")
  xvfb_pid= wm_pid= sim_pid= dump_pid=
  trap e2e_cleanup EXIT
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
  export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
  export QT_AUTO_SCREEN_SCALE_FACTOR=0
  # Qt's own allocations at exit are not this program's leaks.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/app" "$shot_dir"
  chmod 700 "$XDG_RUNTIME_DIR"
  settings=$XDG_CONFIG_HOME/RNQ7
  mkdir -p "$settings"
  app=$work/app
  cp "$dump_src" "$app/probe-server-dump"
  dumps=$app/'Tavric Dumps'
  probe_data=$app/'Tavric Probe Data.csv'
}

e2e_cleanup() {
  local pid
  for pid in "$dump_pid" "$sim_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # E2E_KEEP=1 keeps the work folder (settings, files, trace, the simulator's log).
  if [ -n "${E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}

fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$work"/dump.err "$work"/sim.out "$XDG_STATE_HOME"/RNQ7/traces/trace-*.txt; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
  done
  exit 1
}

# start_display [SCALE]: a virtual screen at 96 DPI; SCALE (e.g. 2) scales the program's
# window as a high-density desktop does.
start_display() {
  local scale=${1:-1}
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
  [ "$scale" = 1 ] || export QT_SCALE_FACTOR=$scale
}

# start_wm: a window manager, for what only a window manager does (closing a window
# through its frame).
start_wm() {
  openbox >"$work/wm.log" 2>&1 &
  wm_pid=$!
  local _
  for _ in $(seq 100); do
    wmctrl -m >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "the window manager did not start"
}

# start_sim PORT OPTION...: probe-server-sim linked as port PORT, logging to sim.json.
start_sim() {
  local port=$1
  shift
  rm -f "$work/sim.json"
  "$sim" --port "$port" --settings-dir "$settings" --log "$work/sim.json" \
    --exit-after-idle 120 "$@" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  local _
  for _ in $(seq 100); do
    [ -L "$settings/com$port" ] && return 0
    sleep 0.1
  done
  fail "probe-server-sim did not link com$port"
}

# stop_sim: ends the simulator, which then writes its log.
stop_sim() {
  [ -n "$sim_pid" ] || return 0
  kill "$sim_pid" 2>/dev/null
  timeout 10 tail --pid="$sim_pid" -f /dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=
  [ -s "$work/sim.json" ] || fail "the simulator wrote no log"
}

# save_settings LINE...: the settings file as a user's earlier runs left it.
save_settings() {
  printf '%s\n' '[Startup]' "$@" >"$settings/RNQ7.conf"
}

# setting KEY: a saved value of section Startup.
setting() {
  sed -n "/^\[Startup\]/,/^\[/s/^$1=//p" "$settings/RNQ7.conf" 2>/dev/null | tr -d '"'
}

# launch: starts the program as a user does, from its own folder with no options, and
# waits for its window; main_win is the window's id.
launch() {
  rm -rf "$XDG_STATE_HOME/RNQ7/traces"
  "$app/probe-server-dump" >"$work/dump.out" 2>"$work/dump.err" &
  dump_pid=$!
  wait_window "$main_title"
  main_win=$win
}

# wait_window TITLE [SECONDS]: win is the id of the shown window with exactly this title.
wait_window() {
  win=$(timeout "${2:-60}" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [ -n "$win" ] || fail "no window titled \"$1\""
}

# answer TITLE TEXT: types TEXT into the prompt titled TITLE and presses Return.
answer() {
  wait_window "$1"
  xdotool windowfocus --sync "$win"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 30 "$2"
  xdotool key Return
}

# box_text TITLE: waits for the message box titled TITLE; box_said is its text as the
# trace of the run noted it, line breaks shown as " | ".
box_text() {
  wait_window "$1"
  box_said=$(sed -n "s/^ *[0-9]* message \"$1\": //p" "$(trace_file)")
}

# press_ok TITLE: presses Return on the message box titled TITLE.
press_ok() {
  wait_window "$1"
  xdotool windowfocus --sync "$win"
  xdotool key Return
}

trace_file() {
  local f
  for f in "$XDG_STATE_HOME"/RNQ7/traces/trace-*.txt; do
    [ -f "$f" ] && echo "$f"
  done | head -n 1
}

# wait_trace PATTERN [SECONDS]: until the run's trace has a line matching PATTERN.
wait_trace() {
  local deadline=$((SECONDS + ${2:-60})) f
  while ((SECONDS < deadline)); do
    f=$(trace_file)
    [ -n "$f" ] && grep -Eq "$1" "$f" && return 0
    kill -0 "$dump_pid" 2>/dev/null || break
    sleep 0.05
  done
  fail "the trace never showed /$1/"
}

# wait_exit [SECONDS]: waits for the program; exit_status is its status.
wait_exit() {
  timeout "${1:-90}" tail --pid="$dump_pid" -f /dev/null || fail "the program did not end"
  wait "$dump_pid"
  exit_status=$?
  dump_pid=
}

# snap NAME WINDOW...: a PNG of the part of the screen that the windows cover.
snap() {
  local name=$1 x0=100000 y0=100000 x1=0 y1=0 id X Y WIDTH HEIGHT
  shift
  sleep 0.2
  for id in "$@"; do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    ((X < x0)) && x0=$X
    ((Y < y0)) && y0=$Y
    ((X + WIDTH > x1)) && x1=$((X + WIDTH))
    ((Y + HEIGHT > y1)) && y1=$((Y + HEIGHT))
  done
  import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$shot_dir/$name.png" ||
    fail "no screenshot $name"
}

# lines FILE: its number of lines.
lines() {
  [ -f "$1" ] && awk 'END { print NR }' "$1" || echo 0
}

# check_whole FILE HEADER READINGS: FILE holds HEADER and READINGS more lines, each
# ending with CR LF.
check_whole() {
  [ -f "$1" ] || fail "$1 is missing"
  [ "$(head -n 1 "$1" | tr -d '\r')" = "$2" ] || fail "$1: header $(head -n 1 "$1")"
  [ "$(lines "$1")" -eq $(($3 + 1)) ] || fail "$1: $(lines "$1") lines, expected $(($3 + 1))"
  [ "$(grep -c $'\r$' "$1")" -eq $(($3 + 1)) ] || fail "$1: a line without CR LF"
  [ -z "$(tail -c 2 "$1" | tr -d '\r\n')" ] || fail "$1: the last line is cut short"
}

readonly dump_header='Probe ,RecNo,Date               ,T1,SM1,T2,SM2,T3,SM3,T4,SM4,T5,SM5,T6,SM6,Temp,Volts,PwrFail'
readonly data_header='Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,Water%4,Temp5,Water%5,Temp6,Water%6,Volts'

# log QUERY: a jq query of the simulator's log, compact.
log() {
  jq -c "$1" "$work/sim.json"
}

# commands: the commands the server received, in order, one line.
commands() {
  log '[.requests[].command]'
}
