#!/usr/bin/env bash
# The Debian packages as a user gets them: cpack makes probe-server-dump (the program,
# its manual page, copyright, desktop entry, icon and example units) and
# probe-server-sim (the simulator alone); both are unpacked into an empty root, where
# the desktop entry must pass desktop-file-validate without a hint, the manual page must
# name every option of --help, and the README's scheduled-collection examples, the
# same files as the package's, must pass systemd-analyze verify (beside systemd's own
# units) and, for the cron line, make the folder of the log they write.
# Usage: package.sh BUILD-DIR
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/e2e_lib.sh"
e2e_init

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.out" 2>&1) || fail "cpack"
dump_deb=$(ls "$work"/package/probe-server-dump_*.deb 2>/dev/null | head -n 1)
sim_deb=$(ls "$work"/package/probe-server-sim_*.deb 2>/dev/null | head -n 1)
[ -n "$dump_deb" ] && [ -n "$sim_deb" ] || fail "cpack made: $(ls "$work/package")"

# has DEB FILE / lacks DEB FILE: the package's contents.
has() { grep -q " \./${2#/}\$" <<<"$(dpkg-deb -c "$1")" || fail "$(basename "$1") lacks $2"; }
lacks() { ! grep -q " \./${2#/}\$" <<<"$(dpkg-deb -c "$1")" || fail "$(basename "$1") holds $2"; }
doc=/usr/share/doc/probe-server-dump
for f in /usr/bin/probe-server-dump /usr/share/man/man1/probe-server-dump.1.gz $doc/copyright \
  $doc/README.md /usr/share/applications/probe-server-dump.desktop \
  /usr/share/icons/hicolor/scalable/apps/probe-server-dump.svg $doc/examples/probe-collect.service \
  $doc/examples/probe-collect.timer $doc/examples/probe-collect.cron; do
  has "$dump_deb" "$f"
done
lacks "$dump_deb" /usr/bin/probe-server-sim
has "$sim_deb" /usr/bin/probe-server-sim
has "$sim_deb" /usr/share/doc/probe-server-sim/copyright
lacks "$sim_deb" /usr/bin/probe-server-dump
[ "$(dpkg-deb -f "$sim_deb" Package)" = probe-server-sim ] || fail "the simulator's package name"
grep -q '^Copyright: ' <<<"$(dpkg-deb --fsys-tarfile "$dump_deb" | tar -xO ".$doc/copyright")" ||
  fail "the copyright file has no Copyright field"

root=$work/root
mkdir -p "$root"
dpkg-deb -x "$dump_deb" "$root" && dpkg-deb -x "$sim_deb" "$root" || fail "unpacking"

hints=$(desktop-file-validate "$root/usr/share/applications/probe-server-dump.desktop" 2>&1)
[ -z "$hints" ] || fail "desktop-file-validate: $hints"

# Every option --help lists is in the manual page, and the page is the one help2man made
# from this program.
man_text=$(zcat "$root/usr/share/man/man1/probe-server-dump.1.gz" | sed 's/\\-/-/g')
grep -q 'help2man' <<<"$man_text" || fail "the manual page was not made from --help"
options=$(ASAN_OPTIONS=detect_leaks=0 "$root/usr/bin/probe-server-dump" --help |
  grep -o -- '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || fail "--help lists no option"
for o in $options; do
  grep -q -- "$o" <<<"$man_text" || fail "the manual page lacks $o"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/probe-server-dump.1.gz" >"$work/man.out" 2>"$work/man.err" ||
  fail "man cannot show the page"
[ ! -s "$work/man.err" ] || fail "man: $(cat "$work/man.err")"

# The README shows each example file, line by line, so what it tells is what the
# package holds.
for f in probe-collect.service probe-collect.timer probe-collect.cron; do
  while IFS= read -r line; do
    [ -z "$line" ] || grep -Fxq -- "$line" "$source_dir/README.md" ||
      fail "README does not show $f as installed: $line"
  done <"$root$doc/examples/$f"
done

# The units as a user installs them, verified against the unpacked root: the programs
# they start must be where the package put them.
units=$root/etc/systemd/system
mkdir -p "$units" "$root/usr/lib/systemd"
# The root has systemd's own units, as any Debian system has.
cp -r "$(pkg-config --variable=systemdsystemunitdir systemd 2>/dev/null || echo /lib/systemd/system)" \
  "$root/usr/lib/systemd/system"
cp "$root$doc/examples/probe-collect.service" "$root$doc/examples/probe-collect.timer" "$units/"
systemd-analyze verify --root="$root" probe-collect.timer probe-collect.service \
  >"$work/verify.out" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify.out")"
# The same check fails for a program the package does not install.
sed -i 's#/usr/bin/#/usr/local/bin/#' "$units/probe-collect.service"
if systemd-analyze verify --root="$root" probe-collect.service >/dev/null 2>&1; then
  fail "systemd-analyze verify took a program that is not there"
fi

# The cron line, run as cron would with the unpacked program in place of /usr/bin: no
# server answers, and what the run says lands in the log folder the line made.
cron_command=$(sed -E 's/^([^ ]+ +){5}//' "$root$doc/examples/probe-collect.cron")
cron_home=$work/cron-home
mkdir -p "$cron_home"
HOME=$cron_home XDG_CONFIG_HOME=$cron_home/.config sh -c "${cron_command//\/usr\/bin\//$root/usr/bin/}" &&
  fail "the cron line succeeded without a server"
[ -s "$cron_home/probes/log/collect.log" ] || fail "the cron line wrote no log"
grep -q 'exit status 1' "$cron_home/probes/log/collect.log" ||
  fail "the cron log: $(cat "$cron_home/probes/log/collect.log")"

echo "package: $(basename "$dump_deb") and $(basename "$sim_deb") checked, units verified"
