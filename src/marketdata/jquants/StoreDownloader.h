#pragma once

#include "marketdata/Downloader.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
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

    // The trading date of the list held (YYYY-MM-DD), asked when the store is first read and at
    // each prepare: a refresh may store a day before its list is loaded, and no history may
    // run ahead of the list it is screened for.
    using ListDate = std::function<std::string()>;

    StoreDownloader(const std::filesystem::path& programFolder, int days, ListDate listDate = {});
    ~StoreDownloader() override;

    std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override;
    bool isLocal() const override { return true; }
    // A run begins: the list's date is asked again.
    void prepare(const std::vector<std::string>& urls) override;
    const std::vector<StoredDay>* storedHistory(const std::string& url, std::size_t tradedDays) override;

    // A stock's history file from its stored days, newest first: date, the adjusted open, high,
    // low, close and volume, the turnover; days without a trade left out. Empty without days.
    static std::string historyFile(
        const std::string& code, PriceStore& store, int days, const std::string& upTo = {});

private:
    const std::string& upTo();

    std::unique_ptr<PriceStore> m_store;
    std::vector<StoredDay> m_handed;
    int m_days;
    ListDate m_listDate;
    std::optional<std::string> m_upTo;
};

} // namespace zuvemo::marketdata
