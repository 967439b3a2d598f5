#pragma once

#include "StoredDay.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace zuvemo::core {
class Connection;
class Statement;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

class BarCopy;

// Every day a J-Quants folder has fetched, in a SQLite file of its own beside the database (so
// the compaction at close stays fast): one row per stock and day with the raw and the adjusted
// values. A day or a stock is stored in one transaction, so an interrupted fill keeps whole days.
class PriceStore
{
public:
    using Day = StoredDay;

    static constexpr const char* kFileName = "zuvemo-prices.db";

    // Opens (and makes) the store of a program folder.
    explicit PriceStore(const std::filesystem::path& programFolder);
    ~PriceStore();
    PriceStore(const PriceStore&) = delete;
    PriceStore& operator=(const PriceStore&) = delete;

    // The rows of /equities/bars/daily for one day, all stocks: stored, and the day marked whole.
    // A stock split that day (AdjFactor not 1) whose earlier days are stored has them adjusted
    // on the old basis: its fetch again is noted in the same transaction, so no stop loses it.
    // staleCodes: stocks of rows whose adjusted values are on a basis older than a split stored
    // after them (a monthly file made before it): their fetch again is noted in the same way.
    void storeDay(
        const std::string& date, const nlohmann::json& rows, const std::vector<std::string>& staleCodes = {});
    // One row of /equities/bars/daily as stored: its numbers in kBarFields order, each present
    // only where the row sent a number.
    static constexpr std::size_t kBarFieldCount = 12;
    static const std::array<const char*, kBarFieldCount>& barFields(); // "O", "H", … "AdjVo"
    struct Bar
    {
        std::string code, date;
        std::array<double, kBarFieldCount> values{};
        std::uint16_t given = 0; // bit i: values[i] was sent
        bool has(std::size_t i) const { return (given >> i & 1u) != 0; }
        // UL / LL: 1 the day touched its upper (lower) price limit, 0 it did not, -1 not sent
        // (or sent as something else, which says nothing).
        std::int8_t ul = -1, ll = -1;
    };
    // "1" / "0" (or the number or truth value): 1 / 0; anything else -1.
    static std::int8_t limitFlag(const nlohmann::json& value);
    static std::vector<Bar> barsOf(const nlohmann::json& rows); // rows without a code or date left out
    // Several days as storeDay stores each, in one transaction: a month's rows go in in the
    // key's order, so the pages they fill are written once and stay full. basis: for days stored
    // from monthly files, the day their adjusted values were made on; a split then has its
    // stock fetched again only when an older day stored is not of that day or later.
    void storeDays(const std::map<std::string, std::vector<Bar>>& days,
        const std::vector<std::string>& staleCodes,
        const std::map<std::string, std::string>* basis = nullptr);
    // The rows of one stock between from and to, replacing what was stored for it there, and
    // its pending fetch done, in one transaction.
    void storeStock(
        const std::string& code, const std::string& from, const std::string& to, const nlohmann::json& rows);
    // The stocks whose history is still to be fetched again, in code order.
    std::vector<std::string> pendingRefetches();
    bool hasDay(const std::string& date);
    std::vector<std::string> storedDays();
    // A stock's stored days up to upTo (YYYY-MM-DD; empty: all), newest first, at most count:
    // the date, the close and the adjusted values with the turnover (what a history shows).
    std::vector<Day> history(const std::string& code, int count, const std::string& upTo = {});
    // The same days to fn one at a time until it returns false: a reader that needs only the
    // newest of a deep history reads no more of it. closesOnly: of each day only the date, the
    // raw and adjusted closes, the adjusted volume and the turnover (what the signals read).
    void eachNewestDay(const std::string& code, int count, const std::string& upTo,
        const std::function<bool(const Day&)>& fn, bool closesOnly = false);
    // One stored day of a stock as the price figures read it: days[day] of the days asked.
    struct DayBar
    {
        std::size_t day = 0;
        bool traded = false;
        double adjH = 0, adjL = 0, adjC = 0, adjVo = 0, va = 0;
        double c = 0, adjO = 0; // the raw close; the adjusted open
        double o = 0, adjFactor = 1; // the raw open; the day's split factor
        std::int8_t ul = -1, ll = -1; // as Bar's: 1 touched, 0 not, -1 not kept
    };
    // Every stock's stored bars on the given days (ascending), a stock at a time in code order,
    // oldest first: the one read of the whole store a search makes, so nothing is copied twice.
    // closesOnly: of each bar only the closes, the adjusted volume and the turnover. fromCode and
    // toCode (store codes), when given: only the stocks between them, both included.
    // highLow, touches: without them a bar's adjusted high and low are 0 and its UL and LL not
    // kept (-1), for a reader whose figures read none of them.
    struct BarColumns
    {
        bool highLow, touches;
    };
    void eachStockBars(const std::vector<std::string>& days,
        const std::function<void(const std::string& code, const std::vector<DayBar>& bars)>& fn,
        bool closesOnly = false, const std::string& fromCode = {}, const std::string& toCode = {},
        BarColumns columns = {true, true});
    // A stock's days with a trade among days (ascending; store code); firstOnly: the first of
    // them alone. Read by the key, for a reader that does not want the bars yet.
    std::vector<std::string> tradedDays(
        const std::string& code, const std::vector<std::string>& days, bool firstOnly);
    // Whether a stock has any bar, traded or not, on one of days[first … last].
    bool hasBars(
        const std::string& code, const std::vector<std::string>& days, std::size_t first, std::size_t last);
    // The price figures of a stock on a day, as a search computed them from the bars: kept so
    // the next search of that day reads 4,000 rows, not every bar.
    static constexpr std::size_t kPriceFigureCount = 21;
    struct PriceFigures
    {
        std::array<std::optional<double>, kPriceFigureCount> values;
        unsigned flags = 0; // a bit a flag, in the order its reader gives them
        int cross = 0, macdCross = 0, tenkanCross = 0;
    };
    // Some bar of day carries the exchange's limit flags (bars stored before they were kept
    // carry none).
    bool limitFlagsKept(const std::string& day);
    // The store's own connection, for the tables kept beside the prices (the listing history).
    core::Connection& connection() { return *m_connection; }
    // A number that changes whenever another connection commits to the store.
    long long dataVersion();
    // The figures kept for day, by the list's code; none when they are not (any bar written
    // since forgets them).
    std::optional<std::map<std::string, PriceFigures>> keptPriceFigures(const std::string& day);
    // Keeps the figures of day computed from the bars read at version; nothing when the store
    // changed since or another program holds it: never waits, never fails the search.
    void keepPriceFigures(
        const std::string& day, long long version, const std::map<std::string, PriceFigures>& figures);
    // Every stock's stored days up to upTo, newest first per stock, at most count each.
    std::vector<std::pair<std::string, std::vector<Day>>> histories(int count, const std::string& upTo = {});

    // One stock's valuation of a day as JPX sent it; none where it sent none.
    struct Valuation
    {
        std::string code;
        std::optional<double> eps, fwdEps, bps, roe, fwdRoe, per, fwdPer, pbr, marketCap; // MktCap: millions
    };
    // One filing, its fields as text exactly as sent ("" where none came).
    struct Filing
    {
        std::string code, discDate, discNo, docType, curPerType, curFyStart, curFyEnd;
        std::string divAnn, fDivAnn, nxFDivAnn, eps, fEps, nxFEps, sales, fSales, nxFSales;
        std::string op, fOp, nxFOp, np, fNp, nxFNp, eqAr; // eqAr: a fraction ("0.523")
        // false: stored before op … eqAr were kept, so they are unknown (read as ""), not none sent.
        bool complete = true;
    };
    static const std::vector<const char*>& valuationFields(); // "EPS", "FwdEPS", …
    static const std::vector<const char*>& filingFields(); // "DocType", … (after DiscDate, Code, DiscNo)

    // /equities/valuation of one day, checked: stored whole and the day marked.
    void storeValuation(const std::string& date, const nlohmann::json& rows);
    bool hasValuation(const std::string& date);
    // The newest day up to upTo with a valuation stored, or empty.
    std::string valuationDay(const std::string& upTo);
    // What the store holds up to upTo (YYYY-MM-DD), for the words that end a fill.
    struct Contents
    {
        int priceDays = 0;
        int filingDays = 0;
        long filings = 0;
        std::string valuationDay; // the newest, or empty
    };
    Contents contents(const std::string& upTo);
    std::vector<Valuation> valuations(const std::string& date);
    // /fins/summary of one disclosure day, checked: stored whole and the day marked (a day
    // without filings too).
    void storeFilings(const std::string& date, const nlohmann::json& rows);
    bool hasFilingDay(const std::string& date);
    // Whether any filing disclosed after date is stored.
    bool hasFilingsAfter(const std::string& date);
    // The most bars a stored day holds; 0 when none is stored.
    std::size_t largestDayRows();
    // Every stored filing up to upTo to fn, a stock's together, newest first (DiscDate, then
    // DiscNo): only its code, dates, document type, dividends, sales, operating profits and equity
    // ratio, which is all the figures read of it. fn returns false when it needs no older filing
    // of that stock: those are passed over.
    void eachFiling(const std::string& upTo, const std::function<bool(const Filing&)>& fn);
    // The same filings in the key's order: a stock's together, oldest first.
    void eachFilingOldestFirst(const std::string& upTo, const std::function<void(const Filing&)>& fn);
    // The raw close of each stock on a day (traded stocks only), by store code.
    std::map<std::string, double> closes(const std::string& date);
    // Every AdjFactor other than 1 up to upTo: (code, date, factor).
    std::vector<std::tuple<std::string, std::string, double>> splits(const std::string& upTo);

    // The trading days of the calendar between from and to as stored ("1" or "2" HolDiv).
    void storeCalendar(const nlohmann::json& rows);
    std::vector<std::string> tradingDays(const std::string& from, const std::string& to);
    // The last day the stored calendar tells of, trading or not; empty without a calendar.
    std::string calendarEnd();

    // A text that changes with every bar written, in the writing transaction; empty until the
    // first bar written since the store had it.
    std::string barsStamp();
    // Writes the copy of the bars beside the store (BarCopy) unless the one there is of the
    // bars' stamp already: after a refresh, so the searches after it read no bar through SQLite.
    // A copy not written costs speed alone: it never fails the caller.
    void keepBarCopy();

    // A fill begun and not yet ended (stopped, or the program closed): the next start goes on.
    void setFillPending(bool pending);
    bool fillPending();
    // Whether a folder has a store at all, without making one.
    static bool exists(const std::filesystem::path& programFolder);

    // "72030" → "7203", "130A0" → "130A": the code the stock list shows.
    static std::string listCode(const std::string& code);
    // The way back: "7203" → "72030"; a code of five characters stays.
    static std::string storeCode(const std::string& listCode);

    static constexpr const char* kNoDataMessage
        = "価格データがまだありません。「検索開始」または zuvemo-cli refresh で取得してください。";

private:
    void open(const std::filesystem::path& programFolder);
    // A store made before the growth figures: their filing columns added.
    void addFilingColumns();
    void addBarColumns();
    void addFigureColumns();
    // eachStockBars through SQLite.
    void readStockBars(const std::vector<std::string>& days,
        const std::function<void(const std::string& code, const std::vector<DayBar>& bars)>& fn,
        bool closesOnly, const std::string& fromCode, const std::string& toCode, BarColumns columns);
    // Rows in the key's order: (code, date) ascending.
    void storeRows(const std::vector<const Bar*>& rows);

    std::filesystem::path m_folder;
    std::unique_ptr<core::Connection> m_connection;
    std::unique_ptr<BarCopy> m_barCopy; // of the stamp last seen, or none
    // Prepared once for the many stocks a screening reads; finalized before the connection closes.
    std::unique_ptr<core::Statement> m_newestDays, m_newestCloses;
    // The day before a relisted code's present listing, for the upTo it was read for.
    std::string listingSince(const std::string& code, const std::string& upTo);
    std::optional<std::pair<std::string, std::map<std::string, std::string>>> m_relisted;
};

} // namespace zuvemo::marketdata
