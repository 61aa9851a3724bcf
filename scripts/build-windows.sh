#!/usr/bin/env bash
# Cross-builds the Windows program (probe-server-dump.exe) and the core's test suites
# as .exe files with MinGW-w64 into build-windows/ (or $TAVRIC_WINDOWS_BUILD_DIR).
# Installs the toolchain with apt-get when it is missing (Debian 12, as root or
# through sudo). The test suites run under Wine: scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix cmake ninja-build googletest)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} > 0)); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  echo "build-windows: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

build=${TAVRIC_WINDOWS_BUILD_DIR:-build-windows}
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

# GoogleTest from Debian's sources, built once with the same toolchain.
gtest=$PWD/$build/googletest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" -j2 >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DTAVRIC_BUILD_GUI=OFF -DGTest_DIR="$gtest/lib/cmake/GTest" >/dev/null
cmake --build "$build" -j2
echo "build-windows: $build/probe-server-dump.exe"
