#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::marketdata {

// TOPIX by day (/indices/bars/daily/topix, Light plan and up), kept beside the prices: what a
// Japanese investor measures a rule against.
class TopixHistory
{
public:
    struct Bar
    {
        std::string date;
        double o = 0, h = 0, l = 0, c = 0;
        friend bool operator==(const Bar&, const Bar&) = default;
    };
    struct Check
    {
        bool ok = false;
        std::string fault; // why the whole answer is refused
        std::vector<Bar> bars; // the days kept, in date order
        std::vector<std::string> putAside; // days whose values could not be an index's
    };
    // An answer for from … to checked whole: every Date a real day in the range and once; a day
    // whose four values are not positive numbers with the low under and the high over the others
    // is put aside and named, the rest kept.
    static Check check(const nlohmann::json& rows, const std::string& from, const std::string& to);

    explicit TopixHistory(core::Connection& prices);
    void store(const std::vector<Bar>& bars); // in one transaction
    std::vector<Bar> bars(const std::string& from, const std::string& to);
    // The first of days (ascending) that has no TOPIX stored; empty when each has.
    std::string firstMissing(const std::vector<std::string>& days);

private:
    core::Connection& m_db;
};

} // namespace zuvemo::marketdata
