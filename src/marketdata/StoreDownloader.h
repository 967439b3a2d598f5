#pragma once

#include "Downloader.h"

#include <filesystem>
#include <memory>
#include <string>

namespace zuvemo::marketdata {

class PriceStore;

// A J-Quants folder's histories, written from its price store in the price history file's
// format instead of downloaded: no request per stock. The address ends in the stock's code
// ("jquants:1301?download=csv").
class StoreDownloader : public Downloader
{
public:
    static constexpr const char* kHistoryUrl = "jquants:";

    StoreDownloader(const std::filesystem::path& programFolder, int days);
    ~StoreDownloader() override;

    std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override;
    bool isLocal() const override { return true; }

    // A stock's history file from its stored days, newest first: date, the adjusted open, high,
    // low, close and volume, the turnover; days without a trade left out. Empty without days.
    static std::string historyFile(const std::string& code, PriceStore& store, int days);

private:
    std::unique_ptr<PriceStore> m_store;
    int m_days;
};

} // namespace zuvemo::marketdata
