#!/usr/bin/env bash
# Builds Release binaries of probe-server-dump and probe-server-sim in their own
# folder, then times the real program against the simulator (bench/bench.py) and
# prints the results as Markdown tables.
#
#   bench/run.sh                      # the working tree, 3 runs a case
#   bench/run.sh --rev HEAD           # a commit, exported apart from the working tree
#   bench/run.sh --runs 5 --only v5-lo --only silent
#   bench/run.sh --no-build           # reuse the binaries already built
#
# Cases: v5-hi, v5-lo, legacy-hi, reference, unpaced, silent, report, report-5m. Needs
# python3, cmake, ninja and Qt 6 (chromium for report-5m's drawing time); takes about
# twelve minutes, and report-5m four more. BENCH_BUILD sets the build folder
# (default build-bench in the repository; a --rev build uses build-bench-rev, with
# the exported sources in build-bench-rev-src).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$repo/build-bench}
rev=""
do_build=1
pass=()
while [ $# -gt 0 ]; do
  case $1 in
    --rev) rev=$2; shift 2 ;;
    --rev=*) rev=${1#--rev=}; shift ;;
    --no-build) do_build=0; shift ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) pass+=("$1"); shift ;;
  esac
done

src=$repo
trap 'exit 130' INT TERM

if [ -n "$rev" ]; then
  # The commit's files, apart from whatever is being edited in the working tree; the
  # same folder every time, so that the build folder and the compiler cache fit it.
  commit=$(git -C "$repo" rev-parse --short "$rev^{commit}")
  label="commit $commit"
  build=${BENCH_BUILD:-$repo/build-bench-rev}
  src=$repo/build-bench-rev-src
  if [ "$do_build" = 1 ]; then
    rm -rf "$src"
    mkdir -p "$src"
    git -C "$repo" archive "$commit" | tar -x -C "$src"
  fi
else
  commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
  label="working tree at $commit"
  if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    label="$label, with uncommitted changes"
  fi
fi

if [ "$do_build" = 1 ]; then
  # GCC 12 at -O3 reports false array-bounds, restrict and stringop-overflow findings
  # inside the standard library's inlined code; they stay warnings in this build.
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIC_BUILD_TESTS=OFF \
    "-DCMAKE_CXX_FLAGS=-Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow" \
    >/dev/null
  cmake --build "$build" -j2 --target probe-server-dump probe-server-sim >/dev/null
fi

realtime=()
if chrt -f 50 true 2>/dev/null; then realtime=(--sim-realtime); fi

python3 "$repo/bench/bench.py" --build "$build" --label "$label" "${realtime[@]}" "${pass[@]}"
