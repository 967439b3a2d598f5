#pragma once

#include <optional>
#include <string>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::marketdata {

// Where a program folder takes its market data from, kept in its database (Table_Source): the
// CSV addresses of Table_Url, or the J-Quants API with a local price store.
struct DataSource
{
    static constexpr const char* kCsv = "csv";
    static constexpr const char* kJQuants = "jquants";
    // The synthetic market a program started beside itself: CSV addresses on loopback.
    static constexpr const char* kSample = "sample";
    static constexpr const char* kDefaultApiUrl = "https://api.jquants.com/v2";
    static constexpr int kDefaultDays = 300;

    std::string kind = kCsv;
    std::string apiUrl = kDefaultApiUrl;
    std::string plan = "free"; // free, light, standard, premium
    int days = kDefaultDays; // history depth in trading days

    bool isJQuants() const { return kind == kJQuants; }
    bool isSample() const { return kind == kSample; }
    // Requests a minute the plan allows; 0 for an unknown plan.
    static int requestsPerMinute(const std::string& plan);
    // How old the plan's newest day is, in weeks: the Free plan reads 12 weeks back.
    static int delayWeeks(const std::string& plan);
    // "Free", "Light", "Standard", "Premium".
    static std::string planName(const std::string& plan);
    // Minutes a fill of this many days takes at the plan's pace, rounded up.
    static long fillMinutes(const std::string& plan, int days);
    // Whether the plan reads the monthly files (Light and up).
    static bool hasBulkFiles(const std::string& plan);
    // The margin balances (/markets/margin-interest): Standard and up.
    static bool hasMarginBalances(const std::string& plan);
    // The most trading days of history the plan reads: 2 years on Free, 5 on Light, 10 on
    // Standard, since 2008 (18 years) on Premium; 0 for an unknown plan.
    static int maxDays(const std::string& plan);
    // Minutes a first fill of days (prices and disclosures) takes at the plan's pace, rounded
    // up: a request a day on Free, a month's file for two requests on the others.
    static long firstFillMinutes(const std::string& plan, int days);
    // Why days cannot be the plan's history depth, in Japanese; empty when it can.
    static std::string daysProblem(const std::string& plan, int days);

    // The folder's source; a database without Table_Source is a CSV folder.
    static DataSource read(core::Connection& connection);
    // Makes Table_Source when missing and stores source in one transaction.
    static void write(core::Connection& connection, const DataSource& source);
    // The same inside the caller's transaction.
    static void writeWithin(core::Connection& connection, const DataSource& source);
    // "jquants https://api.jquants.com/v2 plan=free days=300" or "csv".
    std::string describe() const;
};

} // namespace zuvemo::marketdata
