#!/usr/bin/env bash
# find over a J-Quants folder of the sample market (4,000 stocks by default) with three
# conditions and a sort, the whole process timed, beside sqlite3 running the equivalent SELECT
# on the same files. The folder is filled first: its disclosure days are paced to the filings'
# own limit of 60 a minute, so that takes a few minutes.
# Then find with three price conditions over the stored days (300 by default), and with three
# of the studies' (the band, the stochastics, the cloud), the figures kept by the first run and
# once more computed afresh, beside sqlite3 reading the same bars.
# usage: bench/bench_find.sh [build-dir] [stocks] [runs] [days]
set -euo pipefail
build=${1:-build}
stocks=${2:-4000}
runs=${3:-10}
days=${4:-300}
bin="$build/bin"
work=$(mktemp -d "$build/bench-find.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work"))"

"$bin/zuvemo-sample-server" --port 0 --stocks "$stocks" --days "$((days + 20))" --jquants > "$work/server.out" &
for _ in $(seq 400); do [ "$(wc -l < "$work/server.out")" -ge 3 ] && break; sleep 0.05; done
api=$(sed -n 3p "$work/server.out")

export JQUANTS_API_KEY=sample-key
# The plan's minute counted short: the fill measures the tool, not the pace a real server needs.
export ZUVEMO_PACE_WINDOW_MS=${ZUVEMO_PACE_WINDOW_MS:-60}
home="$work/home"
"$bin/zuvemo-cli" --home "$home" init --source jquants --api-url "$api" --plan premium --days "$days" \
  --bounds 0.9 1.2 > /dev/null 2>&1
s=$(date +%s.%N)
day=$("$bin/zuvemo-cli" --home "$home" refresh 2> "$work/refresh.err")
echo "fill: $day in $(echo "$(date +%s.%N) - $s" | bc)s; $(grep リクエスト "$work/refresh.err")"
"$bin/zuvemo-cli" --home "$home" screen > /dev/null 2>&1

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() {  # runs a command $runs times, prints the median wall time in milliseconds
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s%N); "$@" > "$work/out" 2>&1; e=$(date +%s%N)
    echo $(( (e - s) / 1000000 ))
  done | median
}

find_ms=$(timed "$bin/zuvemo-cli" --home "$home" find --fwd-per :15 --pbr :1 --yield 3: --sort yield:desc)
echo "find --fwd-per :15 --pbr :1 --yield 3: --sort yield:desc: ${find_ms} ms (median of $runs), $(tail -1 "$work/out")"

cat > "$work/find.sql" <<SQL
ATTACH '$home/zuvemo-prices.db' AS p;
WITH v AS (SELECT * FROM p.Table_Valuation WHERE ValDate = (SELECT MAX(DayDate) FROM p.Table_ValuationDay)),
f AS (SELECT FilCode, CASE WHEN DocType LIKE 'FYFinancialStatements%' THEN NxFDivAnn ELSE FDivAnn END AS Fc,
        ROW_NUMBER() OVER (PARTITION BY FilCode ORDER BY DiscDate DESC, DiscNo DESC) AS n
      FROM p.Table_Filing
      WHERE (CASE WHEN DocType LIKE 'FYFinancialStatements%' THEN NxFDivAnn ELSE FDivAnn END) NOT IN ('', '-')),
c AS (SELECT BarCode, C FROM p.Table_Bar WHERE BarDate = '$day' AND C IS NOT NULL)
SELECT t.MgCode, t.MgMei, v.FwdPER, v.PBR, f.Fc / c.C AS Yield
FROM Table_Code t JOIN v ON v.ValCode = t.MgCode || '0' JOIN c ON c.BarCode = v.ValCode
JOIN f ON f.FilCode = v.ValCode AND f.n = 1
WHERE v.FwdPER > 0 AND v.FwdPER <= 15 AND v.PBR > 0 AND v.PBR <= 1 AND f.Fc / c.C >= 0.03
ORDER BY Yield DESC;
SQL
sql_ms=$(timed sqlite3 "$home/zuvemo.db" ".read $work/find.sql")
echo "sqlite3, the equivalent SELECT: ${sql_ms} ms (median of $runs), $(wc -l < "$work/out") rows"

tech_ms=$(timed "$bin/zuvemo-cli" --home "$home" find --dev25 :-5 --rsi :30 --vol-ratio 2:)
echo "find --dev25 :-5 --rsi :30 --vol-ratio 2: ${tech_ms} ms (median of $runs), $(tail -1 "$work/out")"
study_ms=$(timed "$bin/zuvemo-cli" --home "$home" find --bb :-1 --stoch-k :30 --below-cloud)
echo "find --bb :-1 --stoch-k :30 --below-cloud: ${study_ms} ms (median of $runs), $(tail -1 "$work/out")"
unkept() {  # one run of find after the kept figures are forgotten: every stock's figures computed
  sqlite3 "$home/zuvemo-prices.db" "DELETE FROM Table_PriceFigures;
    DELETE FROM Table_StoreState WHERE StateName = 'PriceFiguresDay'"
  local s e
  s=$(date +%s%N); "$bin/zuvemo-cli" --home "$home" find "$@" > "$work/out" 2>&1; e=$(date +%s%N)
  echo $(( (e - s) / 1000000 ))
}
echo "the same two computing the figures: $(unkept --dev25 :-5 --rsi :30 --vol-ratio 2:) ms and" \
  "$(unkept --bb :-1 --stoch-k :30 --below-cloud) ms (one run each)"
from=$(sqlite3 "$home/zuvemo-prices.db" "SELECT DayDate FROM Table_StoredDay ORDER BY DayDate DESC LIMIT 1 OFFSET 250")
bars_ms=$(timed sqlite3 "$home/zuvemo-prices.db" "SELECT count(*), sum(AdjH), sum(AdjL), sum(AdjC), sum(AdjVo), sum(Va)
  FROM Table_Bar WHERE +BarDate >= '$from' AND +BarDate <= '$day'")
echo "sqlite3 reading the same bars: ${bars_ms} ms (median of $runs)"
