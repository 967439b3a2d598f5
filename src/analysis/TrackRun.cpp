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

// Runs addOne(record, i) for every stock in contiguous shares, one record per thread, and joins
// the records in stock order: the result does not depend on the number of threads.
TrackRecord inShares(std::size_t count, int threads, const std::vector<int>& horizons,
    const std::function<void(TrackRecord&, std::size_t)>& addOne)
{
    const auto shares = static_cast<std::size_t>(threads);
    std::vector<TrackRecord> records(shares, TrackRecord(horizons));
    std::vector<std::exception_ptr> errors(shares);
    auto work = [&](std::size_t share) {
        try {
            const std::size_t from = count * share / shares;
            const std::size_t to = count * (share + 1) / shares;
            for (std::size_t i = from; i < to; ++i) {
                addOne(records[share], i);
            }
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
    // list's, its days with a trade and a turnover. One pass over the bars, without a text per row.
    std::map<std::string, std::size_t> byCode;
    for (std::size_t i = 0; i < stocks.size(); ++i) {
        byCode.emplace(core::TrimOrSpace(std::string_view(stocks[i].code)), i);
    }
    std::vector<Series> series(stocks.size());
    {
        marketdata::PriceStore store(m_module.programFolder());
        auto market = store.storedDays();
        const std::string upTo = marketdata::UrlSettings::listDate(*m_module.SharedConnection);
        if (!upTo.empty()) {
            market.erase(std::upper_bound(market.begin(), market.end(), upTo), market.end());
        }
        store.eachStockBars(
            market, [&](const std::string& code, const std::vector<marketdata::PriceStore::DayBar>& bars) {
                const auto it = byCode.find(marketdata::PriceStore::listCode(code));
                if (it == byCode.end()) {
                    return;
                }
                auto& s = series[it->second];
                const std::size_t from = bars.size() > static_cast<std::size_t>(days)
                    ? bars.size() - static_cast<std::size_t>(days)
                    : 0;
                s.close.reserve(bars.size() - from);
                s.volume.reserve(bars.size() - from);
                for (std::size_t b = from; b < bars.size(); ++b) {
                    if (bars[b].traded && bars[b].va > 0) {
                        s.close.push_back(bars[b].adjC);
                        s.volume.push_back(bars[b].adjVo);
                    }
                }
            });
    }
    return inShares(stocks.size(), threadCount(options.threads, stocks.size()), options.horizons,
        [&](TrackRecord& record, std::size_t i) {
            record.addStock(series[i].close, series[i].volume, stocks[i].group);
            told(options, record, i, stocks[i].code);
        });
}

TrackRecord TrackRun::fromFiles(const std::vector<Stock>& stocks, const Options& options,
    const std::string& latest, const std::string& suffix)
{
    const auto csvFolder = m_module.programFolder() / "csv";
    return inShares(stocks.size(), threadCount(options.threads, stocks.size()), options.horizons,
        [&](TrackRecord& record, std::size_t i) {
            // The screening's name of the stock's history file of the latest trading day.
            const auto file = csvFolder / core::Platform::fromUtf8(latest + "-" + stocks[i].code + suffix);
            if (auto rows = readHistoryFile(file)) {
                record.addStock(*rows, stocks[i].group);
                told(options, record, i, stocks[i].code);
            }
        });
}

} // namespace zuvemo::analysis
