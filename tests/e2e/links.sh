#!/usr/bin/env bash
# The real program, unattended, on an output folder that other users may write, where
# someone planted a link under a name the run writes (its trace there too), pointing at
# a file of the user who runs it: that file is never written, and the run either puts a
# file of its own in the link's place or ends with status 2 and leaves the store alone.
# Run as root, it checks as root and then again as the unprivileged user nobody.
# Usage: links.sh PROBE-SERVER-DUMP PROBE-SERVER-SIM
dump=$(readlink -f "$1")
sim=$(readlink -f "$2")
. "$(dirname "$0")/e2e_lib.sh"
e2e_init
chmod 755 "$work"

names=("Tavric Probe Data.csv" "Tavric Probe Data.kept" "Tavric Probe Data.kept.new"
  "Tavric Probe Data.html" "Tavric Probe Data.html.new" "Tavric Download.lock"
  "Tavric Dumps/Dump00.csv" "Tavric Dumps/Dump01.csv" "trace.txt" "Tavric Dumps")
victim_text="someone else's file"
n=0
for name in "${names[@]}"; do
  n=$((n + 1))
  shared=$work/shared-$n
  mkdir -p "$shared"
  chmod 777 "$shared"
  victim=$work/victim-$n
  if [ "$name" = "Tavric Dumps" ]; then
    mkdir "$victim" && echo "$victim_text" >"$victim/Dump00.csv"
  else
    mkdir -p "$shared/Tavric Dumps" && echo "$victim_text" >"$victim"
  fi
  ln -s "$victim" "$shared/$name"
  start_sim 3 --readings 5 --log "$work/links-$n.json"
  timeout 120 "$dump" --unattended --port 3 --output "$shared" --trace "$shared/trace.txt" \
    >"$work/links-$n.out" 2>"$work/links-$n.err"
  status=$?
  stop_sim
  if [ -d "$victim" ]; then
    [ "$(cat "$victim/Dump00.csv")" = "$victim_text" ] && [ "$(ls "$victim")" = Dump00.csv ] ||
      fail "$name: files written in the folder the link points to"
  else
    [ "$(cat "$victim")" = "$victim_text" ] || fail "$name: the file the link points to was written"
  fi
  case $status in
  0) grep -q '"clears":1' "$work/links-$n.json" || fail "$name: status 0, store not cleared" ;;
  2) grep -q '"clears":0' "$work/links-$n.json" || fail "$name: status 2, store cleared" ;;
  *) fail "$name: status $status" ;;
  esac
  echo "links: as $(id -un), a link planted as '$name': status $status, the file it points to untouched"
done

# A --trace that is a link of either kind to the probe data file is refused with status
# 64 before anything is opened: the file keeps its bytes and no trace folder is made.
data=$work/shared-1/"Tavric Probe Data.csv"
rm -f "$data"
printf 'Probe, Date\r\n' >"$data"
ln -s "$data" "$work/trace-soft.txt"
ln "$data" "$work/trace-hard.txt"
for kind in soft hard; do
  "$dump" --unattended --port 3 --output "$work/shared-1" --trace "$work/trace-$kind.txt" \
    >/dev/null 2>"$work/trace-$kind.err"
  status=$?
  [ "$status" -eq 64 ] || fail "--trace as a $kind link to the probe data file: status $status"
  grep -q "is the probe data file" "$work/trace-$kind.err" || fail "--trace $kind link: not said"
done
[ "$(cat "$data")" = "$(printf 'Probe, Date\r')" ] && [ ! -e "$XDG_STATE_HOME/RNQ7" ] ||
  fail "--trace to the probe data file: something was opened"
echo "links: as $(id -un), --trace as a symbolic or hard link to the probe data file: status 64"

# The same as a user without privileges, on folders of its own.
if [ "$(id -u)" -eq 0 ] && [ -z "${LINKS_NO_SECOND_USER:-}" ]; then
  setpriv --reuid=nobody --regid=nogroup --clear-groups env LINKS_NO_SECOND_USER=1 \
    TMPDIR=/tmp "$0" "$dump" "$sim" || fail "as nobody"
fi
echo "links: passed"
