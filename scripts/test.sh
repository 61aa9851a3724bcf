#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test: the Linux program's suites and
# end-to-end tests, then the Windows program's suites and whole runs under Wine
# (scripts/test-windows.sh; TAVRIC_SKIP_WINDOWS=1 leaves them out). Arguments go to the
# Linux ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${TAVRIC_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRIC_SANITIZE=ON >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2 "$@"
if [ -z "${TAVRIC_SKIP_WINDOWS:-}" ]; then
  TAVRIC_LINUX_BUILD_DIR=$build scripts/test-windows.sh
fi
