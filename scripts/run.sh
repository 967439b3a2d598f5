#!/usr/bin/env bash
# Set-up, build, and a demo program folder under ./demo made on first use.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc 2>/dev/null || echo 2)"

demo="$PWD/demo"
if [ ! -f "$demo/zuvemo.db" ]; then
  build/bin/zuvemo-cli --home "$demo" init \
    --daily-url "http://127.0.0.1:8642/daily/" \
    --history-url "http://127.0.0.1:8642/history/" \
    --bounds 0.9 1.2
  echo "demo program folder created: $demo"
else
  echo "demo program folder: $demo"
fi
