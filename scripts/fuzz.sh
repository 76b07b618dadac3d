#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each for SECONDS (default 180) on a working corpus grown from its seeds. Crashing
# inputs are kept under fuzz/crashes/<target>/; the run fails when any target found one.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
build=${FUZZ_BUILD:-build-fuzz}
only=${2:-}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENVEX_FUZZ=ON \
  -DLUMENVEX_BUILD_APP=OFF > /dev/null || exit 1
cmake --build "$build" -j "$(nproc)" > /dev/null || exit 1

status=0
for program in "$build"/fuzz/fuzz_*; do
  name=${program##*/fuzz_}
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  corpus=fuzz/corpus-$name
  crashes=fuzz/crashes/$name
  mkdir -p "$corpus" "$crashes"
  [ -d "fuzz/seeds/$name" ] && cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null
  log=$(mktemp)
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$program" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$crashes/" -print_final_stats=1 > "$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  echo "fuzz_$name: ${runs:-?} executions in ${seconds}s, exit $rc"
  if [ $rc -ne 0 ]; then
    status=1
    grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -5
  fi
  rm -f "$log"
done
exit $status
