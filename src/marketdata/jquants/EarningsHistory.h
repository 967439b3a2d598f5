#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::marketdata {

// When each company announces its results next (/fins/earnings-date), with the history of
// changes: a newer publication for the same stock and quarter replaces the older one from its
// day on, so a day's figure reads only what was published by then.
class EarningsHistory
{
public:
    struct Row
    {
        std::string code; // the store's five characters
        std::string fye, quarter; // FYE, FQName
        std::string pubDate;
        std::string schDate; // empty: 未定
        friend bool operator==(const Row&, const Row&) = default;
    };
    struct Check
    {
        bool ok = false;
        std::string fault; // why the whole answer is refused
        std::vector<Row> rows; // what may be stored
        int putAside = 0; // a scheduled day before its own publication
    };
    // The answer for one publication day, checked whole: every row of that PubDate, a code, a
    // quarter, a fiscal year end, SchDate a real day or empty, each stock and quarter once.
    static Check check(const nlohmann::json& rows, const std::string& day);

    explicit EarningsHistory(core::Connection& prices);
    // Whether a store holds the table at all, without making it.
    static bool kept(core::Connection& prices);

    // A day's rows and its mark, in one transaction: a stop leaves the day asked again.
    void store(const std::string& day, const std::vector<Row>& rows);
    std::vector<std::string> askedDays();
    // Every row published up to upTo, by code, then quarter, then publication.
    std::vector<Row> rows(const std::string& upTo);
    // The same, a row at a time.
    void eachRow(const std::string& upTo, const std::function<void(const Row&)>& fn);

    // The next announcement each stock (store code) has scheduled as known on day: of each
    // quarter the newest publication up to day, the earliest of those dated day or later. A
    // stock whose quarters are all past or 未定 has none. known: rows as rows() gives them.
    static std::map<std::string, std::string> next(const std::vector<Row>& known, const std::string& day);

private:
    core::Connection& m_db;
};

} // namespace zuvemo::marketdata
