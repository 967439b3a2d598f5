#include "StoreDownloader.h"

#include "PriceStore.h"
#include "core/Platform.h"
#include "core/TextCodec.h"
#include "core/Value.h"
#include "marketdata/CurlDownloader.h"

namespace zuvemo::marketdata {

StoreDownloader::StoreDownloader(const std::filesystem::path& programFolder, int days, ListDate listDate)
    : m_store(std::make_unique<PriceStore>(programFolder))
    , m_days(days)
    , m_listDate(std::move(listDate))
{
}

const std::string& StoreDownloader::upTo()
{
    if (!m_upTo) {
        m_upTo = m_listDate ? m_listDate() : std::string();
    }
    return *m_upTo;
}

StoreDownloader::~StoreDownloader() = default;

namespace {

std::string storedCode(const std::string& code)
{
    // The store's codes have five characters: "7203" is "72030", "130A" is "130A0".
    return code.size() == 4 ? code + "0" : code;
}

std::string fileText(const std::string& code, const std::vector<PriceStore::Day>& rows)
{
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

// The code is the address's last part, whatever comes before it.
std::string codeOf(const std::string& url)
{
    std::string code = url.substr(0, url.find('?'));
    const auto slash = code.find_last_of("/:");
    return slash == std::string::npos ? code : code.substr(slash + 1);
}

} // namespace

std::string StoreDownloader::historyFile(
    const std::string& code, PriceStore& store, int days, const std::string& upTo)
{
    return fileText(code, store.history(storedCode(code), days, upTo));
}

void StoreDownloader::prepare(const std::vector<std::string>& urls)
{
    m_prepared.clear();
    m_upTo.reset();
    if (urls.size() < 50) {
        return; // a few stocks: a query each costs less than reading the whole store
    }
    for (auto& [stored, days] : m_store->histories(m_days, upTo())) {
        m_prepared[PriceStore::listCode(stored)] = std::move(days);
    }
}

const std::vector<StoredDay>* StoreDownloader::storedHistory(const std::string& url)
{
    const std::string code = codeOf(url);
    if (auto it = m_prepared.find(code); it != m_prepared.end()) {
        m_handed = std::move(it->second);
        m_prepared.erase(it);
    } else {
        m_handed = m_store->history(storedCode(code), m_days, upTo());
    }
    return &m_handed;
}

std::int32_t StoreDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    const std::string code = codeOf(url);
    std::string text;
    if (auto it = m_prepared.find(code); it != m_prepared.end()) {
        text = fileText(code, it->second);
        m_prepared.erase(it);
    } else {
        text = historyFile(code, *m_store, m_days, upTo());
    }
    if (text.empty()) {
        return 404;
    }
    return core::Platform::writeWholeFile(path, text) ? 0 : CurlDownloader::localFailure();
}

} // namespace zuvemo::marketdata
