#!/usr/bin/env bash
# The Windows program under Wine writing to a nearly full disk (a small tmpfs in a mount
# namespace of its own, with the Wine server started inside it, since the server opens
# the files): the run ends with status 2 and keeps the store, the probe data file keeps
# its earlier lines byte for byte, no file ends in a line cut short, and no file written
# part way is left behind.
# Usage: wine_full_disk.sh PROBE-SERVER-DUMP.EXE LINUX-PROBE-SERVER-DUMP PROBE-SERVER-SIM
#        WINEPREFIX

if [ -z "${WINE_FULL_DISK_INSIDE:-}" ]; then
  unshare=(unshare -m)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare -rm)
  WINE_FULL_DISK_INSIDE=1 exec "${unshare[@]}" bash "$0" "$@"
fi

disk=$(mktemp -d "${TMPDIR:-/tmp}/wine-disk.XXXXXX")
if ! mount -t tmpfs -o size=256k tmpfs "$disk" 2>/dev/null; then
  echo "wine full disk: SKIPPED: this machine lets no test mount a tmpfs"
  rmdir "$disk"
  exit 0
fi
source "$(dirname "$0")/e2e_lib.sh"  # whole_lines
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$@"
trap 'wine_cleanup; umount "$disk"; rmdir "$disk"' EXIT

out=$disk/out
mkdir -p "$out"
probe_data=$out/'Tavric Probe Data.csv'
{
  printf 'Probe,Date,Time\r\n'
  for i in $(seq 40); do printf '%d,01/02/2026,10:%02d:00\r\n' "$i" "$i"; done
} >"$probe_data"
cp "$probe_data" "$work/probe-data-before.csv"
# About 6 KiB left: less than the 60 readings' dump and probe data lines need.
free=$(df -k --output=avail "$disk" | tail -n 1)
dd if=/dev/zero of="$disk/filler" bs=1k count=$((free - 6)) 2>/dev/null

wdir=$work/full-disk
start_sim "$wdir" --readings 60 --records clean
ln -sfn "$(readlink "$wdir/cfg/com$com")" "$WINEPREFIX/dosdevices/com$com"
timeout 300 "$wine" "$exe" --unattended --port "$com" --speed lo --output "$(win_path "$out")" \
  --trace "$(win_path "$wdir/trace.txt")" >"$wdir/run.out" 2>"$wdir/run.err"
status=$?
stop_sim
[ "$status" -eq 2 ] || fail "full disk: status $status, expected 2"
tr -d '\r' <"$wdir/run.err" | grep -q 'Disk full' || fail "full disk: not told the disk is full"
! tr -d '\r' <"$wdir/trace.txt" | grep -q ' store cleared$' || fail "full disk: the store was cleared"
cmp -s -n "$(stat -c %s "$work/probe-data-before.csv")" "$work/probe-data-before.csv" \
  "$probe_data" || fail "full disk: the earlier probe data lines changed"
for f in "$probe_data" "$out/Tavric Dumps/Dump00.csv"; do
  whole_lines "$f" || fail "full disk: a line cut short in $f"
done
left=$(cd "$out" && find . -name '*.new')
[ -z "$left" ] || fail "full disk: files written part way were left behind: $left"
echo "wine full disk: status 2, the store kept, earlier lines kept, nothing cut short or left"
