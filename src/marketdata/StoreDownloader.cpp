#include "StoreDownloader.h"

#include "CurlDownloader.h"
#include "PriceStore.h"
#include "core/Platform.h"
#include "core/TextCodec.h"
#include "core/Value.h"

namespace zuvemo::marketdata {

StoreDownloader::StoreDownloader(const std::filesystem::path& programFolder, int days)
    : m_store(std::make_unique<PriceStore>(programFolder))
    , m_days(days)
{
}

StoreDownloader::~StoreDownloader() = default;

std::string StoreDownloader::historyFile(const std::string& code, PriceStore& store, int days)
{
    // The store's codes have five characters: "7203" is "72030", "130A" is "130A0".
    const std::string stored = code.size() == 4 ? code + "0" : code;
    const auto rows = store.history(stored, days);
    std::string text = core::TextCodec::encodeCp932(
        code + " 株価時系列 (J-Quants)\r\n日付,始値,高値,安値,終値,出来高,売買代金\r\n")
                           .value_or("\r\n\r\n");
    int written = 0;
    for (const auto& d : rows) {
        if (!d.traded) {
            continue;
        }
        using core::Value;
        text += d.date + "," + Value::numberText(d.adjO) + "," + Value::numberText(d.adjH) + ","
            + Value::numberText(d.adjL) + "," + Value::numberText(d.adjC) + "," + Value::numberText(d.adjVo)
            + "," + Value::numberText(d.va) + "\r\n";
        ++written;
    }
    return written == 0 ? std::string() : text;
}

std::int32_t StoreDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    // The code is the address's last part, whatever comes before it.
    std::string code = url.substr(0, url.find('?'));
    code = code.substr(code.find_last_of("/:") == std::string::npos ? 0 : code.find_last_of("/:") + 1);
    const std::string text = historyFile(code, *m_store, m_days);
    if (text.empty()) {
        return 404;
    }
    return core::Platform::writeWholeFile(path, text) ? 0 : CurlDownloader::localFailure();
}

} // namespace zuvemo::marketdata
