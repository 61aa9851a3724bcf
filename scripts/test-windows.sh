#!/usr/bin/env bash
# Builds the Windows program and the core's test suites (scripts/build-windows.sh), runs
# the suites under Wine, then the end-to-end runs of the Windows program under Wine
# against the Linux simulator, compared with the Linux program's files, two runs at once
# on one device and on one output folder, and a run onto a nearly full disk. Installs
# Wine, Xvfb and the tools the runs need when they are missing (Debian 12).
# The Linux program and simulator come from $TAVRIC_LINUX_BUILD_DIR (default
# build-test, as scripts/test.sh leaves it), built there when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

packages=(wine64 xvfb xauth xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} > 0)); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  echo "test-windows: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

scripts/build-windows.sh
build=${TAVRIC_WINDOWS_BUILD_DIR:-build-windows}
export WINEPREFIX=${TAVRIC_WINEPREFIX:-$PWD/$build/wine-prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

# One GUI program for 64-bit Windows that needs nothing installed: every DLL it imports
# ships with Windows itself.
headers=$(x86_64-w64-mingw32-objdump -p "$build/probe-server-dump.exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" ||
  { echo "test-windows: probe-server-dump.exe is not a Windows GUI program" >&2; exit 1; }
foreign=$(awk '/DLL Name:/ { print $3 }' <<<"$headers" |
  grep -viE '^(advapi32|comctl32|comdlg32|gdi32|gdiplus|kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|setupapi|bcrypt|user32|uxtheme|ws2_32|version|winmm|dwmapi|shcore)\.dll$' || true)
[ -z "$foreign" ] || {
  echo "test-windows: probe-server-dump.exe imports $(echo $foreign), not part of Windows" >&2
  exit 1
}

# The Linux program of the same sources (a no-op after scripts/test.sh): the two
# programs' files are compared byte for byte.
linux=${TAVRIC_LINUX_BUILD_DIR:-build-test}
if [ ! -f "$linux/CMakeCache.txt" ]; then
  scripts/install-deps.sh
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRIC_SANITIZE=ON >/dev/null
fi
cmake --build "$linux" -j2 --target probe-server-dump probe-server-sim

# A Wine prefix of the build's own, made once: the suites then start at once.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: making the Wine prefix $WINEPREFIX"
  xvfb-run -a "$wine" wineboot --init >/dev/null 2>&1
fi

# The suites run through Wine (the build's test runner), with a virtual display for the
# window's own tests.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build" --output-on-failure -j2
"$(dirname "$wine")/wineserver" -k 2>/dev/null || true

tests/e2e/wine.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
tests/e2e/wine_field.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
tests/e2e/wine_full_disk.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
tests/e2e/wine_links.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
tests/e2e/wine_downloads.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
tests/e2e/wine_ports.sh "$build/probe-server-dump.exe" "$linux/probe-server-dump" \
  "$linux/probe-server-sim" "$WINEPREFIX"
echo "test-windows: done in $((SECONDS - started)) s"
