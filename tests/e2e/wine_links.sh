#!/usr/bin/env bash
# The Windows program under Wine on an output folder where someone planted a link under
# a name the run writes (its trace there too), pointing at a file outside: that file is
# never written, and the run either puts a file of its own in the link's place or ends
# with status 2 and leaves the store alone.
# Usage: wine_links.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM WINEPREFIX
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$@"

names=("Tavric Probe Data.csv" "Tavric Probe Data.kept" "Tavric Probe Data.kept.new"
  "Tavric Probe Data.html" "Tavric Probe Data.html.new" "Tavric Download.lock"
  "Tavric Dumps/Dump00.csv" "Tavric Dumps/Dump01.csv" "trace.txt")
victim_text="someone else's file"
n=0
for name in "${names[@]}"; do
  n=$((n + 1))
  dir=$work/links-$n
  out=$dir/out
  mkdir -p "$out/Tavric Dumps"
  echo "$victim_text" >"$dir/victim"
  ln -s "$dir/victim" "$out/$name"
  start_sim "$dir" --readings 5 --records clean --log "$dir/sim.json"
  ln -sfn "$(readlink "$dir/cfg/com$com")" "$WINEPREFIX/dosdevices/com$com"
  timeout 300 "$wine" "$exe" --unattended --port "$com" --speed lo --output "$(win_path "$out")" \
    --trace "$(win_path "$out/trace.txt")" >"$dir/run.out" 2>"$dir/run.err"
  status=$?
  stop_sim
  [ "$(cat "$dir/victim")" = "$victim_text" ] || fail "$name: the file the link points to was written"
  case $status in
  0) grep -q '"clears":1' "$dir/sim.json" || fail "$name: status 0, store not cleared" ;;
  2) grep -q '"clears":0' "$dir/sim.json" || fail "$name: status 2, store cleared" ;;
  *) fail "$name: status $status" ;;
  esac
  echo "wine links: a link planted as '$name': status $status, the file it points to untouched"
done
echo "wine links: passed"
