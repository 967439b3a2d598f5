#!/usr/bin/env bash
# Set-up, build, and the programs against the sample market: a demo program folder under ./demo
# (made on first use), the sample market server on a free loopback port, then the launcher.
# Without a display the programs run under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc 2>/dev/null || echo 2)"

demo="$PWD/demo"
mkdir -p "$demo"
# The programs run from the demo folder, which is their program folder.
cp -f build/bin/Pro_zuvemo build/bin/pro_melbat "build/bin/雛型EXCEL.xltx" build/bin/README.md "$demo/"
if [ ! -f "$demo/zuvemo.db" ]; then
  build/bin/zuvemo-cli --home "$demo" init \
    --daily-url "http://127.0.0.1:1/daily/" --history-url "http://127.0.0.1:1/history/" --bounds 0.9 1.2
  echo "demo program folder created: $demo"
fi

addresses=$(mktemp)
build/bin/zuvemo-sample-server --port 0 > "$addresses" &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$addresses"' EXIT
for _ in $(seq 200); do [ "$(wc -l < "$addresses")" -ge 2 ] && break; sleep 0.05; done
daily=$(sed -n 1p "$addresses")
history=$(sed -n 2p "$addresses")
[ -n "$daily" ] && [ -n "$history" ] || { echo "the sample market server did not start" >&2; exit 1; }
sqlite3 "$demo/zuvemo.db" "UPDATE Table_Url SET kabuHUrl='$daily', kabuMUrl='$history';"
echo "sample market: $daily $history"

# The launcher starts the main program and ends; the server stops when the main program ends.
run_programs='"$1/pro_melbat"; sleep 1; while pgrep -f "$1/Pro_zuvemo" > /dev/null; do sleep 1; done'
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  bash -c "$run_programs" run "$demo"
else
  echo "no display: running under Xvfb"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$run_programs" run "$demo"
fi
