#!/usr/bin/env bash
# The screening run over the sample market on loopback, beside curl fetching the same histories.
# usage: bench/bench_screening.sh [build-dir] [stocks]
set -euo pipefail
build=${1:-build}
stocks=${2:-4000}
bin="$build/bin"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

start_server() {  # latency-ms
  "$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days 300 --latency-ms "$1" > "$work/server.out" &
  for _ in $(seq 100); do [ -s "$work/server.out" ] && break; sleep 0.05; done
  sleep 0.2
  daily=$(sed -n 1p "$work/server.out")
  history=$(sed -n 2p "$work/server.out")
}

seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/last.out"; e=$(date +%s.%N); echo "$e - $s" | bc; }

for latency in 0 20; do
  start_server "$latency"
  home="$work/home-$latency"
  "$bin/zuvemo-cli" --home "$home" init --daily-url "$daily" --history-url "$history" --bounds 0.9 1.2 > /dev/null
  "$bin/zuvemo-cli" --home "$home" refresh > /dev/null
  for jobs in 8 1; do
    t=$(seconds "$bin/zuvemo-cli" --home "$home" screen --jobs "$jobs")
    printf 'screen latency=%sms jobs=%s: %6.2f s  (%s)\n' "$latency" "$jobs" "$t" "$(cat "$work/last.out")"
  done
  # The transport limit: the same histories with curl, 8 transfers at once.
  sqlite3 "$home/zuvemo.db" "SELECT MgCode FROM Table_Code ORDER BY MgCode" |
    awk -v h="$history" -v d="$work/curl" '{ printf "url = \"%s%s?download=csv\"\noutput = \"%s/%s.csv\"\n", h, $1, d, $1 }' > "$work/curl.cfg"
  mkdir -p "$work/curl"
  t=$(seconds curl -s --no-progress-meter --parallel --parallel-max 8 -K "$work/curl.cfg")
  printf 'curl --parallel --parallel-max 8 latency=%sms: %6.2f s\n' "$latency" "$t"
  rm -rf "$work/curl"
  kill %1; wait 2>/dev/null || true
done
