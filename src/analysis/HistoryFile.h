#pragma once

#include "marketdata/jquants/StoredDay.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// One stored day of a price history, as the import keeps it.
struct HistoryRow
{
    std::string date; // field 1 through the text rule
    double open = 0, high = 0, low = 0, close = 0, volume = 0, value = 0;
};

// Reads a price history file: two heading lines, then one day per line, newest first. A line
// becomes a row when its seventh field (trading value) is a whole number above 0; lines with
// fewer than seven fields are skipped. Empty optional when the file cannot be read.
std::optional<std::vector<HistoryRow>> readHistoryFile(const std::filesystem::path& path);
// The same from the file's bytes already in memory.
std::vector<HistoryRow> readHistoryBytes(std::string bytes);
// The rows the file written from these stored days would give (adjusted values, turnover above
// 0), and in *newest the date of its third line (the newest day with a trade), empty for none.
std::vector<HistoryRow> historyRowsOf(const std::vector<marketdata::StoredDay>& days, std::string* newest);

} // namespace zuvemo::analysis
