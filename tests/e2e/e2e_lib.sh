# Helpers for the end-to-end tests that run the real program unattended, without a
# display, against probe-server-sim on pseudo-terminals: a private home per test, the
# simulators started and ended, and what a failure shows. Sourced by the test scripts;
# every process started here is ended by the EXIT trap, also when a check fails.

set -uo pipefail

# e2e_init: a fresh work folder with a private home, settings, state and data folders.
e2e_init() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/e2e.XXXXXX")
  sim_pids=()
  trap e2e_cleanup EXIT
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
  export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
  # Qt's own allocations at exit are not this program's leaks.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  settings=$XDG_CONFIG_HOME/RNQ7
}

e2e_cleanup() {
  local pid
  for pid in "${sim_pids[@]}" $(jobs -p); do
    kill "$pid" 2>/dev/null
  done
  wait 2>/dev/null
  # E2E_KEEP=1 keeps the work folder.
  if [ -n "${E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}

fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$work"/*.err "$work"/*.out "$work"/*trace*.txt; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
  done
  exit 1
}

# start_sim PORT [OPTION...]: probe-server-sim on a new pseudo-terminal linked as comPORT;
# its output goes to $work/sim-PORT.out, and sim_pid is its process.
start_sim() {
  local port=$1
  shift
  rm -f "$settings/com$port"
  "$sim" --port "$port" --settings-dir "$settings" --exit-after-idle 60 "$@" \
    >"$work/sim-$port.out" 2>&1 &
  sim_pid=$!
  sim_pids+=("$sim_pid")
  local _
  for _ in $(seq 100); do
    [ -L "$settings/com$port" ] && return 0
    sleep 0.1
  done
  fail "probe-server-sim did not link com$port"
}

# stop_sim [PID]: ends a simulator (the last one started by default), which then writes
# its --log.
stop_sim() {
  local pid=${1:-$sim_pid}
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# pty_of PORT: the pseudo-terminal a simulator serves as comPORT.
pty_of() { readlink "$settings/com$1"; }

line_count() { if [ -f "$1" ]; then awk 'END { print NR }' "$1"; else echo 0; fi; }

# seconds_since T0: seconds since a `date +%s.%N` reading.
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'; }

# Whole lines: the file ends with a line feed, and every line ends with its only CR.
whole_lines() {
  [ -s "$1" ] || return 0
  [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' \n')" = "0a" ] || return 1
  LC_ALL=C awk '!/^[^\r]*\r$/ { bad = 1 } END { exit bad }' "$1"
}
