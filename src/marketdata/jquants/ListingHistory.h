#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::marketdata {

// Which stocks were listed on a past day, and on which market and in which industry: the
// exchange's list as of past days (snapshots of /equities/master) kept beside the prices, and
// the listing intervals that follow from them and the days each stock traded. JPX sends no
// listing or delisting dates; a change between two snapshots is dated by the later one.
class ListingHistory
{
public:
    struct Attributes
    {
        std::string from; // the first day these hold
        std::string name, market, marketName, industry, industryName, sector17, scale, product;
        friend bool operator==(const Attributes&, const Attributes&) = default;
    };
    // One listing of a code: a code listed again after an absence is a new listing.
    struct Listing
    {
        std::string first; // its first day
        std::string last; // its last day; empty while the newest snapshot shows it
        std::vector<Attributes> attributes; // oldest first, the first from `first`
        bool listedOn(const std::string& day) const { return day >= first && (last.empty() || day <= last); }
        // The attributes in force on day, or nullptr when it was not listed then.
        const Attributes* on(const std::string& day) const;
    };
    struct Snapshot
    {
        std::string date; // the day the list is of, as the answer dates it
        std::map<std::string, Attributes> stocks; // by the store's five-character code
    };

    explicit ListingHistory(core::Connection& prices);

    // A master answer checked whole: one valid Date in every row, each code once (its four- and
    // five-character forms alike), a name and a market, no text over kMaxText characters. The
    // snapshot, or nothing with fault set.
    static std::optional<Snapshot> snapshotOf(const nlohmann::json& rows, std::string* fault);
    static constexpr std::size_t kMaxText = 200;

    // Stores a snapshot whole, replacing one of that day, in one transaction.
    void store(const Snapshot& snapshot);
    bool has(const std::string& day);
    std::vector<std::string> days();
    // The codes of the newest snapshot up to upTo (empty: all) listed again after an absence,
    // with the day of the last snapshot that missed them: their bars up to it are an earlier
    // listing's, which no figure of the present one reads. Empty without a history.
    static std::map<std::string, std::string> relisted(core::Connection& prices, const std::string& upTo);
    // Every market name (MktNm) the snapshots hold, in name order.
    std::vector<std::string> marketNames();
    // The snapshots up to upTo (empty: all) and after after (empty: from the first), oldest first.
    std::vector<Snapshot> snapshots(const std::string& upTo = {}, const std::string& after = {});
    // The same snapshots' codes and products (ProdCat) alone, by day then code, a row at a time.
    void eachProduct(const std::string& upTo,
        const std::function<void(
            const std::string& date, const std::string& code, const std::string& product)>& fn);

    // The days a history needs a snapshot of: the first stored trading day of every month, and
    // the newest. storedDays ascending.
    static std::vector<std::string> wantedDays(const std::vector<std::string>& storedDays);
    // Of the wanted days, those to ask for: not a day whose month already has a snapshot on or
    // before it (the depth's first month starts a day later each day, and must not cost a
    // request a day). Both ascending.
    static std::vector<std::string> toAsk(
        const std::vector<std::string>& wanted, const std::vector<std::string>& snapshotDays);

    // Each code's listings from the snapshots (oldest first) and the days each code traded
    // (ascending). A code that appears is listed from its first day with a trade after the
    // snapshot before (the later snapshot's day when it has none), one that disappears up to its
    // last day with a trade before the snapshot that misses it; a change of attributes holds from
    // the snapshot that shows it.
    static std::map<std::string, std::vector<Listing>> listings(const std::vector<Snapshot>& snapshots,
        const std::map<std::string, std::vector<std::string>>& tradedDays);

private:
    core::Connection& m_db;
};

} // namespace zuvemo::marketdata
