#!/usr/bin/env bash
# The J-Quants source against the sample server's J-Quants mode: the first fill of the price
# store and its request count, a next day's refresh and its request count, and the screening of
# every stock from the store beside the CSV source's screening over loopback.
# usage: bench/bench_jquants.sh [build-dir] [stocks] [days]
set -euo pipefail
build=${1:-build}
stocks=${2:-4000}
days=${3:-300}
bin="$build/bin"
work=$(mktemp -d "$build/bench-jquants.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work"))"

start_server() {  # out-file, extra options
  local out=$1; shift
  "$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days "$days" --jquants "$@" > "$out" &
  for _ in $(seq 400); do [ "$(wc -l < "$out")" -ge 3 ] && break; sleep 0.05; done
}
seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/last.out" 2> "$work/last.err"; e=$(date +%s.%N); echo "$e - $s" | bc; }

today=$(date +%F)
start_server "$work/full.out"
api=$(sed -n 3p "$work/full.out")
# The day before the latest: the same market read through a window that ends a day earlier.
latest=$(curl -s -H 'x-api-key: sample-key' "$api/markets/calendar?from=$(date -d '-10 days' +%F)&to=$today" \
  | python3 -c 'import json,sys; print([d["Date"] for d in json.load(sys.stdin)["data"] if d["HolDiv"]=="1"][-1])')
previous=$(date -d "$latest -1 day" +%F)
start_server "$work/early.out" --window "2000-01-03:$previous"
early=$(sed -n 3p "$work/early.out")

export JQUANTS_API_KEY=sample-key
# The plan's minute counted short: the fill measures the tool, not the pace a real server needs.
export ZUVEMO_PACE_WINDOW_MS=${ZUVEMO_PACE_WINDOW_MS:-60}
home="$work/home"
"$bin/zuvemo-cli" --home "$home" init --source jquants --api-url "$early" --plan premium --days "$days" \
  --bounds 0.9 1.2 > /dev/null
fill=$(seconds "$bin/zuvemo-cli" --home "$home" refresh)
echo "first fill: $(cat "$work/last.out") in ${fill}s; $(tail -1 "$work/last.err")"
"$bin/zuvemo-cli" --home "$home" source set jquants --api-url "$api" > /dev/null
daily=$(seconds "$bin/zuvemo-cli" --home "$home" refresh)
echo "next day's refresh: $(cat "$work/last.out") in ${daily}s; $(tail -1 "$work/last.err")"
ls -la "$home/zuvemo-prices.db" | awk '{print "price store: " $5 " bytes"}'
for run in 1 2 3; do
  t=$(seconds "$bin/zuvemo-cli" --home "$home" screen)
  echo "screening from the store, run $run: ${t}s ($(cat "$work/last.out"))"
done
