#!/usr/bin/env bash
# Screenshots of the window at the same moment of a run (reading 40 of 120 of a v5 "Lo"
# download): the Windows program under Wine at 100%, 150% and 200% (96, 144 and 192 DPI),
# and the Linux program at 100% and 200%, into SHOT-DIR; then the "Serial Port" prompt of a
# first launch under Wine, answered by typing as a person does, with the port saved in the
# registry.
# Usage: wine_screenshots.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM
#        WINEPREFIX SHOT-DIR

source "$(dirname "$0")/wine_lib.sh"

shots=$5
wine_setup "$1" "$2" "$3" "$4"
mkdir -p "$shots"
run=(--readings 120 --records clean)
moment='event: Loading reading 40/120'

for dpi in 96 144 192; do
  set_dpi "$dpi"
  wine_start "windows-$dpi" "${run[@]}" -- --port "$com" --speed lo
  wait_trace "$moment"
  snap "$shots/windows-$((dpi * 100 / 96)).png"
  wine_wait
  [ "$wine_status" -eq 0 ] || fail "the run at $dpi DPI: status $wine_status"
done
set_dpi 96

# The Linux program in the same virtual display, at 100% and at 200%.
for scale in 1 2; do
  dir=$work/linux-$scale
  mkdir -p "$dir/out"
  start_sim "$dir" "${run[@]}"
  (
    export HOME=$dir XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state XDG_DATA_HOME=$dir/data
    export XDG_RUNTIME_DIR=$dir ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} QT_QPA_PLATFORM=xcb
    export QT_SCALE_FACTOR=$scale
    mkdir -p "$XDG_CONFIG_HOME/RNQ7"
    ln -s "$(readlink "$dir/cfg/com$com")" "$XDG_CONFIG_HOME/RNQ7/com$com"
    exec "$linux_dump" --port "$com" --speed lo --output "$dir/out" --trace "$dir/trace.txt" \
      >"$dir/run.out" 2>"$dir/run.err"
  ) &
  run_pid=$!
  wdir=$dir
  wait_trace "$moment"
  snap "$shots/linux-$((scale * 100)).png"
  wine_wait
  [ "$wine_status" -eq 0 ] || fail "the Linux run at $((scale * 100))%: status $wine_status"
done

# A first launch: no saved port, so the program asks for it.
"$wine" reg delete 'HKCU\Software\VB and VBA Program Settings\RNQ7' /f >/dev/null 2>&1
wine_start prompt --readings 5 --records clean --
snap "$shots/windows-prompt-100.png" 'Serial Port'
prompt=$(xdotool search --onlyvisible --name '^Serial Port$' | head -n 1)
xdotool type --window "$prompt" --delay 50 "$com"
xdotool key --window "$prompt" Return
wine_wait 120
[ "$wine_status" -eq 0 ] || fail "the first launch: status $wine_status"
saved=$("$wine" reg query 'HKCU\Software\VB and VBA Program Settings\RNQ7\Startup' /v Port |
  tr -d '\r' | awk '$1 == "Port" { print $3 }')
[ "$saved" = "$com" ] || fail "Port saved as '$saved'"
echo "wine screenshots: $(ls "$shots" | xargs)"
