#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::marketdata {

// The margin balances of every stock (/markets/margin-interest, Standard plan and up): weekly
// rows of a Friday's 申込日 up to 2026-09-24, daily ones from 2026-09-25. Each row is kept with
// the day it became known, so a day's figure reads only what was published by then.
class MarginHistory
{
public:
    // The first 申込日 of the daily series.
    static constexpr const char* kDailyFrom = "2026-09-25";

    struct Row
    {
        std::string code; // the store's five characters
        std::string date; // 申込日
        std::string knownFrom; // PubDate, else the weekly series' publication day
        double longVol = 0, shrtVol = 0; // 信用買残, 信用売残 in shares
        std::optional<double> longNegVol, shrtNegVol, longStdVol, shrtStdVol; // 一般信用, 制度信用
        std::optional<double> longVal, shrtVal; // yen, daily rows only
        std::string issType; // 1 信用銘柄, 2 貸借銘柄, 3 other
        friend bool operator==(const Row&, const Row&) = default;
    };
    struct Check
    {
        bool ok = false;
        std::string fault; // why the whole answer is refused
        std::vector<Row> rows;
        int putAside = 0; // a negative or impossible balance, a publication before its 申込日
    };
    // The answer for 申込日 day checked whole: every row of that Date, a code once, LongVol and
    // ShrtVol numbers, PubDate a real day where sent. publishedOf: the weekly series'
    // publication day of a 申込日 (the second business day after it).
    static Check check(const nlohmann::json& rows, const std::string& day,
        const std::function<std::string(const std::string&)>& publishedOf);

    explicit MarginHistory(core::Connection& prices);
    static bool kept(core::Connection& prices);

    // A 申込日's rows and its mark, in one transaction.
    void store(const std::string& day, const std::vector<Row>& rows);
    std::vector<std::string> askedDays();
    // Every row known by upTo, by code then 申込日.
    std::vector<Row> rows(const std::string& upTo);
    // The same rows' balances alone, a row at a time.
    void eachBalance(const std::string& upTo,
        const std::function<void(const std::string& code, const std::string& date, const std::string& knownFrom,
            double longVol, double shrtVol)>& fn);

    // The 申込日 a fill asks among the trading days (ascending): before the daily series the
    // last trading day of each week, then every day; only those whose rows are published by
    // newest (publishedOf of the weekly ones, the next trading day of the daily ones).
    static std::vector<std::string> wantedDays(const std::vector<std::string>& tradingDays,
        const std::string& newest, const std::function<std::string(const std::string&)>& publishedOf);

private:
    core::Connection& m_db;
};

} // namespace zuvemo::marketdata
