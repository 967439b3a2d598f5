#!/usr/bin/env bash
# The screening run over the sample market on loopback, beside curl fetching the same histories to the
# same disk. Prints medians of RUNS runs for 0 and 20 ms latency and their ratio.
# usage: bench/bench_screening.sh [--single-job] [--runs N] [--dir PARENT] [build-dir] [stocks]
# The work folder is made under PARENT (default: the build folder), which should be on the real disk.
set -euo pipefail
single=0
runs=3
parent=
while [ $# -gt 0 ]; do
  case $1 in
    --single-job) single=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --dir) parent=$2; shift 2 ;;
    *) break ;;
  esac
done
build=${1:-build}
stocks=${2:-4000}
bin="$build/bin"
work=$(mktemp -d "${parent:-$build}/bench-screening.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work"))"

start_server() {  # latency-ms
  : > "$work/server.out"
  "$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days 300 --latency-ms "$1" > "$work/server.out" &
  for _ in $(seq 100); do [ "$(wc -l < "$work/server.out")" -ge 2 ] && break; sleep 0.05; done
  daily=$(sed -n 1p "$work/server.out")
  history=$(sed -n 2p "$work/server.out")
}

seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/last.out"; e=$(date +%s.%N); echo "$e - $s" | bc; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for latency in 0 20; do
  start_server "$latency"
  home="$work/home-$latency"
  "$bin/zuvemo-cli" --home "$home" init --daily-url "$daily" --history-url "$history" --bounds 0.9 1.2 > /dev/null
  "$bin/zuvemo-cli" --home "$home" refresh > /dev/null
  # The refresh empties csv/; the first run after it makes every file, the timed runs write over them.
  t=$(seconds "$bin/zuvemo-cli" --home "$home" screen --jobs 8)
  printf 'screen latency=%sms jobs=8, first run after the refresh: %6.2f s\n' "$latency" "$t"
  job_counts=8
  [ "$single" = 1 ] && job_counts="8 1"
  for jobs in $job_counts; do
    times=()
    for _ in $(seq "$runs"); do times+=("$(seconds "$bin/zuvemo-cli" --home "$home" screen --jobs "$jobs")"); done
    screen=$(median "${times[@]}")
    printf 'screen latency=%sms jobs=%s: median %6.2f s of %s  (%s)\n' "$latency" "$jobs" "$screen" \
      "${times[*]}" "$(tail -n 1 "$work/last.out")"
    [ "$jobs" = 8 ] && screen8=$screen
  done
  # The transport limit: the same histories with curl, 8 transfers at once, into a folder on the same disk.
  sqlite3 "$home/zuvemo.db" "SELECT MgCode FROM Table_Code ORDER BY MgCode" |
    awk -v h="$history" -v d="$work/curl" '{ printf "url = \"%s%s?download=csv\"\noutput = \"%s/%s.csv\"\n", h, $1, d, $1 }' > "$work/curl.cfg"
  # Like csv/ for the timed screening runs, the folder already holds the files: the untimed first
  # fetch makes them, and curl then writes over them.
  rm -rf "$work/curl"; mkdir -p "$work/curl"
  curl -s --no-progress-meter --parallel --parallel-max 8 -K "$work/curl.cfg"
  times=()
  for _ in $(seq "$runs"); do
    times+=("$(seconds curl -s --no-progress-meter --parallel --parallel-max 8 -K "$work/curl.cfg")")
  done
  fetch=$(median "${times[@]}")
  printf 'curl --parallel --parallel-max 8 latency=%sms: median %6.2f s of %s\n' "$latency" "$fetch" "${times[*]}"
  printf 'ratio screen/curl latency=%sms: %.2f\n' "$latency" "$(echo "$screen8 / $fetch" | bc -l)"
  rm -rf "$work/curl"
  kill %1; wait 2>/dev/null || true
done
