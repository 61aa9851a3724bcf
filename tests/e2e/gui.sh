#!/usr/bin/env bash
# The real program with its window in a virtual X server, against probe-server-sim on a
# pseudo-terminal: prompts answered and boxes confirmed with xdotool as a person does,
# then the output files, the simulator's log (what it received, what its store holds)
# and the saved settings checked. Screenshots of the window go to SHOT-DIR.
# Usage: gui.sh CASE PROBE-SERVER-DUMP PROBE-SERVER-SIM SHOT-DIR
# CASE: first-launch v5-lo-then-hi legacy-hi modem-pin no-comms low-batteries window-closed

source "$(dirname "$0")/gui_lib.sh"

# The server clock was set once, to the computer's clock: v5 counts 15-second steps since
# 2000-01-01 00:00:00 local time.
check_v5_clock_set() {
  local sets now sent
  sets=$(log '.store.clock_sets')
  [ "$(jq length <<<"$sets")" -eq 1 ] || fail "clock set $sets times"
  now=$((($(date +%s) - $(date -d '2000-01-01 00:00:00' +%s)) / 15))
  sent=$(jq '.[0]' <<<"$sets")
  ((sent - now <= 1 && now - sent <= 4)) || fail "clock set to step $sent, the computer is at $now"
}

# Slots fetched one by one, in order.
single_fetches() {
  log '[.requests[] | select(.command == 19) | .args[0] * 256 + .args[1]]'
}

case_first_launch() {
  start_display
  start_sim 4 --readings 20 --records clean
  launch
  wait_window 'Serial Port'
  snap e2e-prompt@1x "$main_win" "$win"
  answer 'Serial Port' 4
  wait_exit
  stop_sim
  [ "$exit_status" -eq 0 ] || fail "status $exit_status"
  [ "$(setting Port)" = 4 ] || fail "Port saved as '$(setting Port)'"
  [ "$(setting Speed)" = 0 ] || fail "Speed saved as '$(setting Speed)'"
  check_whole "$dumps/Dump00.csv" "$dump_header" 20
  check_whole "$probe_data" "$data_header" 20
  [ "$(single_fetches)" = "$(jq -c -n '[range(20)]')" ] || fail "fetched $(single_fetches)"
  [ "$(commands)" = "$(jq -c -n '[16] + [range(20) | 19] + [10, 9]')" ] || fail "$(commands)"
  check_v5_clock_set
  [ "$(log '[.store.clears, .store.new_readings]')" = '[1,0]' ] || fail "store not emptied"
}

# Lo fetches the new readings one by one; the next launch finds none new, the user picks
# "Hi" and asks for the same readings again, which come in one bulk stream: both runs must
# write the same lines.
case_v5_lo_then_hi() {
  start_display
  save_settings Port=3 Speed=0
  start_sim 3 --readings 120 --records clean
  launch
  wait_trace 'event: Opened com3 OK'
  snap e2e-connecting@1x "$main_win"
  wait_trace 'event: Loading reading 40/120'
  snap e2e-downloading@1x "$main_win"
  wait_exit
  [ "$exit_status" -eq 0 ] || fail "Lo: status $exit_status"
  [ "$(setting Speed)" = 0 ] || fail "Lo: Speed saved as '$(setting Speed)'"
  check_whole "$dumps/Dump00.csv" "$dump_header" 120
  cp "$dumps/Dump00.csv" "$work/lo.csv"

  launch
  # The "Hi" option, clicked while the program is still looking for the server.
  xdotool mousemove --window "$main_win" $((307 * ${QT_SCALE_FACTOR:-1})) \
    $((42 * ${QT_SCALE_FACTOR:-1})) click 1
  answer 'No Readings' 120
  wait_exit
  stop_sim
  [ "$exit_status" -eq 0 ] || fail "Hi: status $exit_status"
  [ "$(setting Speed)" = 1 ] || fail "Hi: Speed saved as '$(setting Speed)'"
  cmp -s "$dumps/Dump01.csv" "$work/lo.csv" || fail "Dump01.csv is not the Lo run's dump"
  cmp -s "$dumps/Dump00.csv" "$work/lo.csv" || fail "the bulk stream wrote other lines"
  check_whole "$probe_data" "$data_header" 240
  cmp -s <(sed -n 2,121p "$probe_data") <(sed -n 122,241p "$probe_data") ||
    fail "the probe data of the two runs differ"
  [ "$(commands)" = "$(jq -c -n '[16] + [range(120) | 19] + [10, 9, 16, 4, 10, 9]')" ] ||
    fail "$(commands)"
  # The bulk request starts 120 slots back from the write position: slot 0.
  [ "$(log '[.requests[] | select(.command == 4) | .args[4] * 256 + .args[5]]')" = '[0]' ] ||
    fail "bulk request from another slot"
  [ "$(log '[.store.frames_sent, .store.clears, .store.new_readings]')" = '[120,2,0]' ] ||
    fail "store: $(log .store.frames_sent) frames, $(log .store.clears) clears"
}

# "Hi" on a legacy server: server and port move to 56000 bit/s for the blocks and back.
case_legacy_hi() {
  start_display 2
  save_settings Port=2 Speed=1
  start_sim 2 --generation legacy --readings 400 --records clean
  launch
  wait_trace 'event: Loading reading 30/100'
  snap e2e-downloading@2x "$main_win"
  wait_exit
  stop_sim
  [ "$exit_status" -eq 0 ] || fail "status $exit_status"
  [ "$(setting Speed)" = 1 ] || fail "Speed saved as '$(setting Speed)'"
  check_whole "$dumps/Dump00.csv" "$dump_header" 400
  check_whole "$probe_data" "$data_header" 400
  local speeds blocks
  # Status at 9600; "go fast" at 9600 and again at 56000; the blocks; "go slow" at 56000;
  # clock and clearing back at 9600.
  speeds=$(log '[.requests[] | select(.command == 14) | [.args[0], .baud]]')
  [ "$speeds" = '[[1,9600],[1,56000],[0,56000]]' ] || fail "speed requests $speeds"
  blocks=$(log '[.requests[] | select(.command == 0) | .baud] | unique')
  [ "$blocks" = '[56000]' ] || fail "blocks fetched at $blocks"
  [ "$(log '[.requests[] | select(.command == 0)] | length')" -eq 100 ] || fail "not 100 blocks"
  [ "$(log '[.requests[] | select(.command == 3 or .command == 10 or .command == 12) | .baud] | unique')" = '[9600]' ] ||
    fail "clock or clearing not at 9600"
  [ "$(log '[.store.baud, .store.clears, .store.blocks]')" = '[9600,1,0]' ] ||
    fail "store: $(log .store)"
}

# A modem in front of the server, with a SIM that needs its PIN.
case_modem_pin() {
  start_display 2
  save_settings Port=5 Speed=0
  start_sim 5 --modem --pin 4711 --dial-delay 1 --call-delay 0.05 --readings 30 --records clean
  launch
  wait_trace 'event: Opened com5 OK'
  snap e2e-connecting@2x "$main_win"
  wait_window 'Pin Code'
  snap e2e-prompt@2x "$main_win" "$win"
  answer 'Pin Code' 4711
  answer 'Cell Number' ' 0400111222 '
  wait_exit
  stop_sim
  [ "$exit_status" -eq 0 ] || fail "status $exit_status"
  [ "$(setting Cell)" = 0400111222 ] || fail "Cell saved as '$(setting Cell)'"
  local modem
  modem=$(log '.modem | [.sim_unlocked, .calls, .hangups, .in_call]')
  [ "$modem" = '[true,1,1,false]' ] || fail "modem: $(log .modem)"
  log '.modem.commands' | grep -q '"AT+CPIN=\\"4711\\""' || fail "no PIN: $(log .modem.commands)"
  # Dialled as typed, saved trimmed.
  [ "$(log '.modem.dialled')" = '["0400111222"]' ] || fail "dialled $(log .modem.dialled)"
  grep -q ' modem > ATD 0400111222 $' "$(trace_file)" || fail "not dialled as typed"
  [ "$(commands)" = "$(jq -c -n '[16] + [range(30) | 19] + [10, 9]')" ] || fail "$(commands)"
  check_whole "$dumps/Dump00.csv" "$dump_header" 30
  ! grep -Eq '[^0-9 ]4711|34 37 31 31' "$(trace_file)" || fail "the PIN shows in the trace"
}

# The server stops answering after its 31st request: status and 30 readings.
case_no_comms() {
  start_display
  save_settings Port=6 Speed=0
  start_sim 6 --readings 60 --records clean --fault dies-after=31
  launch
  local text
  box_text 'NO COMMS'
  text=$box_said
  [ "$text" = 'The data download could not be completed. The communications to the server has been lost.' ] ||
    fail "NO COMMS box says: $text"
  press_ok 'NO COMMS'
  wait_exit
  stop_sim
  [ "$exit_status" -eq 1 ] || fail "status $exit_status"
  check_whole "$dumps/Dump00.csv" "$dump_header" 30
  check_whole "$probe_data" "$data_header" 30
  # Reading 31 was asked for until the program gave up; nothing after it.
  [ "$(log '[.requests[31:][] | .command] | unique')" = '[19]' ] || fail "$(commands)"
  [ "$(log '[.store.clears, (.store.clock_sets | length), .store.new_readings, .store.read_pointer]')" = '[0,0,60,0]' ] ||
    fail "the store was not kept: $(log '.store | del(.slots)')"
  [ "$(setting Port)" = 6 ] || fail "Port saved as '$(setting Port)'"
}

# Realistic records: low batteries among them, and settings entries and bad records.
case_low_batteries() {
  start_display
  save_settings Port=7 Speed=1
  # The records are drawn along a timeline from the server's clock: a fixed clock gives the
  # same records every time, six units with low batteries among them.
  start_sim 7 --readings 100 --records realistic --seed 1 --clock '2026-03-01 09:00:00'
  launch
  local text expected
  box_text 'Low Batteries'
  text=$box_said
  press_ok 'Low Batteries'
  wait_exit
  stop_sim
  [ "$exit_status" -eq 0 ] || fail "status $exit_status"
  [ "$(log '[.store.frames_sent, .store.clears]')" = '[100,1]' ] || fail "store: $(log .store.clears)"
  # Every unit whose battery read from 2.2 V up to (not including) 3.4 V in the dump,
  # once, at its lowest, in the order of its first low reading.
  expected=$(awk -F, 'NR > 1 && NF == 19 && $17 + 0 >= 2.2 && $17 + 0 < 3.4 && $1 + 0 > 0 {
      id = $1 + 0; v = $17 + 0
      if (!(id in low)) { order[++n] = id; low[id] = v } else if (v < low[id]) low[id] = v
    }
    END { for (i = 1; i <= n; i++) printf "%s%d (%.1fV)", (i > 1 ? ", " : ""), order[i], low[order[i]] }' \
    "$dumps/Dump00.csv")
  [ "$(grep -o V <<<"$expected" | wc -l)" -eq 6 ] || fail "low batteries in the dump: $expected"
  [ "$text" = "The following units have low battery readings: | $expected" ] ||
    fail "Low Batteries box says: $text; expected $expected"
}

# The window closed in the middle of a download: the program ends at once with status 130,
# sends nothing more, and leaves whole files and the chosen speed.
case_window_closed() {
  start_display
  start_wm
  save_settings Port=8 Speed=0
  start_sim 8 --readings 300 --records clean
  launch
  wait_trace 'event: Loading reading 50/300'
  xdotool mousemove --window "$main_win" 307 42 click 1
  wmctrl -i -c "$main_win"
  wait_exit 30
  sleep 1
  stop_sim
  [ "$exit_status" -eq 130 ] || fail "status $exit_status"
  local trace fetched
  trace=$(trace_file)
  sed -n '/ window closed$/,$p' "$trace" | grep -q ' port > ' && fail "bytes sent after the close"
  [ "$(log '[.requests[] | select(.command != 19 and .command != 16)] | length')" -eq 0 ] ||
    fail "clock or clearing sent: $(commands)"
  [ "$(log '[.store.clears, .store.new_readings]')" = '[0,300]' ] || fail "store not kept"
  fetched=$(($(lines "$dumps/Dump00.csv") - 1))
  ((fetched >= 50 && fetched < 300)) || fail "$fetched readings in the dump"
  check_whole "$dumps/Dump00.csv" "$dump_header" "$fetched"
  check_whole "$probe_data" "$data_header" "$fetched"
  [ "$(setting Speed)" = 1 ] || fail "Speed saved as '$(setting Speed)'"
}

name=$1
shift
e2e_setup "$@"
started=$SECONDS
"case_${name//-/_}"
echo "e2e $name: passed in $((SECONDS - started)) s"
