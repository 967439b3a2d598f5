#pragma once

#include "StockFinder.h"

#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::analysis {

// Every rule tested in a folder, kept in its database: a result stands beside the tries behind it.
class RuleHistory
{
public:
    struct Entry
    {
        std::string at; // local time, "YYYY-MM-DD HH:MM:SS"
        std::string rule; // the conditions in words, with the bounds a range varied
        std::string firstDay, lastDay;
        int days = 0, variants = 1;
        std::string result; // in words: the best variant's figures
    };

    // One row in one statement; throws DatabaseError when the database refuses it.
    static void record(core::Connection& db, const Entry& entry);
    // Newest first; none in a folder that never tested a rule.
    static std::vector<Entry> list(core::Connection& db);
    // The variants tested in the folder, all entries together.
    static long long variantsTested(core::Connection& db);

    // "短期シグナル 買、25日乖離 〜-5%、RSI 〜35".
    static std::string describe(const StockFinder::Conditions& conditions);
    // The entries as lines for a terminal, newest first.
    static std::string text(const std::vector<Entry>& entries);
    // {"tests": n, "variants": n, "entries": [{at, rule, firstDay, lastDay, days, variants, result}]}.
    static std::string json(const std::vector<Entry>& entries);
};

} // namespace zuvemo::analysis
