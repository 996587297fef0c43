#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time:
#   tools/fuzz/run.sh [seconds per target, default 60]
# Each target starts from its committed seeds (tools/fuzz/corpus/<target>) and keeps what it
# finds in tools/fuzz/corpus-work/<target> (not committed), so longer runs by hand build on
# earlier ones. A crash, a broken property, a leak or a hang (10 s per input) fails the run;
# the input that caused it is left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
build=build-fuzz

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$PWD"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DVANTREL_FUZZ=ON -DVANTREL_UI=OFF -DVANTREL_TESTS=OFF "${launcher[@]}" >/dev/null
mapfile -t targets < <(grep -v '^$' "$build/tools/fuzz/targets.txt")
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null

rm -rf "$build/artifacts"
mkdir -p "$build/artifacts"
# The targets run side by side, each for the whole time: the run takes `seconds`, not one
# stretch of it per target.
pids=()
for t in "${targets[@]}"; do
  work="tools/fuzz/corpus-work/$t"
  mkdir -p "$work"
  "$build/tools/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
    "$work" "tools/fuzz/corpus/$t" >"$build/artifacts/$t.log" 2>&1 &
  pids+=("$!")
done
total=0
failed=0
for i in "${!targets[@]}"; do
  t="${targets[i]}"
  log="$build/artifacts/$t.log"
  status=0
  wait "${pids[i]}" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz: $t: FAILED after ${runs:-?} executions (exit $status); see $log"
    failed=1
    continue
  fi
  total=$((total + ${runs:-0}))
  echo "fuzz: $t: $runs executions in $seconds s, 0 crashes"
done
[ "$failed" -eq 0 ] || exit 1
echo "fuzz: ${#targets[@]} targets, $total executions, 0 crashes"
