#pragma once

#include "HistoryFile.h"
#include "Indicators.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::analysis {

// The analysis of one price history. Loads the file into WorkTemp (one row per stored day,
// Wcount 1 the newest), then runs the indicator pass over the newest 250 stored days.
// mode 1 (chart): writes the nineteen indicator columns back and returns "00".
// Any other mode (screening): returns the two-digit signal code of the newest day.
// Throws DatabaseError when the file cannot be read or the table refuses a statement.
std::string CSVMDB(
    core::Mdl_Start& module, const std::filesystem::path& file, int mode, Indicators::Bounds bounds);

// Replaces the rows of WorkTemp by these history rows, numbered from 1 in file order.
void loadWorkTemp(core::Mdl_Start& module, const std::vector<HistoryRow>& rows);

// The newest rows of a history the signal code reads.
inline constexpr int kSignalRows = 250;

// The signal code of rows read from a history file, as CSVMDB computes it in screening mode.
std::string signalCodeOf(const std::vector<HistoryRow>& rows, Indicators::Bounds bounds);

// The judgement bounds as the main window reads them: the first row of Table_hantei, or 1.0 and 1.0.
Indicators::Bounds readBounds(core::Mdl_Start& module);

} // namespace zuvemo::analysis
