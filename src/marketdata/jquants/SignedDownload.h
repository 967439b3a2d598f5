#pragma once

#include "marketdata/CurlEasy.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zuvemo::marketdata {

// A file behind a signed address that /bulk/get gave: fetched from the file host with no
// header of the API's (the key belongs to the API host alone), its body streamed to a sink,
// never more than the bytes the list named.
class SignedDownload
{
public:
    struct Outcome
    {
        bool ok = false;
        bool cancelled = false;
        bool sinkRefused = false; // the sink said no: the sink knows why
        bool timedOut = false; // a stall, a drip past the deadline, or no connection in time
        std::int32_t code = 0; // HTTP status or the transfer's failure code
        std::string message; // Japanese, when not ok
        std::int64_t bytes = 0;
    };

    // A stall of stallSeconds without a byte ends the transfer, as does totalTimeoutMs.
    SignedDownload(long totalTimeoutMs, long stallSeconds, const std::atomic<bool>* cancel);

    Outcome get(const std::string& url, std::int64_t maxBytes,
        const std::function<bool(std::string_view piece)>& sink);

private:
    std::function<bool(std::string_view)> m_sink;
    CurlEasy m_easy;
};

} // namespace zuvemo::marketdata
