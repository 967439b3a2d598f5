#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while (default 30 s) on a copy of the
# seed corpus under tests/fuzz/corpus. Fails on the first crash; the input that crashed is left
# in build-fuzz/crashes/.
# usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc 2>/dev/null || echo 2)"

mkdir -p build-fuzz/crashes
status=0
for target in config daily_import history jetsql values price_dialog jquants bulk_file; do
  work=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$target/." "$work/"
  log="build-fuzz/fuzz_$target.log"
  if build-fuzz/fuzz/fuzz_$target "$work" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build-fuzz/crashes/"$target"- -max_len=65536 > "$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz_$target: $runs executions, no finding"
  else
    echo "fuzz_$target: FAILED, see $log and build-fuzz/crashes/" >&2
    tail -30 "$log" >&2
    status=1
  fi
  rm -rf "$work"
done
exit $status
