#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy over the sources (not generated files).
# Needs the compile database of the default build (cmake --preset default).
set -euo pipefail
cd "$(dirname "$0")/.."
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
log=build/clang-tidy.log
if ! "$tidy" -p build -quiet -j "$(nproc 2>/dev/null || echo 2)" "^$PWD/(src|tools/sample-server)/" > "$log" 2>&1; then
  grep -E "error:|warning:" "$log" >&2 || tail -40 "$log" >&2
  echo "clang-tidy: findings, see $log" >&2
  exit 1
fi
echo "clang-tidy: clean"
