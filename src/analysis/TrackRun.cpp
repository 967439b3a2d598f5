#include "TrackRun.h"

#include "HistoryFile.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/PriceStore.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <thread>

namespace zuvemo::analysis {

namespace {

struct Series
{
    std::vector<double> close, volume; // oldest first
};

int threadCount(int asked, std::size_t stocks)
{
    int n = asked > 0 ? asked : static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    // A thread for a handful of stocks costs more than it saves.
    return std::clamp(static_cast<int>(stocks / 64), 1, n);
}

// Runs addShare(record, from, to) for contiguous shares of the stocks, one record per thread,
// and joins the records in stock order: the result does not depend on the number of threads.
// daysEach: at most this many days of a stock, to hold the returns without growing (0: unknown).
TrackRecord inShares(std::size_t count, int threads, const std::vector<int>& horizons,
    const std::function<void(TrackRecord&, std::size_t from, std::size_t to)>& addShare,
    std::size_t daysEach = 0)
{
    const auto shares = static_cast<std::size_t>(threads);
    std::vector<TrackRecord> records(shares, TrackRecord(horizons));
    for (std::size_t share = 0; share < shares && daysEach > 0; ++share) {
        // Address space only until touched; the first record takes the others' returns in the end.
        const std::size_t stocks = share == 0 ? count : count * (share + 1) / shares - count * share / shares;
        records[share].reserve(stocks * daysEach);
    }
    std::vector<std::exception_ptr> errors(shares);
    auto work = [&](std::size_t share) {
        try {
            addShare(records[share], count * share / shares, count * (share + 1) / shares);
        } catch (...) {
            errors[share] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(shares - 1);
    for (std::size_t share = 1; share < shares; ++share) {
        workers.emplace_back(work, share);
    }
    work(0);
    for (auto& worker : workers) {
        worker.join();
    }
    for (const auto& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
    for (std::size_t share = 1; share < shares; ++share) {
        records[0].merge(std::move(records[share]));
    }
    return std::move(records[0]);
}

void told(const TrackRun::Options& options, const TrackRecord& record, std::size_t i, const std::string& code)
{
    if (options.eachStock && !record.shortMarks().empty()) {
        options.eachStock(i, code, record.shortMarks(), record.volumeMarks());
    }
}

} // namespace

TrackRun::TrackRun(core::Mdl_Start& module)
    : m_module(module)
{
}

TrackReport TrackRun::run(const Options& options)
{
    auto& m = m_module;
    if (!m.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    auto& db = *m.SharedConnection;
    TrackReport result;
    result.horizons = options.horizons;
    std::string latest;
    std::string suffix;
    {
        auto url = db.openRecordset(" SELECT kabuSi,kabuHdate FROM Table_Url");
        if (!url->isEof()) {
            suffix = core::Utf8::trim(core::TrimOrSpace(url->field("kabuSi")));
            latest = core::Utf8::trim(core::TrimOrSpace(url->field("kabuHdate")));
        }
    }
    if (latest.size() == 8) {
        result.tradingDate = latest.substr(0, 4) + "-" + latest.substr(4, 2) + "-" + latest.substr(6, 2);
    }
    if (db.openRecordset(" SELECT MgCode FROM Table_Code LIMIT 1")->isEof() || result.tradingDate.empty()) {
        result.message = kNoStocksMessage;
        return result;
    }

    // The screening's selection.
    const bool haveMarket = !core::Utf8::trim(options.market).empty();
    const bool haveIndustry = !core::Utf8::trim(options.industry).empty();
    std::string sql = " SELECT MgCode,Mgmgara,Mgyosyu FROM Table_Code";
    if (haveMarket && haveIndustry) {
        sql += " WHERE Mgmgara='" + core::SqlText(options.market) + "'" + " AND Mgyosyu='"
            + core::SqlText(options.industry) + "'";
    } else if (haveMarket) {
        sql += " WHERE Mgmgara='" + core::SqlText(options.market) + "'";
    } else if (haveIndustry) {
        sql += " WHERE Mgyosyu='" + core::SqlText(options.industry) + "'";
    }
    sql += " ORDER BY MgCode ASC";
    std::vector<Stock> stocks;
    for (auto rs = db.openRecordset(sql); !rs->isEof(); rs->moveNext()) {
        Stock stock;
        stock.code = rs->field("MgCode").toText();
        if (options.by == GroupBy::Market) {
            stock.group = core::Utf8::trim(core::TrimOrSpace(rs->field("Mgmgara")));
        } else if (options.by == GroupBy::Industry) {
            stock.group = core::Utf8::trim(core::TrimOrSpace(rs->field("Mgyosyu")));
        }
        stocks.push_back(std::move(stock));
    }
    if (stocks.empty()) {
        result.message = kNoneSelectedMessage;
        return result;
    }

    const auto source = marketdata::DataSource::read(db);
    std::error_code ec;
    if (source.isJQuants()
        && !std::filesystem::is_regular_file(m.programFolder() / marketdata::PriceStore::kFileName, ec)) {
        result.message = kNoStoreMessage;
        return result;
    }
    TrackRecord record = source.isJQuants() ? fromStore(stocks, options, source.days)
                                            : fromFiles(stocks, options, latest, suffix);
    if (record.stocks() == 0) {
        result.message = source.isJQuants() ? kNoStoreMessage : kNoHistoriesMessage;
        return result;
    }
    result.stocks = record.stocks();
    result.groups = record.report();
    return result;
}

TrackRecord TrackRun::fromStore(const std::vector<Stock>& stocks, const Options& options, int days)
{
    // What the screening reads of the store: each stock's newest `days` stored days up to the
    // list's, its days with a trade and a turnover. One pass over each share's bars, on its own
    // connection, without a text per row.
    std::map<std::string, std::size_t> byCode;
    for (std::size_t i = 0; i < stocks.size(); ++i) {
        byCode.emplace(core::TrimOrSpace(std::string_view(stocks[i].code)), i);
    }
    std::vector<std::string> market;
    {
        marketdata::PriceStore store(m_module.programFolder());
        market = store.storedDays();
    }
    const std::string upTo = marketdata::UrlSettings::listDate(*m_module.SharedConnection);
    if (!upTo.empty()) {
        market.erase(std::upper_bound(market.begin(), market.end(), upTo), market.end());
    }
    const auto folder = m_module.programFolder();
    auto addShare = [&](TrackRecord& record, std::size_t from, std::size_t to) {
        if (from == to) {
            return;
        }
        std::vector<Series> series(to - from);
        std::string low;
        std::string high;
        for (std::size_t i = from; i < to; ++i) {
            const auto code
                = marketdata::PriceStore::storeCode(core::TrimOrSpace(std::string_view(stocks[i].code)));
            low = low.empty() ? code : std::min(low, code);
            high = std::max(high, code);
        }
        marketdata::PriceStore store(folder);
        // A code listed again reads none of its earlier listing's bars.
        const auto relisted = marketdata::ListingHistory::relisted(store.connection(), upTo);
        store.eachStockBars(
            market,
            [&](const std::string& code, const std::vector<marketdata::PriceStore::DayBar>& bars) {
                const auto it = byCode.find(marketdata::PriceStore::listCode(code));
                if (it == byCode.end() || it->second < from || it->second >= to) {
                    return;
                }
                auto& s = series[it->second - from];
                std::size_t first = bars.size() > static_cast<std::size_t>(days)
                    ? bars.size() - static_cast<std::size_t>(days)
                    : 0;
                if (const auto since = relisted.find(code); since != relisted.end()) {
                    while (first < bars.size() && market[bars[first].day] <= since->second) {
                        ++first;
                    }
                }
                s.close.reserve(bars.size() - first);
                s.volume.reserve(bars.size() - first);
                for (std::size_t b = first; b < bars.size(); ++b) {
                    if (bars[b].traded && bars[b].va > 0) {
                        s.close.push_back(bars[b].adjC);
                        s.volume.push_back(bars[b].adjVo);
                    }
                }
            },
            true, low, high);
        for (std::size_t i = from; i < to; ++i) {
            record.addStock(series[i - from].close, series[i - from].volume, stocks[i].group);
            series[i - from] = Series();
            told(options, record, i, stocks[i].code);
        }
    };
    return inShares(stocks.size(), threadCount(options.threads, stocks.size()), options.horizons, addShare,
        std::min(market.size(), static_cast<std::size_t>(std::max(days, 0))));
}

TrackRecord TrackRun::fromFiles(const std::vector<Stock>& stocks, const Options& options,
    const std::string& latest, const std::string& suffix)
{
    const auto csvFolder = m_module.programFolder() / "csv";
    return inShares(stocks.size(), threadCount(options.threads, stocks.size()), options.horizons,
        [&](TrackRecord& record, std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to; ++i) {
                // The screening's name of the stock's history file of the latest trading day.
                std::string name = latest;
                name += "-";
                name += stocks[i].code;
                name += suffix;
                const auto file = csvFolder / core::Platform::fromUtf8(name);
                if (auto rows = readHistoryFile(file)) {
                    record.addStock(*rows, stocks[i].group);
                    told(options, record, i, stocks[i].code);
                }
            }
        });
}

} // namespace zuvemo::analysis
