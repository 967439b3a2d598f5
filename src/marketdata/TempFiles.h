#pragma once

#include <filesystem>
#include <string>

namespace zuvemo::marketdata {

// Temporary files of downloads carry the process identifier in their names
// ("<file>.part-<pid>-<n>", ".ahead-<pid>-<n>"), so runs side by side never share one and a
// run can tell the leftovers of a run that ended from the files of one still going.
class TempFiles
{
public:
    // "<folder>/.ahead-<pid>-<n>": a staging file of this process for histories fetched ahead
    // of the analysis.
    static std::filesystem::path stagingPath(const std::filesystem::path& folder, unsigned n);

    // Removes, in folder, every temporary download file whose process no longer runs (and the
    // staging files of earlier versions, which had no identifier). Returns how many went.
    static int removeStale(const std::filesystem::path& folder);

    // "<target>.part-<pid>-<n>": a temporary file of this process that becomes target when whole.
    static std::filesystem::path partPath(const std::filesystem::path& target);

    // Removes the temporary files of target whose process no longer runs, with those of
    // earlier versions ("<target>.part" and the archive library's "<target>.part.XXXXXX"). Only
    // names that start with target's own are looked at: it may live in any folder of the user.
    static int removeStaleOf(const std::filesystem::path& target);

    // The process that owns a temporary file name, 0 for a name without one, -1 for no
    // temporary file at all.
    static long ownerOf(const std::string& fileName);
};

} // namespace zuvemo::marketdata
