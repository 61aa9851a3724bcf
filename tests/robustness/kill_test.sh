#!/usr/bin/env bash
# Crash safety: SIGKILLs the real program at random moments of real runs against
# probe-server-sim (v5 and legacy, "Lo" and "Hi"), then checks that every dump and
# probe data file holds whole CR LF lines only, that the probe data file kept what it
# held before, and, from the simulator's log of its store, that a cleared store lost no
# reading: every reading of the uninterrupted run of the same scenario is in the probe
# data file once and in the dump file. Two runs go on at a time.
#
# Usage: kill_test.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM [KILLS]
# KILL_SEED=N repeats the moments of an earlier run.
set -uo pipefail

dump=$1
sim=$2
kills=${3:-50}
seed=${KILL_SEED:-$$}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
RANDOM=$seed
echo "kill test: seed $seed, $kills kills"

export HOME=$work/home XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

scenarios=(v5-lo v5-hi legacy-lo legacy-hi)
sim_options() {
  case $1 in
    v5-*) echo "--generation v5 --readings 24" ;;
    legacy-*) echo "--generation legacy --readings 40" ;;
  esac
}
speed() { echo "${1##*-}"; }

# Output left by earlier runs: the rotation and the appending have work to do.
seed_output() {
  mkdir -p "$1/Tavric Dumps"
  printf 'Probe ,RecNo\r\nold run 1\r\n' >"$1/Tavric Dumps/Dump00.csv"
  printf 'Probe ,RecNo\r\nold run 2\r\n' >"$1/Tavric Dumps/Dump01.csv"
  printf 'Probe, Date\r\nold reading\r\n' >"$1/Tavric Probe Data.csv"
}

# One run of scenario $2 in folder $1 on port $3; SIGKILLed after $4 seconds unless
# $4 is empty. Prints the program's exit status (137 when the kill hit it).
trial() {
  local dir=$1 scenario=$2 port=$3 delay=$4
  mkdir -p "$dir/out"
  seed_output "$dir/out"
  export XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state XDG_DATA_HOME=$dir/data
  local settings=$XDG_CONFIG_HOME/RNQ7
  # shellcheck disable=SC2046
  "$sim" --port "$port" --settings-dir "$settings" --records clean --seed 5 \
    --clock '2012-03-04 14:00:00' --log "$dir/log.json" --exit-after-idle 60 \
    $(sim_options "$scenario") >"$dir/sim.out" 2>&1 &
  local sim_pid=$!
  for _ in $(seq 100); do
    [ -L "$settings/com$port" ] && break
    sleep 0.05
  done
  timeout 60 "$dump" --unattended --port "$port" --speed "$(speed "$scenario")" \
    --output "$dir/out" >"$dir/dump.out" 2>&1 &
  local dump_pid=$!
  if [ -n "$delay" ]; then
    sleep "$delay"
    kill -KILL "$dump_pid" 2>/dev/null
  fi
  wait "$dump_pid"
  local status=$?
  kill -TERM "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  echo "$status"
}

# Whole lines: the file ends with a line feed, and every line ends with its only CR.
whole_lines() {
  [ -s "$1" ] || return 0
  [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' \n')" = "0a" ] || return 1
  LC_ALL=C awk '!/^[^\r]*\r$/ { bad = 1 } END { exit bad }' "$1"
}

# Checks trial folder $1 against the reference of its scenario, $2. Prints nothing when
# all holds, otherwise what broke.
check() {
  local dir=$1 ref=$2 f
  for f in "$dir/out/Tavric Probe Data.csv" "$dir/out/Tavric Dumps"/*.csv; do
    whole_lines "$f" || echo "torn line in ${f#"$dir/"}"
  done
  local probe="$dir/out/Tavric Probe Data.csv"
  [ "$(head -n 2 "$probe" | od -c)" = "$(printf 'Probe, Date\r\nold reading\r\n' | od -c)" ] ||
    echo "the probe data file lost its earlier lines"
  tail -n +3 "$probe" | LC_ALL=C sort >"$dir/probe.new"
  [ -z "$(LC_ALL=C uniq -d "$dir/probe.new")" ] || echo "a reading written twice"
  [ -z "$(LC_ALL=C comm -23 <(LC_ALL=C sort -u "$dir/probe.new") "$ref/probe.new")" ] ||
    echo "a probe data line that is no reading of the store"
  if ! grep -q '"clears":[1-9]' "$dir/log.json" 2>/dev/null; then
    [ -s "$dir/log.json" ] || echo "no simulator log"
    return
  fi
  cmp -s "$dir/probe.new" "$ref/probe.new" || echo "store cleared without every reading once"
  tail -n +2 "$dir/out/Tavric Dumps/Dump00.csv" | LC_ALL=C sort >"$dir/dump.new"
  [ -z "$(LC_ALL=C comm -13 "$dir/dump.new" "$ref/dump.new")" ] ||
    echo "store cleared without every reading in the dump file"
}

# Uninterrupted runs: the readings of each scenario and how long a run takes.
declare -A duration
for scenario in "${scenarios[@]}"; do
  ref=$work/ref-$scenario
  start=$(date +%s.%N)
  status=$(trial "$ref" "$scenario" 40 "")
  duration[$scenario]=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  tail -n +3 "$ref/out/Tavric Probe Data.csv" | LC_ALL=C sort >"$ref/probe.new"
  tail -n +2 "$ref/out/Tavric Dumps/Dump00.csv" | LC_ALL=C sort >"$ref/dump.new"
  if [ "$status" != 0 ] || ! grep -q '"clears":1' "$ref/log.json" ||
    [ ! -s "$ref/probe.new" ] || [ -n "$(check "$ref" "$ref")" ]; then
    echo "FAIL: the uninterrupted $scenario run did not complete (status $status)"
    cat "$ref/dump.out" "$ref/sim.out"
    exit 1
  fi
  printf 'kill test: %s runs %.1f s, %d readings\n' "$scenario" "${duration[$scenario]}" \
    "$(wc -l <"$ref/probe.new")"
done

# Two lanes of trials, each until it has its share of kills.
lane() {
  local lane=$1 want=$2 port=$((40 + $1)) n=0 hit=0
  RANDOM=$((seed + lane))
  while ((hit < want && n < want * 3)); do
    n=$((n + 1))
    local scenario=${scenarios[RANDOM % 4]}
    # Half the moments anywhere in the run, half in its last third, where the files
    # are written, closed and the store cleared.
    local delay
    delay=$(awk -v d="${duration[$scenario]}" -v r=$RANDOM -v late=$((RANDOM % 2)) \
      'BEGIN { f = r / 32768; if (late) f = 0.67 + 0.38 * f; printf "%.3f", d * f }')
    local dir=$work/lane$lane-$n
    local status
    status=$(trial "$dir" "$scenario" "$port" "$delay")
    [ "$status" = 137 ] && hit=$((hit + 1))
    local problems
    problems=$(check "$dir" "$work/ref-$scenario")
    local cleared=kept
    grep -q '"clears":[1-9]' "$dir/log.json" 2>/dev/null && cleared=cleared
    echo "$scenario $delay $status $cleared ${problems//$'\n'/; }" >>"$work/results"
    [ -z "$problems" ] && rm -rf "$dir"
  done
}
lane 1 $(((kills + 1) / 2)) &
lane 2 $((kills / 2)) &
wait

killed=$(awk '$3 == 137' "$work/results" | wc -l)
runs=$(wc -l <"$work/results")
cleared=$(awk '$3 == 137 && $4 == "cleared"' "$work/results" | wc -l)
bad=$(awk 'NF > 4' "$work/results")
echo "kill test: $runs runs, $killed killed ($cleared of them after the store was cleared)," \
  "$(echo "$bad" | grep -c . ) with a broken file or a lost reading"
if [ -n "$bad" ]; then
  echo "FAIL:"
  echo "$bad"
  exit 1
fi
if ((killed < kills)); then
  echo "FAIL: only $killed kills hit a running program"
  exit 1
fi
