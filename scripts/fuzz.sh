#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 30), starting from its
# seed corpus. Prints the executions of each target and their total; exits non-zero
# when a target finds a crash or a broken property (the input is kept in the build
# folder's findings/).
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${TAVRIC_FUZZ_BUILD_DIR:-build-fuzz}
targets=(legacy_reply v5_reply bulk_stream record_decoder modem_reply prompt_number kept_record
  line_reader)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRIC_FUZZ=ON -DTAVRIC_BUILD_GUI=OFF -DTAVRIC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings" "$build/logs"
total=0
failed=()
for t in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/logs/$t.log"
  status=0
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$build/findings/$t-" "$work" "fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  total=$((total + runs))
  if ((status != 0)); then
    failed+=("$t")
    echo "fuzz: $t: FAILED after $runs executions (exit $status); see $log"
    grep -E "property broken|ERROR: |SUMMARY: " "$log" | head -5 || true
  else
    echo "fuzz: $t: $runs executions in ${seconds}s, no finding"
  fi
done
echo "fuzz: $total executions in total"
if ((${#failed[@]} > 0)); then
  echo "fuzz: findings in ${failed[*]} (inputs in $build/findings/)"
  exit 1
fi
