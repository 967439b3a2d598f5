#pragma once

#include "JQuantsClient.h"
#include "marketdata/DataSource.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Clock;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

class PriceStore;

// Brings a J-Quants folder's price store up to the newest day the key may read and writes that
// day's stock list in the daily quote file's format, for the same import as a CSV folder's.
class JQuantsRefresh
{
public:
    struct Result
    {
        bool ok = false;
        bool cancelled = false;
        std::string message; // Japanese, when not ok
        std::string tradingDate; // YYYY-MM-DD of the newest readable day
        bool listWritten = false; // false when the newest day is not after the day held
        long requests = 0;
        int daysFetched = 0;
        int stocksRefetched = 0; // after a split
        int filingDaysFetched = 0;
        int priceDays = 0; // trading days of the history depth
        int filesRead = 0; // monthly files read whole and used
        long long fileBytes = 0; // bytes downloaded from the file host
        int topixDaysFetched = 0;
        int listsFetched = 0; // lists of past days for the listing history
        int listFiles = 0; // of filesRead, the monthly files of lists
        int dividendDaysFetched = 0; // notice days of dividends (Premium), by request or file
        int earningsDaysFetched = 0; // publication days of the results' dates
        int marginDaysFetched = 0; // 申込日 of the margin balances (Standard and up)

        // What the run left out and why, one line each: for its summary and the journal.
        std::vector<std::string> notes;
    };
    // What one request tells of a key: whether it is taken and the newest day it reads.
    struct Probe
    {
        bool ok = false;
        std::string newest; // YYYY-MM-DD, empty when the answer named none
        std::string message; // Japanese, when not ok
    };
    // Where a fill stands: the price days of the history depth, then the disclosure days, each
    // stored and wanted, and the requests made so far.
    struct Step
    {
        int pricesDone = 0;
        int pricesTotal = 0;
        int filingsDone = 0;
        int filingsTotal = 0;
        long requests = 0;
        // The exchange's lists of past days the listing history keeps: a month's first day each.
        int listsDone = 0;
        int listsTotal = 0;
        // The notice days of dividends (Premium): every day of the depth, each asked once.
        int dividendsDone = 0;
        int dividendsTotal = 0;
        // The publication days of the results' dates (the disclosure days), and the 申込日 of
        // the margin balances (Standard and up).
        int earningsDone = 0;
        int earningsTotal = 0;
        int marginDone = 0;
        int marginTotal = 0;
        int done() const
        {
            return pricesDone + filingsDone + listsDone + dividendsDone + earningsDone + marginDone;
        }
        int total() const
        {
            return pricesTotal + filingsTotal + listsTotal + dividendsTotal + earningsTotal + marginTotal;
        }
    };
    // Called before each day is asked for and once at the end; false stops the fill (what is
    // stored stays).
    using Progress = std::function<bool(const Step& step)>;
    // Called once the newest day's list is written, before the older days are fetched: a window
    // loads it at once and screens with what the store holds meanwhile.
    using ListReady = std::function<void(const std::string& tradingDate)>;
    // Where the monthly files stand, counted over the whole depth as Step is: the files read
    // (by earlier runs too) and of the depth, the next file's month ("2024-03"), and the days
    // wanted that the files left to read do not bring, to be asked one at a time after them.
    struct FileStep
    {
        int done = 0;
        int total = 0;
        std::string month;
        int pricesAfter = 0;
        int filingsAfter = 0;
    };
    // Called before each monthly file and once after the last; false stops the fill as
    // Progress does.
    using FileProgress = std::function<bool(const FileStep& step)>;

    // Trading days back from the newest whose disclosures are read at the first fill.
    static constexpr std::ptrdiff_t kFilingDays = 130;
    // Calendar days ahead of today the exchange's calendar is kept for.
    static constexpr int kCalendarAhead = 190;

    JQuantsRefresh(const std::filesystem::path& programFolder, const DataSource& source,
        const JQuantsClient::Options& client, const core::Clock& clock);

    Result run(const std::string& heldDashed, const std::filesystem::path& listFile,
        const Progress& progress = {}, const ListReady& listReady = {});
    void setFileProgress(FileProgress progress) { m_fileProgress = std::move(progress); }

    // One request for a stock's last month: its newest row, or the end of the plan's window a
    // 400 names. Without a code (a folder with no list yet), the day's master is asked first for
    // one. Never retried, so a dialog has its answer within the time-outs.
    static Probe probe(JQuantsClient::Options client, const std::string& code5, const core::Clock& clock);

    // The list of one stored day in the daily quote file's format (code page 932): the stocks
    // the master names (the others counted in *unknown).
    static std::string dailyList(const std::string& date, const nlohmann::json& bars,
        const nlohmann::json& master, int* unknown = nullptr);
    // "情報･通信業" → "情報・通信業", as JPX prints the names.
    static std::string fullWidthPunctuation(std::string text);
    // The last date of "…covers the following dates: 2024-05-24 ~ 2026-05-24…", or empty.
    static std::string windowEnd(const std::string& message);
    static std::string windowStart(const std::string& message);

private:
    // Fetches again every stock a split left stale; false (with the message) on a failure.
    static bool completeRefetches(JQuantsClient& client, PriceStore& store, Result& result);
    // TOPIX for the stored days without it, where the plan offers it; a failure is a note.
    static void fetchTopix(JQuantsClient& client, PriceStore& store, bool offered, Result& result);
    // Checks a notice day's (or a month file's) dividends whole, puts aside those no dividend can
    // be (counted in a note) and stores the rest with the days they are the whole of; false with
    // the fault when the answer is refused whole.
    // file: rows of a month's file, whose notices of days not asked are passed over.
    static bool keepDividends(PriceStore& store, const nlohmann::json& rows,
        const std::vector<std::string>& days, const std::string& newest, bool file, Result& result,
        std::string& fault);
    // The results' dates of each publication day and the margin balances of each 申込日 not
    // asked yet, newest first; false (with the message) when the run must end.
    static bool fetchEarnings(JQuantsClient& client, PriceStore& store, const std::vector<std::string>& days,
        Step& step, const std::function<bool()>& goOn, Result& result);
    static bool fetchMargin(JQuantsClient& client, PriceStore& store, const std::vector<std::string>& days,
        Step& step, const std::function<bool()>& goOn, Result& result);
    static bool failed(const JQuantsClient& client, Result& result, const std::string& what);
    static bool malformed(
        const JQuantsClient& client, Result& result, const std::string& what, const std::string& fault);

    std::filesystem::path m_folder;
    DataSource m_source;
    JQuantsClient::Options m_clientOptions;
    const core::Clock& m_clock;
    FileProgress m_fileProgress;
};

} // namespace zuvemo::marketdata
