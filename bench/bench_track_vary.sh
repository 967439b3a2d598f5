#!/usr/bin/env bash
# A rule tried over a range of two bounds (100 variants) with the simulation, timed as the command
# runs it, beside a loop of the same variants' single tests (the first N of them, the whole loop
# extrapolated), and its peak memory. Reads a kept J-Quants folder, copied first: the tool keeps a
# history of the rules tested in the folder.
# usage: bench/bench_track_vary.sh [build-dir] FOLDER [singles]
set -euo pipefail
build=${1:-build}
folder=${2:?a J-Quants folder}
singles=${3:-3}
bin="$build/bin"
work="$build/bench-vary-$(basename "$folder")"
if [ ! -f "$work/zuvemo.db" ]; then
  rm -rf "$work"
  cp -r "$folder" "$work"
fi
export JQUANTS_API_KEY=${JQUANTS_API_KEY:-sample-key}
echo "folder: $work, $(nproc) cores"

rule=(--signal 買 --dev25 -30:0 --rsi 0:50 --horizons 20 --simulate)
vary=(--vary dev25.max=-9:0:1 --vary rsi.max=32:50:2)
timed() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e s, %M KB" -o "$work/time.out" "$@" > "$work/last.out" 2> "$work/last.err"
  echo "$label: $(cat "$work/time.out")"
}
timed "one single rule test" "$bin/zuvemo-cli" --home "$work" track "${rule[@]}"
timed "one variant through --vary" "$bin/zuvemo-cli" --home "$work" track "${rule[@]}" --vary rsi.max=50
timed "100 variants" "$bin/zuvemo-cli" --home "$work" track "${rule[@]}" "${vary[@]}"
grep -m2 -e "PBO" -e "シャープレシオの確からしさ" "$work/last.out" || head -3 "$work/last.err"
timed "100 variants, walk-forward 4" "$bin/zuvemo-cli" --home "$work" track "${rule[@]}" "${vary[@]}" --walk-forward 4

# The loop a user would otherwise run: the first variants' single tests one after another.
total=0
n=0
for dev in -9 -8 -7 -6 -5 -4 -3 -2 -1 0; do
  for rsi in 32 34 36 38 40 42 44 46 48 50; do
    [ "$n" -ge "$singles" ] && break 2
    s=$(date +%s.%N)
    "$bin/zuvemo-cli" --home "$work" track --signal 買 --dev25 -30:"$dev" --rsi 0:"$rsi" --horizons 20 --simulate > /dev/null
    e=$(date +%s.%N)
    total=$(echo "$total + $e - $s" | bc)
    n=$((n + 1))
  done
done
echo "loop of $n single tests: ${total}s, 100 of them about $(echo "$total * 100 / $n" | bc) s"
