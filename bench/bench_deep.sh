#!/usr/bin/env bash
# A deep J-Quants store from the sample server's monthly files (ten years of 4,000 stocks by
# default), and the readers on it: its size, screen, find, track and a chart window, each beside a
# bare sqlite3 scan of the rows it reads. The store is made once when ZUVEMO_BENCH_KEEP names a
# folder to keep it in; it takes minutes.
# usage: bench/bench_deep.sh [build-dir] [stocks] [days] [runs]
#   BENCH_FILL_DAYS=N also times a fresh first fill of N days (e.g. 1225: five years).
set -euo pipefail
build=${1:-build}
stocks=${2:-4000}
days=${3:-2450}
runs=${4:-5}
bin="$build/bin"
work=$(mktemp -d "$build/bench-deep.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work")), $stocks stocks, $days days, $(nproc) cores"

"$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days "$((days + 10))" --jquants > "$work/server.out" &
for _ in $(seq 600); do [ "$(wc -l < "$work/server.out")" -ge 3 ] && break; sleep 0.1; done
api=$(sed -n 3p "$work/server.out")

export JQUANTS_API_KEY=sample-key
# The plan's minute counted short: the fill measures the tool, not the pace a real server needs.
export ZUVEMO_PACE_WINDOW_MS=${ZUVEMO_PACE_WINDOW_MS:-60}

seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/last.out" 2> "$work/last.err"; e=$(date +%s.%N); echo "$e - $s" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() {  # label, command...
  local label=$1; shift
  local all=()
  for _ in $(seq "$runs"); do all+=("$(seconds "$@")"); done
  printf '%-44s median %6.3f s of %s\n' "$label" "$(printf '%s\n' "${all[@]}" | median)" "${all[*]}"
}
fill() {  # folder, days: a first fill, its time (wall and CPU), requests and bytes
  "$bin/zuvemo-cli" --home "$1" init --source jquants --api-url "$api" --plan premium --days "$2" \
    --bounds 0.9 1.2 > /dev/null 2>&1
  local s e
  s=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/cpu" "$bin/zuvemo-cli" --home "$1" refresh > /dev/null 2> "$work/fill.err"
  e=$(date +%s.%N)
  printf 'first fill of %s days: %.0f s (CPU %s s user/system); %s; %s\n' "$2" "$(echo "$e - $s" | bc)" \
    "$(tr ' ' / < "$work/cpu")" "$(grep -m1 'リクエスト' "$work/fill.err")" "$(grep -m1 '履歴ファイル' "$work/fill.err")"
}

if [ -n "${BENCH_FILL_DAYS:-}" ]; then
  fill "$work/fill" "$BENCH_FILL_DAYS"
  rm -rf "$work/fill"
fi
home="$work/jquants"
[ -n "${ZUVEMO_BENCH_KEEP:-}" ] && home="$ZUVEMO_BENCH_KEEP/jquants-$stocks-$days"
if [ ! -f "$home/zuvemo-prices.db" ]; then
  fill "$home" "$days"
fi
db="$home/zuvemo-prices.db"
printf 'store: %s bars, %s bytes on disk (%s)\n' "$(sqlite3 "$db" 'SELECT count(*) FROM Table_Bar')" \
  "$(stat -c %s "$db")" "$(sqlite3 "$db" "SELECT group_concat(name || ' ' || round(sum_size / 1e6) || ' MB, '
    || round(100.0 * payload / sum_size) || ' % used', '; ') FROM (SELECT name, sum(pgsize) AS sum_size,
    sum(payload) AS payload FROM dbstat WHERE name IN ('Table_Bar', 'Index_BarDay', 'Table_Filing') GROUP BY name)")"

# The newest 251 stored days: the window of find's figures; the signals read 250 of them. The
# bare scans read them as the commands do, each stock's by its key.
window=$(sqlite3 "$db" 'SELECT DayDate FROM Table_StoredDay ORDER BY DayDate DESC LIMIT 1 OFFSET 250')
windowed() {  # columns of b
  echo "SELECT count(*), $1 FROM (SELECT BarCode FROM Table_Bar WHERE BarDate = (SELECT max(DayDate)
    FROM Table_StoredDay)) c CROSS JOIN Table_Bar b INDEXED BY sqlite_autoindex_Table_Bar_1
    ON b.BarCode = c.BarCode AND b.BarDate >= '$window'"
}
"$bin/zuvemo-cli" --home "$home" screen > /dev/null 2>&1
timed "screen" "$bin/zuvemo-cli" --home "$home" screen
timed "  sqlite3, the same days' closes" sqlite3 "$db" \
  "$(windowed 'sum(b.C IS NULL), sum(b.AdjC), sum(b.AdjVo), sum(b.Va)')"
find=(--dev25 :-5 --rsi :35)
timed "find ${find[*]}" "$bin/zuvemo-cli" --home "$home" find "${find[@]}"
echo "  $(tail -n 1 "$work/last.out")"
# The day's figures forgotten (as after a store written by a program that does not keep them):
# the search computes them from the bars.
first() {
  sqlite3 "$db" "DELETE FROM Table_PriceFigures; DELETE FROM Table_StoreState WHERE StateName = 'PriceFiguresDay'"
  "$bin/zuvemo-cli" --home "$home" find "${find[@]}"
}
timed "find, figures computed from the bars" first
timed "  sqlite3, the same days' bars" sqlite3 "$db" \
  "$(windowed 'sum(b.C IS NULL), sum(b.AdjH), sum(b.AdjL), sum(b.AdjC), sum(b.AdjVo), sum(b.Va), sum(b.AdjO)')"
timed "track" "$bin/zuvemo-cli" --home "$home" track
echo "  $(grep -m1 基準日 "$work/last.out")"
timed "  sqlite3, every bar's close" sqlite3 "$db" \
  "SELECT sum(C IS NULL), sum(AdjC), sum(AdjVo), sum(Va) FROM Table_Bar"
if [ -x "$build/bench/bench_chart" ]; then
  "$build/bench/bench_chart" "$bin" "$home" 2> /dev/null | grep 画面表示 | sed 's/^/chart window: /'
  timed "  sqlite3, one stock's days" sqlite3 "$db" \
    "SELECT * FROM Table_Bar WHERE BarCode = (SELECT min(BarCode) FROM Table_Bar) ORDER BY BarDate DESC"
fi
