#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::marketdata {

// True when the file could be read and the start of its date line equals label: mode "H" the
// first 11 characters of line 1 (daily quote file), mode "M" the first 10 of line 3 (history).
bool CheckCSV(const std::string& mode, const std::filesystem::path& path, const std::string& label);
// The same check on a file's bytes already in memory.
bool CheckCSVBytes(const std::string& mode, std::string bytes, const std::string& label);

// True when line 3 starts with a date ("YYYY-MM-DD"): the file is a history, of whatever day.
// A page of another kind (a maintenance notice, an error page) is not.
bool HasHistoryDate(const std::filesystem::path& path);
bool HasHistoryDateBytes(std::string bytes);

// How many stocks the daily quote file would load; nothing when it cannot be read.
std::optional<std::size_t> CountStocks(const std::filesystem::path& path);

// Replaces Table_Code by the stocks of the daily quote file and records its trading date
// (dateText: "YYYY-MM-DD") in Table_Url. All or nothing: on any failure the previous list and
// date stay whole and the result is false, with refused (when given) saying which line of the
// file was refused and why ("3 行目: コードが重複しています").
bool CreateMDB(core::Mdl_Start& module, const std::filesystem::path& path, const std::string& dateText,
    std::string* refused = nullptr);

} // namespace zuvemo::marketdata
