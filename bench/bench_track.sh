#!/usr/bin/env bash
# The track record over a whole sample market: from the screening's history files of a CSV folder
# and from a J-Quants folder's price store, each timed as the command runs it (reading, the marks
# of every day, the report), as the median of N runs.
# usage: bench/bench_track.sh [build-dir] [stocks] [days] [runs]   (e.g. 1000 1250: five years)
set -euo pipefail
build=${1:-build}
stocks=${2:-4000}
days=${3:-300}
runs=${4:-5}
bin="$build/bin"
work=$(mktemp -d "$build/bench-track.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work")), $stocks stocks, $days days, $(nproc) cores"

"$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days "$days" --jquants > "$work/server.out" &
for _ in $(seq 400); do [ "$(wc -l < "$work/server.out")" -ge 3 ] && break; sleep 0.05; done
daily=$(sed -n 1p "$work/server.out")
history=$(sed -n 2p "$work/server.out")
api=$(sed -n 3p "$work/server.out")

seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/last.out" 2> "$work/last.err"; e=$(date +%s.%N); echo "$e - $s" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() {  # label, command...
  local label=$1; shift
  local all=()
  for _ in $(seq "$runs"); do all+=("$(seconds "$@")"); done
  echo "$label: median $(printf '%s\n' "${all[@]}" | median)s of ${all[*]}"
}

csv="$work/csv"
"$bin/zuvemo-cli" --home "$csv" init --daily-url "$daily" --history-url "$history" --bounds 0.9 1.2 > /dev/null 2>&1
"$bin/zuvemo-cli" --home "$csv" refresh > /dev/null
"$bin/zuvemo-cli" --home "$csv" screen 2> /dev/null
timed "track, CSV files" "$bin/zuvemo-cli" --home "$csv" track
echo "  $(grep -m1 基準日 "$work/last.out")"
timed "track --by industry --json, CSV files" "$bin/zuvemo-cli" --home "$csv" track --by industry --json

export JQUANTS_API_KEY=sample-key
# The plan's minute counted short: the fill measures the tool, not the pace a real server needs.
export ZUVEMO_PACE_WINDOW_MS=${ZUVEMO_PACE_WINDOW_MS:-60}
# ZUVEMO_BENCH_KEEP=DIR keeps the J-Quants folder there, made once per size: a deep store takes
# minutes to fill.
jq="$work/jquants"
[ -n "${ZUVEMO_BENCH_KEEP:-}" ] && jq="$ZUVEMO_BENCH_KEEP/jquants-$stocks-$days"
if [ ! -f "$jq/zuvemo.db" ]; then
  "$bin/zuvemo-cli" --home "$jq" init --source jquants --api-url "$api" --plan premium --days "$days" \
    --bounds 0.9 1.2 > /dev/null 2>&1
  "$bin/zuvemo-cli" --home "$jq" refresh > /dev/null 2>&1
fi
# A kept store made before the copy of its bars beside it: the next refresh writes it.
[ -f "$jq/zuvemo-prices.bars" ] || "$bin/zuvemo-cli" --home "$jq" refresh > /dev/null 2>&1 || true
timed "track, J-Quants store" "$bin/zuvemo-cli" --home "$jq" track
echo "  $(grep -m1 基準日 "$work/last.out")"
timed "track --by industry --json, J-Quants store" "$bin/zuvemo-cli" --home "$jq" track --by industry --json

# A rule of find's conditions (two price figures and a signal) over every stored day, three
# horizons and the simulation, beside the signals' record above on the same store.
rule=(--dev25 :-5 --rsi :35 --signal 買 --horizons 1,5,20)
timed "track with a rule, J-Quants store" "$bin/zuvemo-cli" --home "$jq" track "${rule[@]}"
timed "track with a rule --simulate, J-Quants store" "$bin/zuvemo-cli" --home "$jq" track "${rule[@]}" --simulate
echo "  $(grep -m1 売買 "$work/last.out")"
