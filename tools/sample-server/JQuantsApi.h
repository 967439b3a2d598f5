#pragma once

#include "SyntheticMarket.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace httplib {
class Server;
}

namespace zuvemo::sample {

// The synthetic market as J-Quants API V2 serves it, under /v2 on the sample server:
//   /v2/equities/master?date=            names, markets, industries
//   /v2/equities/bars/daily?date=|code=&from=&to=   raw and adjusted bars, paged
//   /v2/markets/calendar?from=&to=       trading days
// with the key checked (403), a rate limit (429) and a window of readable dates (400).
// Codes have five characters ("13000"; some are letter codes, "130A0"), prices of a few stocks
// are in 0.5-yen steps, a day without a trade has null prices, and the split stocks carry an
// AdjFactor of 0.5 on their split day with their earlier days adjusted.
class JQuantsApi
{
public:
    struct Options
    {
        std::string apiKey = "sample-key";
        int pageSize = 10000; // rows of one answer before a pagination_key
        int rateLimit = 0; // requests a minute before 429; 0: none
        // Readable dates; outside them 400 with the subscription message. Empty: all.
        std::optional<std::chrono::sys_days> windowFrom, windowTo;
    };

    JQuantsApi(SyntheticMarket& market, const Options& options);
    void install(httplib::Server& server);
    long requests() const { return m_requests.load(); }

    // The J-Quants code of a synthetic stock ("1300" → "13000", letter codes for some).
    static std::string codeOf(const SyntheticMarket::Stock& stock, std::size_t index);

private:
    SyntheticMarket& m_market;
    Options m_options;
    std::atomic<long> m_requests{0};
    std::mutex m_rateMutex;
    std::deque<std::chrono::steady_clock::time_point> m_recent;
};

} // namespace zuvemo::sample
