#!/usr/bin/env bash
# Installed as the field installs it: `cmake --install` into a staging prefix, then the
# installed program run by an unprivileged user with a fresh home (nobody, when the
# test runs as root) against the installed probe-server-sim. The program's own folder
# cannot be written, so its files go to ~/.local/share/RNQ7, made on the way. cpack
# makes a Debian package holding the program, its desktop entry and its icon.
# Usage: install.sh BUILD-DIR
build=$1
. "$(dirname "$0")/e2e_lib.sh"
e2e_init
chmod 755 "$work"

stage=$work/stage
cmake --install "$build" --prefix "$stage" >"$work/install.out" 2>&1 || fail "cmake --install"
for f in bin/probe-server-dump bin/probe-server-sim share/applications/probe-server-dump.desktop \
  share/icons/hicolor/scalable/apps/probe-server-dump.svg; do
  [ -f "$stage/$f" ] || fail "not installed: $f"
done

user_home=$work/user-home
mkdir -p "$user_home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$user_home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
else
  chmod a-w "$stage/bin"  # as a system folder is to its users
fi

"${as_user[@]}" env -i HOME="$user_home" PATH="$stage/bin:/usr/bin:/bin" \
  ASAN_OPTIONS=detect_leaks=0 bash -c '
  mkdir -p "$HOME/run" && chmod 700 "$HOME/run" && export XDG_RUNTIME_DIR=$HOME/run
  probe-server-sim --port 3 --readings 12 --records clean --exit-after-idle 30 >"$HOME/sim.out" 2>&1 &
  for _ in $(seq 100); do [ -L "$HOME/.config/RNQ7/com3" ] && break; sleep 0.1; done
  probe-server-dump --unattended --port 3 >"$HOME/dump.out" 2>&1
  echo $? >"$HOME/status"
  kill %1 2>/dev/null
  wait
'
status=$(cat "$user_home/status" 2>/dev/null)
[ "$status" = 0 ] || fail "installed program: status ${status:-none}: $(cat "$user_home/dump.out")"
data=$user_home/.local/share/RNQ7
[ "$(line_count "$data/Tavric Dumps/Dump00.csv")" -eq 13 ] || fail "no dump in $data"
[ "$(line_count "$data/Tavric Probe Data.csv")" -eq 13 ] || fail "no probe data in $data"
ls "$user_home"/.local/state/RNQ7/traces/trace-*.txt >/dev/null 2>&1 || fail "no trace"
[ ! -e "$stage/bin/Tavric Dumps" ] || fail "files were written beside the installed program"

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.out" 2>&1) || fail "cpack"
deb=$(ls "$work"/package/probe-server-dump_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/probe-server-dump ./usr/bin/probe-server-sim \
  ./usr/share/applications/probe-server-dump.desktop \
  ./usr/share/icons/hicolor/scalable/apps/probe-server-dump.svg; do
  grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
echo "install: the installed program wrote its files to ~/.local/share/RNQ7; $(basename "$deb") made"
