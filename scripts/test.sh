#!/usr/bin/env bash
# Set-up, build and the whole test suite; clang-tidy; the unit tests again under the sanitizers;
# then every fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset default
cmake --build --preset default -j"$jobs"
ctest --preset default -j"$jobs"

# Static analysis over the sources, on the default build's compile database.
bash scripts/tidy.sh

cmake --preset asan
cmake --build --preset asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j"$jobs"

# Fuzzing: each target for a short while, blocking.
bash scripts/fuzz.sh "${ZUVEMO_FUZZ_SECONDS:-30}"
