#pragma once

#include "jquants/StoredDay.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zuvemo::marketdata {

// The download seam: the refresh, the screening and the single-stock command fetch through it,
// so tests can put a fake in its place.
class Downloader
{
public:
    virtual ~Downloader() = default;

    // 0 when the whole body arrived with a 2xx status and now lies at path; any other value is a
    // failure (a libcurl code, an HTTP status, or kFileError) and leaves an existing file as it was.
    virtual std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) = 0;

    // A transfer under way ends, as a failure, soon after *flag turns true; nullptr: never.
    // Downloaders that cannot be interrupted ignore it.
    virtual void setCancelFlag(const std::atomic<bool>* flag) { (void)flag; }

    // True when the files come from this computer (a price store), not from a server: there is
    // nothing to fetch ahead in parallel.
    virtual bool isLocal() const { return false; }
    // Told the addresses a run is about to fetch, one after another.
    virtual void prepare(const std::vector<std::string>& urls) { (void)urls; }
    // The stored days behind an address of a local source, newest first, without a file in
    // between; nothing for a server. Valid until the next call. tradedDays: the days with a
    // trade and a turnover the reader needs at most (0: all); the history may end after them,
    // and its days may hold only the closes, the volume and the turnover.
    virtual const std::vector<StoredDay>* storedHistory(const std::string& url, std::size_t tradedDays)
    {
        (void)url;
        (void)tradedDays;
        return nullptr;
    }

    // The server could not be reached or did not answer in time (libcurl's codes lie below the
    // HTTP statuses): a later attempt at the same server is not likely to fare better.
    static bool isTransportFailure(std::int32_t code) { return code > 0 && code < 100; }
};

} // namespace zuvemo::marketdata
