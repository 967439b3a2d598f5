#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::ui {

// A window's settings kept between starts in a table of its own in the database: one row of
// name and value each, all written at once.
class KeptSettings
{
public:
    // The rows of table, none when it does not exist yet.
    static std::map<std::string, std::string> read(core::Connection& db, const std::string& table);
    // The values in place of the table's rows, in one transaction.
    static void write(core::Connection& db, const std::string& table,
        const std::vector<std::pair<std::string, std::string>>& values);
};

} // namespace zuvemo::ui
