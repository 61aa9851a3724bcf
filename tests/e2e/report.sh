#!/usr/bin/env bash
# The chart page as the field gets it: a whole run against probe-server-sim with
# realistic records writes it, --report writes it again without touching a port, and
# Debian's chromium opens it headless, draws every chart without a script error, and
# takes the screenshot. The page names the run's low batteries as the run's message
# does, and flags the probe the simulator let miss rounds and the one it let fall silent.
# Usage: report.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM SCREENSHOT.png
dump=$1
sim=$2
screenshot=$3
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

page_name="Tavric Probe Data.html"

# browser ARGS...: headless chromium with a fresh profile, nothing fetched from outside.
browser() {
  local profile
  profile=$(mktemp -d "$work/chromium.XXXXXX")
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" "$@"
}

page_url() { echo "file://$(printf '%s' "$1" | sed 's/ /%20/g')"; }

# 1. A run that brings readings writes the page beside the probe data file.
out=$work/out
mkdir -p "$out"
start_sim 5 --readings 600 --records realistic --seed 3 --exit-after-idle 30
timeout 300 "$dump" --unattended --port 5 --speed hi --output "$out" --trace "$work/run-trace.txt" \
  >"$work/run.out" 2>"$work/run.err"
status=$?
stop_sim
[ "$status" -eq 0 ] || fail "run: status $status, expected 0"
[ -s "$out/$page_name" ] || fail "run: no chart page"
[ ! -e "$out/$page_name.new" ] || fail "run: the temporary page was left behind"
grep -q "chart page \".*\" written: [1-9][0-9]* readings of [1-9][0-9]* probes, 0 lines skipped" \
  "$work/run-trace.txt" || fail "run: the trace does not tell the page"
readings=$(($(line_count "$out/Tavric Probe Data.csv") - 1))
grep -q ">$readings readings of " "$out/$page_name" || fail "page: not $readings readings"

# The low batteries of the last run: the units and values of the run's own message.
said=$(sed -n 's/^Low Batteries: The following units have low battery readings: | //p' "$work/run.err")
[ -n "$said" ] || fail "run: no Low Batteries message"
listed=$(grep -o '<span id="low-batteries">[^<]*</span>' "$out/$page_name" | sed 's/<[^>]*>//g')
[ "$listed" = "$said" ] || fail "page: low batteries '$listed', the run said '$said'"

# Each probe's spacing, read from the probe data file: the one that stops earliest is
# silent, the one with the longest spacing has a gap, and a probe that lost no two
# readings in a row is flagged for neither.
python3 - "$out/Tavric Probe Data.csv" >"$work/spacing.txt" <<'PY' || fail "probe data: $(cat "$work/spacing.txt")"
import datetime, statistics, sys
times = {}
for line in open(sys.argv[1], encoding="ascii").read().splitlines()[1:]:
    f = line.split(",")
    times.setdefault(int(f[0]), set()).add(datetime.datetime.strptime(f[1].strip(), "%Y/%m/%d %H:%M:%S"))
newest = max(max(t) for t in times.values())
silent = min(times, key=lambda p: max(times[p]))
longest = {}
for p, t in times.items():
    t = sorted(t)
    longest[p] = max(b - a for a, b in zip(t, t[1:]))
gap = max(longest, key=longest.get)
usual = statistics.median(b - a for a, b in zip(sorted(times[gap]), sorted(times[gap])[1:]))
# Lost single readings (a damaged record, a settings entry) are no gap.
regular = [p for p in times if p not in (silent, gap) and longest[p] < 2.2 * usual and
           newest - max(times[p]) < 2 * usual]
assert newest - max(times[silent]) > 3 * usual, "no probe fell silent"
assert longest[gap] > 3 * usual, "no probe missed rounds"
assert regular, "no probe reported every round"
print(silent, gap, regular[0])
PY
read -r silent_probe gap_probe regular_probe <"$work/spacing.txt"
reasons() { grep -o "<tr data-probe=\"$1\"[^>]*data-reasons=\"[^\"]*\"" "$out/$page_name" | sed 's/.*data-reasons="//; s/"$//'; }
case " $(reasons "$silent_probe") " in *" silent "*) ;; *) fail "page: probe $silent_probe not silent" ;; esac
case " $(reasons "$gap_probe") " in *" gaps "*) ;; *) fail "page: probe $gap_probe has no gap" ;; esac
case " $(reasons "$regular_probe") " in
  *" silent "* | *" gaps "*) fail "page: probe $regular_probe flagged: $(reasons "$regular_probe")" ;;
esac
grep -q "<tr data-probe=\"$silent_probe\"" "$out/$page_name" || fail "page: no row of $silent_probe"

# 2. On demand: the same page again, no port touched, status 0.
before=$(md5sum <"$out/$page_name")
timeout 60 "$dump" --report --output "$out" --trace "$work/report-trace.txt" \
  >"$work/report.out" 2>"$work/report.err"
status=$?
[ "$status" -eq 0 ] || fail "--report: status $status, expected 0"
grep -q "^probe-server-dump: chart page written: $out/$page_name ($readings readings of" \
  "$work/report.out" || fail "--report: no word of the page on standard output"
! grep -q ' port ' "$work/report-trace.txt" || fail "--report: a port was touched"
[ "$(md5sum <"$out/$page_name")" != "$before" ] || fail "--report: the page was not rewritten"

# A folder without probe data gives a page that says so; a folder that is not there
# gives status 2, and the folder is not made.
mkdir -p "$work/empty"
timeout 60 "$dump" --report --output "$work/empty" >"$work/empty.out" 2>"$work/empty.err" ||
  fail "--report in an empty folder: status $?"
grep -q "is not in this folder yet" "$work/empty/$page_name" || fail "empty folder: page says nothing"
timeout 60 "$dump" --report --output "$work/missing" >"$work/missing.out" 2>"$work/missing.err"
status=$?
[ "$status" -eq 2 ] || fail "--report into a missing folder: status $status, expected 2"
grep -q "^probe-server-dump: chart page not written: " "$work/missing.err" ||
  fail "--report into a missing folder: not told why"
[ ! -e "$work/missing" ] || fail "--report made the output folder"

# 3. The browser draws every chart of the first probe, without a script error.
url=$(page_url "$out/$page_name")
browser --enable-logging=stderr --v=0 --dump-dom "$url" >"$work/dom.html" 2>"$work/dom-browser.err"
body=$(grep -o '<body[^>]*>' "$work/dom.html")
[ -n "$body" ] || fail "browser: no page drawn"
case $body in
  *data-error=*) fail "browser: script error: $body" ;;
  *'data-drawn="3"'*) ;;
  *) fail "browser: the charts did not draw: $body" ;;
esac
! grep -E 'CONSOLE.*(Error|Uncaught)' "$work/dom-browser.err" || fail "browser: errors on the console"

mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
# The probe the simulator let miss rounds, its gap shaded on its charts.
browser --hide-scrollbars --window-size=1280,1220 --screenshot="$screenshot" "$url#probe-$gap_probe" \
  >"$work/shot.out" 2>"$work/shot.err"
[ "$(stat -c %s "$screenshot" 2>/dev/null || echo 0)" -gt 50000 ] || fail "browser: no screenshot"

echo "chart page end-to-end: written after the run and with --report; low batteries '$listed' as the run said; probe $silent_probe silent, $gap_probe with a gap; drawn in $(
  echo "$body" | sed -n 's/.*data-draw-ms="\([0-9]*\)".*/\1/p') ms; screenshot $screenshot"
