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
    return fileText(code, store.history(PriceStore::storeCode(code), days, upTo));
}

void StoreDownloader::prepare(const std::vector<std::string>& urls)
{
    (void)urls;
    m_upTo.reset();
}

const std::vector<StoredDay>* StoreDownloader::storedHistory(const std::string& url, std::size_t tradedDays)
{
    // A stock at a time, from its newest day back: a screening of a ten-year store reads its
    // year, not its ten, and holds one history at a time.
    m_handed.clear();
    std::size_t traded = 0;
    m_store->eachNewestDay(
        PriceStore::storeCode(codeOf(url)), m_days, upTo(),
        [&](const StoredDay& day) {
            m_handed.push_back(day);
            return tradedDays == 0 || !(day.traded && day.va > 0) || ++traded < tradedDays;
        },
        tradedDays > 0);
    return &m_handed;
}

std::int32_t StoreDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    const std::string code = codeOf(url);
    const std::string text = historyFile(code, *m_store, m_days, upTo());
    if (text.empty()) {
        return 404;
    }
    return core::Platform::writeWholeFile(path, text, nullptr, core::Platform::WriteMode::Cache)
        ? 0
        : CurlDownloader::localFailure();
}

} // namespace zuvemo::marketdata
