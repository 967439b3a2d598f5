#pragma once

#include <filesystem>
#include <string>

namespace zuvemo::marketdata {

// Temporary files of downloads carry the process identifier in their names
// ("<file>.part-<pid>-<n>", "<file>.ahead-<pid>"), so runs side by side never share one and a
// run can tell the leftovers of a run that ended from the files of one still going.
class TempFiles
{
public:
    // "<file>.ahead-<pid>": a history fetched ahead of the analysis by this process.
    static std::filesystem::path stagingPath(const std::filesystem::path& file);

    // Removes, in folder, every temporary download file whose process no longer runs (and the
    // staging files of earlier versions, which had no identifier). Returns how many went.
    static int removeStale(const std::filesystem::path& folder);

    // The process that owns a temporary file name, 0 for a name without one, -1 for no
    // temporary file at all.
    static long ownerOf(const std::string& fileName);
};

} // namespace zuvemo::marketdata
