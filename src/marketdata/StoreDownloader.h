#pragma once

#include "Downloader.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
    // Reads every stored history in one pass when a run fetches many.
    void prepare(const std::vector<std::string>& urls) override;
    const std::vector<StoredDay>* storedHistory(const std::string& url) override;

    // A stock's history file from its stored days, newest first: date, the adjusted open, high,
    // low, close and volume, the turnover; days without a trade left out. Empty without days.
    static std::string historyFile(const std::string& code, PriceStore& store, int days);

private:
    std::unique_ptr<PriceStore> m_store;
    std::map<std::string, std::vector<StoredDay>> m_prepared; // by code, each handed out once
    std::vector<StoredDay> m_handed;
    int m_days;
};

} // namespace zuvemo::marketdata
