#!/usr/bin/env bash
# Installed as the field installs it: `cmake --install` into a staging prefix, then the
# installed program run by an unprivileged user with a fresh home (nobody, when the
# test runs as root), and by root, against the installed probe-server-sim. An installed
# program never writes beside itself, whoever runs it: its files go to
# ~/.local/share/RNQ7, made on the way. cpack makes a Debian package holding the
# program, its desktop entry and its icon.
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

# run_installed HOME [COMMAND-PREFIX...]: the installed program downloads 12 readings
# from the installed simulator on port 3, with a fresh home, as the prefix runs it.
run_installed() {
  local home=$1
  shift
  "$@" env -i HOME="$home" PATH="$stage/bin:/usr/bin:/bin" ASAN_OPTIONS=detect_leaks=0 bash -c '
    mkdir -p "$HOME/run" && chmod 700 "$HOME/run" && export XDG_RUNTIME_DIR=$HOME/run
    probe-server-sim --port 3 --readings 12 --records clean --exit-after-idle 30 >"$HOME/sim.out" 2>&1 &
    for _ in $(seq 100); do [ -L "$HOME/.config/RNQ7/com3" ] && break; sleep 0.1; done
    probe-server-dump --unattended --port 3 >"$HOME/dump.out" 2>&1
    echo $? >"$HOME/status"
    kill %1 2>/dev/null
    wait
  '
  local status data=$home/.local/share/RNQ7
  status=$(cat "$home/status" 2>/dev/null)
  [ "$status" = 0 ] || fail "installed program: status ${status:-none}: $(cat "$home/dump.out")"
  [ "$(line_count "$data/Tavric Dumps/Dump00.csv")" -eq 13 ] || fail "no dump in $data"
  [ "$(line_count "$data/Tavric Probe Data.csv")" -eq 13 ] || fail "no probe data in $data"
  ls "$home"/.local/state/RNQ7/traces/trace-*.txt >/dev/null 2>&1 || fail "no trace"
  [ -z "$(ls "$stage/bin" | grep -v '^probe-server-')" ] ||
    fail "files were written beside the installed program: $(ls "$stage/bin")"
}

user_home=$work/user-home
mkdir -p "$user_home"
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$user_home"
  run_installed "$user_home" setpriv --reuid=65534 --regid=65534 --clear-groups --
  # Root may write anywhere, the prefix included: its files still go to its own home.
  mkdir -p "$work/root-home"
  run_installed "$work/root-home"
else
  chmod a-w "$stage/bin"  # as a system folder is to its users
  run_installed "$user_home"
fi

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.out" 2>&1) || fail "cpack"
deb=$(ls "$work"/package/probe-server-dump_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/probe-server-dump \
  ./usr/share/applications/probe-server-dump.desktop \
  ./usr/share/icons/hicolor/scalable/apps/probe-server-dump.svg; do
  grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
echo "install: the installed program wrote its files to ~/.local/share/RNQ7; $(basename "$deb") made"
