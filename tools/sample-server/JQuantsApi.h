#pragma once

#include "SyntheticMarket.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace zuvemo::sample {

// The synthetic market as J-Quants API V2 serves it, under /v2 on the sample server:
//   /v2/equities/master?date=            names, markets, industries
//   /v2/equities/bars/daily?date=|code=&from=&to=   raw and adjusted bars, paged
//   /v2/markets/calendar?from=&to=       trading days
//   /v2/equities/valuation?date=         PER, PBR, ROE, EPS, BPS and market value of a day
//   /v2/fins/summary?date=               the filings disclosed that day
//   /v2/indices/bars/daily/topix?from=&to=  TOPIX's O, H, L, C (Light and up)
//   /v2/fins/dividend?date=|code=&from=&to=  dividend notices by their PubDate (Premium)
//   /v2/fins/earnings-date?date=         the results' dates published that day
//   /v2/markets/margin-interest?date=    the margin balances of a 申込日 (Standard and up)
//   /v2/bulk/list?endpoint=              the monthly files of bars, filings, dividend notices or
//                                        the daily lists (and the current month's day files),
//                                        each {Key, LastModified, Size}
//   /v2/bulk/get?key=                    {"url": …}: the file on the file host, under a signed
//                                        name good for one download within fileLifetime
// with the key checked (403), a rate limit (429) and a window of readable dates (400).
// Codes have five characters ("13000"; some are letter codes, "130A0"), prices of a few stocks
// are in 0.5-yen steps, a day without a trade has null prices, and the split stocks carry an
// AdjFactor of 0.5 on their split day with their earlier days adjusted.
class JQuantsApi
{
public:
    struct Options
    {
        std::string apiKey = "sample-key";
        int pageSize = 10000; // rows of one answer before a pagination_key
        int rateLimit = 0; // requests a minute before 429; 0: none
        int finsRateLimit = 0; // of them to /fins/…; 0: none
        std::chrono::milliseconds rateWindow{60000}; // the minute both are counted in
        // Readable dates; outside them 400 with the subscription message. Empty: all.
        std::optional<std::chrono::sys_days> windowFrom, windowTo;
        // The monthly files (Light and up); false answers /bulk/… with 403, as the Free plan.
        bool bulkFiles = true;
        // /fins/dividend and its files (Premium); false answers them with 403, as below Premium.
        bool premium = true;
        // TOPIX (Light and up) and the margin balances (Standard and up); false answers them
        // with 403, as the plans below.
        bool light = true;
        bool standard = true;
        std::chrono::milliseconds fileLifetime{5 * 60 * 1000};
    };

    JQuantsApi(SyntheticMarket& market, const Options& options);
    void install(httplib::Server& server);
    // The file host: the files /bulk/get names, on a server of their own whose address is base.
    void installFiles(httplib::Server& files, const std::string& base);
    // The head (every header line) of each request the file host was sent.
    std::vector<std::string> fileHeads() const;
    // The endpoints with files: their rows as the one-day (or, for dividends, one notice day)
    // answers give them.
    enum class FileKind { Bars, Filings, Dividends, Master };
    static std::string endpointOf(FileKind kind); // "/equities/bars/daily", …
    // A file's key: "equities/bars/daily/historical/2024/equities_bars_daily_202403.csv.gz" of
    // bars and period "202403"; a day's file for "20240305".
    static std::string keyOf(FileKind kind, const std::string& period);
    long requests() const { return m_requests.load(); }
    long rateLimited() const { return m_rateLimited.load(); } // 429s answered

    // The J-Quants code of a synthetic stock ("1300" → "13000", letter codes for some).
    static std::string codeOf(const SyntheticMarket::Stock& stock, std::size_t index);

    // The fundamentals' cases, by stock index: a fund without figures (nulls, no filings), a
    // company with losses (negative PER, no forecast PER), one that revises its dividend
    // forecast between filings, one whose earnings revision carries no dividend.
    static bool isFund(std::size_t index) { return index % 23 == 5; }
    static bool makesLosses(std::size_t index) { return index % 19 == 7; }
    static bool revisesDividend(std::size_t index) { return index % 11 == 3; }
    static bool revisesEarnings(std::size_t index) { return index % 13 == 6; }
    // A filing (or revision) on trading day t: its place in the stock's 60-day cycle.
    static int filingPhase(std::size_t index, std::size_t t)
    {
        return static_cast<int>((t + 3 * index) % 60);
    }
    // The annual dividend per share a stock forecasts for the current year, in yen on the basis
    // of the stock's first day; a split stock's filings before its split are on a basis twice as
    // high. The next year's forecast of a year-end filing is 1.1 times it, a revision's 1.2 times.
    static double dividendBase(const SyntheticMarket::Stock& stock);
    // Sales and profits, each rounded to 0.1 as the dividends: a statement (year-end or quarterly)
    // on day t sends Sales = eps × 1000, where eps is round(close of t ÷ 20 × the split basis, 2
    // decimals), OP = Sales × opMargin, NP = OP × 0.7; the forecast sales Sales × (1 + salesGrowth)
    // and forecast OP that × forecastMargin (NP 0.7 times it), as NxFSales, NxFOP, NxFNP in a
    // year-end statement and FSales, FOP, FNP in a quarterly one. An earnings revision sends FOP
    // and FNP at 1.1 times the forecast and no sales. EqAR: equityRatio as text in a statement,
    // none in a revision. Exceptions: index % 17 == 4 sends NxFSales and NxFOP "-"; index % 31 ==
    // 12 a year-end OP ""; index % 5 == 2 no EqAR ("") in quarterly statements. Funds file nothing.
    static double opMargin(std::size_t index)
    {
        return makesLosses(index) ? -0.05 : 0.02 + static_cast<double>(index % 9) / 100;
    }
    static double forecastMargin(std::size_t index) { return makesLosses(index) ? -0.02 : opMargin(index); }
    static double salesGrowth(std::size_t index) // -10 % to +20 %
    {
        return (static_cast<double>(index % 7) - 2) * 0.05;
    }
    static double equityRatio(std::size_t index) { return 0.2 + static_cast<double>(index % 50) / 100; }
    // The results' dates: a stock announces on the trading days of phase 0 of its 60-day cycle
    // (a day past the newest counts on by the calendar), published 20 trading days ahead; some
    // move it 2 trading days later in a publication 10 days ahead, some publish 未定 first and
    // the date 5 days ahead, some publish a date before its own publication day (impossible).
    // Every day a sixtieth of the stocks announce, the newest day too.
    static int earningsPhase(std::size_t index, std::size_t t)
    {
        return static_cast<int>((t + 7 * index) % 60);
    }
    static bool movesEarnings(std::size_t index) { return index % 7 == 1; }
    static bool undecidedEarnings(std::size_t index) { return index % 9 == 4; }
    static bool impossibleEarnings(std::size_t index) { return index % 97 == 13; }
    // The margin balances (long, short) of a stock on 申込日 t, in shares; a few have no short
    // balance, one sends a negative one now and then (impossible).
    static std::pair<double, double> marginBalance(std::size_t index, std::size_t t);
    static bool noShortBalance(std::size_t index) { return index % 29 == 8; }
    static bool negativeBalance(std::size_t index, std::size_t t) { return index % 53 == 20 && t % 13 == 0; }
    // The split day index of the split stocks, as the bars give it.
    static bool splits(std::size_t index) { return index % 67 == 21; }

private:
    // A monthly file's CSV text: the rows of bars or filings of the trading days from … to.
    using CsvOf
        = std::function<std::string(FileKind kind, std::chrono::sys_days from, std::chrono::sys_days to)>;
    bool guardRequest(const httplib::Request& req, httplib::Response& res);
    void installBulk(
        httplib::Server& server, CsvOf csvOf, std::chrono::sys_days first, std::chrono::sys_days present);
    std::string fileOf(const std::string& key);
    std::int64_t sizeOf(const std::string& key);
    // TOPIX of every trading day, made once.
    const std::vector<SyntheticMarket::Bar>& topix();
    // Every dividend notice of the whole history and a little after, by PubDate and RefNo.
    const std::vector<nlohmann::json>& dividendNotices();

    SyntheticMarket& m_market;
    Options m_options;
    std::once_flag m_topixOnce;
    std::vector<SyntheticMarket::Bar> m_topix;
    std::once_flag m_noticesOnce;
    std::vector<nlohmann::json> m_notices;
    std::atomic<long> m_requests{0};
    std::atomic<long> m_rateLimited{0};
    std::mutex m_rateMutex;
    std::deque<std::chrono::steady_clock::time_point> m_recent;
    std::deque<std::chrono::steady_clock::time_point> m_recentFins;
    CsvOf m_csvOf;
    std::map<std::string, std::pair<FileKind, std::string>> m_periods; // key → (kind, period)
    std::string m_fileBase;
    std::string m_modified; // the LastModified of every file
    mutable std::mutex m_fileMutex;
    std::map<std::string, std::int64_t> m_sizes;
    std::uint64_t m_signed = 0;
    // Signed names not used yet: the key and the end of their life.
    std::map<std::string, std::pair<std::string, std::chrono::steady_clock::time_point>> m_tokens;
    std::vector<std::string> m_fileHeads;
};

} // namespace zuvemo::sample
