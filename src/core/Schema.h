#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zuvemo::core {

class Connection;

// The seven tables of the database file and the step that makes a new file.
class Schema
{
public:
    struct UrlRow
    {
        std::string dailyUrl; // kabuHUrl
        std::string historyUrl; // kabuMUrl
        std::string suffix = ".csv";
        std::string tradingDate = " "; // kabuHdate, eight digits or one blank
    };
    struct Bounds
    {
        double lower = 1.0; // CFGb3
        double upper = 1.0; // CFGb4
    };

    // Creates the tables in an empty database.
    static void createTables(Connection& connection);

    // Writes a complete new database file at path: built beside it and moved into place, so
    // an existing file is either untouched or wholly replaced. Throws DatabaseError.
    static void createDatabaseFile(
        const std::filesystem::path& path, const UrlRow& url, const std::optional<Bounds>& bounds);
};

} // namespace zuvemo::core
