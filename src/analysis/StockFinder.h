#pragma once

#include "marketdata/jquants/Fundamentals.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::analysis {

// The stocks of the list held that meet every condition given: market, industry, the day's
// signals and the J-Quants figures. Reads what is stored; asks no server.
class StockFinder
{
public:
    // Inclusive bounds; a side left out is open. In the units of the figures: fractions for ROE
    // and the yield, yen for the market value.
    struct Range
    {
        std::optional<double> min, max;
    };
    struct Conditions
    {
        std::string market, industry;
        std::string signal; // "", "買" or "売"
        bool confirmed = false; // the volume-confirmed signal (Cchk) only
        std::map<std::string, Range> ranges; // by the figure's name (FigureTable)
        std::set<std::string> flags; // FigureTable's flags the stock must show: "new-high", …
        int cross = 0; // 1: a golden cross on the day, -1: a dead one; 0: no condition
        std::map<std::string, int> crosses; // FigureTable's other crosses on the day by name, as cross
        std::string sort = "code"; // "code" or a figure's name
        bool descending = false;
        int limit = 0; // 0: all
        bool prices = false; // compute the price figures even without a condition on them
        // A condition on one of JPX's figures, which a J-Quants folder has only: the exchange's
        // price-limit flags among them.
        bool hasFigures() const;
        bool limitFlags() const; // ストップ高 or ストップ安 asked for
        // Whether the price figures are needed: a condition, the order or prices.
        bool needsPrices() const;
    };
    struct Row
    {
        std::string code, name, market, industry;
        std::string achk, cchk; // "買", "売" or ""
        std::string state; // "停止中" for a suspended stock, else ""
        marketdata::Fundamentals::Figures figures;
    };
    struct Result
    {
        bool ok = false;
        std::string message; // Japanese, when not ok
        std::string tradingDate; // of the list held, YYYY-MM-DD
        std::string valuationDate; // of the figures; empty without any
        int count = 0; // the stocks that met the conditions, whatever the limit
        std::vector<Row> rows;
        // Why a search found nothing that it could not have found: kNotScreenedMessage and the
        // day of the last screening.
        std::string note;
    };

    static constexpr const char* kNoFiguresMessage = "PER などの指標は J-Quants のフォルダで使えます。";
    // Said by the tool and the windows alike, so it names both ways to fetch the list.
    static constexpr const char* kNoListMessage
        = "銘柄一覧がありません。先に最新の一覧を取得してください（zuvemo-cli refresh、"
          "または画面の「検索開始」）。";

    static constexpr const char* kNotScreenedMessage
        = "本日の注目株検査がまだのため、シグナルの条件に合う銘柄はありません。";

    // A store whose list day's bars came before the limit flags were kept cannot tell them.
    static std::string limitsNotKept(const std::string& day);

    explicit StockFinder(core::Mdl_Start& module);
    Result find(const Conditions& conditions);

    // Whether a row meets the figure conditions: a figure that is none fails its condition, a
    // PER or PBR range without a lower bound asks for more than 0 (a loss has no PER), and a
    // flag asked for must be set.
    static bool meets(const marketdata::Fundamentals::Figures& figures, const Conditions& conditions);
    // The same conditions with their figures found once, for a caller that tests them on many
    // rows (a rule, on every day of every stock): meets(figures, checksOf(c)) is meets(figures, c).
    struct Checks
    {
        struct RangeCheck
        {
            std::optional<double> marketdata::Fundamentals::Figures::*value;
            Range range;
            bool positive;
        };
        std::vector<RangeCheck> ranges;
        std::vector<bool marketdata::Fundamentals::Figures::*> flags;
        std::vector<std::pair<int marketdata::Fundamentals::Figures::*, int>> crosses;
        int cross = 0;
        bool unknown = false; // a name that is no figure's: no row meets them
    };
    static Checks checksOf(const Conditions& conditions);
    static bool meets(const marketdata::Fundamentals::Figures& figures, const Checks& checks);
    // One figure's range condition of meets; positive: the figure's positiveWithoutMin.
    static bool within(const std::optional<double>& value, const Range& range, bool positive);
    // Sorts rows by "code" or a figure's name, the stocks without the figure last either way;
    // code order within ties.
    static void sort(std::vector<Row>& rows, const std::string& key, bool descending);
    // A stable sort that moves each row once: a row is large, and a merge sort would move it
    // a dozen times over thousands of rows.
    static void order(std::vector<Row>& rows, const std::function<bool(const Row&, const Row&)>& less);
    // "code" or a figure's name.
    static bool isSortKey(const std::string& name);
    // The WHERE clause of Table_Code for the market and the industry given; empty for all.
    static std::string selection(const Conditions& conditions);
    // kNotScreenedMessage with the day of the last screening, "（最後の注目株検査 2026-12-07）",
    // when it kept one.
    static std::string notScreened(const std::string& lastDay);

private:
    core::Mdl_Start& m_module;
};

} // namespace zuvemo::analysis
