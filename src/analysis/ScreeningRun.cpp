#include "ScreeningRun.h"

#include "CSVMDB.h"
#include "HistoryFile.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DailyQuoteImport.h"
#include "marketdata/Downloader.h"
#include "marketdata/ParallelDownloader.h"
#include "marketdata/TempFiles.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/PriceStore.h"

#include <chrono>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace zuvemo::analysis {

namespace {

// The stocks' marks are committed in short batches rather than one by one: a process killed
// mid-run loses at most the last batch, whose stocks stay exactly as they were.
class MarkBatch
{
public:
    explicit MarkBatch(core::Connection& connection)
        : m_connection(connection)
    {
    }

    void begin()
    {
        if (!m_transaction) {
            m_transaction.emplace(m_connection);
            m_count = 0;
            m_started = std::chrono::steady_clock::now();
        }
    }

    void stockDone()
    {
        if (m_transaction
            && (++m_count >= kStocks || std::chrono::steady_clock::now() - m_started >= kInterval)) {
            commit();
        }
    }

    void commit()
    {
        if (m_transaction) {
            m_transaction->commit();
            m_transaction.reset();
        }
    }

private:
    static constexpr int kStocks = 50;
    static constexpr std::chrono::milliseconds kInterval{200};

    core::Connection& m_connection;
    std::optional<core::Transaction> m_transaction;
    int m_count = 0;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace

ScreeningRun::ScreeningRun(
    core::Mdl_Start& module, marketdata::Downloader& downloader, Indicators::Bounds bounds)
    : m_module(module)
    , m_downloader(downloader)
    , m_bounds(bounds)
{
}

marketdata::CurlEasy::Limits ScreeningRun::defaultAheadLimits()
{
    marketdata::CurlEasy::Limits limits;
    limits.totalTimeoutMs = marketdata::CurlDownloader::kHistoryTimeoutMs;
    // A history is a cache of one day that any run can fetch again.
    limits.durable = false;
    return limits;
}

ScreeningRun::Summary ScreeningRun::run(
    const std::string& market, const std::string& industry, const ScreeningHooks& hooks)
{
    if (hooks.busyPointer) {
        hooks.busyPointer(true);
    }
    Summary summary;
    try {
        summary = runSteps(market, industry, hooks);
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        summary.cancelled = true;
    } catch (const std::filesystem::filesystem_error& e) {
        core::SetErr(e.code().value(), e.what());
        core::ShowMessage("");
        summary.cancelled = true;
    }
    m_module.SharedRecordset.reset();
    if (hooks.busyPointer) {
        hooks.busyPointer(false);
    }
    return summary;
}

ScreeningRun::Summary ScreeningRun::runSteps(
    const std::string& market, const std::string& industry, const ScreeningHooks& hooks)
{
    Summary summary;
    auto& m = m_module;
    if (!m.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    auto settings = marketdata::UrlSettings::read(m);
    if (!settings) {
        return summary;
    }
    const std::string historyUrl = settings->historyUrl;
    const std::string suffix = settings->suffix;
    const std::string latest = settings->tradingDate;
    summary.started = true;
    summary.fromStore = m_downloader.isLocal();
    const auto csvFolder = m.programFolder() / "csv";
    std::filesystem::create_directories(csvFolder);
    marketdata::TempFiles::removeStale(csvFolder);

    bool haveMarket = !core::Utf8::trim(market).empty();
    bool haveIndustry = !core::Utf8::trim(industry).empty();
    m.SqlBuffer = " SELECT MgCode,Mgmgara,Mgyosyu,Achk,Cchk,Dchk FROM Table_Code";
    if (haveMarket && haveIndustry) {
        m.SqlBuffer += " WHERE Mgmgara='" + core::SqlText(market) + "'" + " AND Mgyosyu='"
            + core::SqlText(industry) + "'";
    } else if (haveMarket) {
        m.SqlBuffer += " WHERE Mgmgara='" + core::SqlText(market) + "'";
    } else if (haveIndustry) {
        m.SqlBuffer += " WHERE Mgyosyu='" + core::SqlText(industry) + "'";
    }
    m.SqlBuffer += " ORDER BY MgCode ASC";
    auto& stocks = m.OpenShared();
    const int total = stocks.recordCount();
    summary.stocks = total;

    const std::string dateText = core::Utf8::mid(latest, 1, 4) + "-" + core::Utf8::mid(latest, 5, 2) + "-"
        + core::Utf8::mid(latest, 7, 2);

    // Every stock's address and file, in the order the rows will be handled.
    std::vector<marketdata::ParallelDownloader::Job> jobs;
    std::vector<std::filesystem::path> files;
    {
        auto list = m.SharedConnection->openRecordset(m.SqlBuffer);
        for (; !list->isEof(); list->moveNext()) {
            const auto& code = list->field("MgCode");
            std::string url = historyUrl;
            url += core::TrimOrSpace(code);
            url += "?download=csv";
            std::string name = latest;
            name += "-";
            name += code.toText();
            name += suffix;
            auto file = csvFolder / core::Platform::fromUtf8(name);
            jobs.push_back({std::move(url), file});
            files.push_back(file);
        }
    }
    if (m_downloader.isLocal()) {
        std::vector<std::string> urls;
        urls.reserve(jobs.size());
        for (const auto& job : jobs) {
            urls.push_back(job.url);
        }
        m_downloader.prepare(urls);
    }
    std::unique_ptr<marketdata::ParallelDownloader> ahead;
    if (m_jobs > 1 && total > 1 && !m_downloader.isLocal()) {
        // Each staging name belongs to this process, so a history is written there once, whole.
        auto limits = m_aheadLimits;
        limits.inPlace = true;
        ahead = std::make_unique<marketdata::ParallelDownloader>(jobs, m_jobs, limits);
    }
    MarkBatch batch(*m.SharedConnection);

    std::optional<std::vector<HistoryRow>> lastAnalysed;
    std::string lastStored; // the address of the last analysed history read from the store
    int counter = 0;
    int transportFailures = 0;
    std::error_code ec;
    for (; !stocks.isEof() && counter < total; stocks.moveNext()) {
        const auto& file = files[static_cast<std::size_t>(counter)];
        std::int32_t result = 0;
        std::optional<std::string> body;
        // A local source hands its rows over without a file or a text in between.
        std::optional<std::vector<HistoryRow>> storedRows;
        std::string storedNewest;
        if (const auto* days = m_downloader.isLocal()
                ? m_downloader.storedHistory(jobs[static_cast<std::size_t>(counter)].url, kSignalRows)
                : nullptr) {
            storedRows = historyRowsOf(*days, &storedNewest);
            result = storedNewest.empty() ? 404 : 0;
        } else if (ahead) {
            body.emplace();
            result = ahead->wait(static_cast<std::size_t>(counter), &*body);
            if (result == 0 && !ahead->keep(static_cast<std::size_t>(counter))) {
                result = marketdata::CurlDownloader::localFailure();
            }
        } else {
            result = m_downloader.DownloadToFile(jobs[static_cast<std::size_t>(counter)].url, file);
        }
        if (result == marketdata::CurlDownloader::kCancelled) {
            // Stopped mid-transfer: the stock is left as it was, not marked as failed.
            summary.cancelled = true;
            break;
        }
        ++counter;
        batch.begin();
        // A page that is no history at all (a maintenance notice for every address) is a failed
        // download, not a suspended stock.
        if (result == 0 && !storedRows
            && (body ? !marketdata::HasHistoryDateBytes(*body) : !marketdata::HasHistoryDate(file))) {
            std::filesystem::remove(file, ec);
            result = marketdata::CurlDownloader::kNotAHistory;
        }
        if (result != 0) {
            stocks.setField("Dchk", core::Value(" "));
            stocks.update();
            summary.failed++;
            if (result == marketdata::CurlDownloader::kFileError
                || result == marketdata::CurlDownloader::kDiskFull) {
                summary.localErrors++;
            }
            summary.diskFull = summary.diskFull || result == marketdata::CurlDownloader::kDiskFull;
        } else if (storedRows ? storedNewest == dateText
                : body        ? marketdata::CheckCSVBytes("M", *body, dateText)
                              : marketdata::CheckCSV("M", file, dateText)) {
            const bool fromStore = storedRows.has_value();
            auto rows = storedRows ? std::move(storedRows)
                : body             ? std::optional(readHistoryBytes(std::move(*body)))
                                   : readHistoryFile(file);
            if (!rows) {
                throw core::DatabaseError(10, "cannot read " + core::Platform::toUtf8(file));
            }
            std::string code = signalCodeOf(*rows, m_bounds);
            stocks.setField("Achk", Indicators::markFromDigit(code[0]));
            stocks.setField("Cchk", Indicators::markFromDigit(code[1]));
            stocks.setField("Dchk", core::Value("取得"));
            stocks.update();
            summary.obtained++;
            lastStored = fromStore ? jobs[static_cast<std::size_t>(counter - 1)].url : std::string();
            lastAnalysed = std::move(rows);
        } else {
            stocks.setField("Dchk", core::Value("停止中"));
            stocks.update();
            std::filesystem::remove(file, ec);
            summary.suspended++;
        }
        batch.stockDone();
        transportFailures = marketdata::Downloader::isTransportFailure(result) ? transportFailures + 1 : 0;
        if (transportFailures >= kTransportFailuresInARow) {
            // The stocks not reached keep what they had.
            summary.unreachable = true;
            break;
        }
        if (hooks.progress && !hooks.progress(counter, total)) {
            summary.cancelled = true;
            stocks.moveNext();
            break;
        }
    }
    batch.commit();
    if (summary.obtained > 0) {
        keepDay(*m.SharedConnection, dateText);
    }
    // Files fetched ahead for stocks the run did not reach are not kept.
    ahead.reset();
    // WorkTemp ends holding the last stock analysed, as if each analysis had loaded it.
    if (lastAnalysed) {
        if (!lastStored.empty()) {
            // Only its newest closes were read: WorkTemp holds the whole history, as from a file.
            if (const auto* days = m_downloader.storedHistory(lastStored, 0)) {
                lastAnalysed = historyRowsOf(*days, nullptr);
            }
        }
        loadWorkTemp(m, *lastAnalysed);
    }

    auto result = m.SharedConnection->openRecordset(m.SqlBuffer);
    for (; !result->isEof(); result->moveNext()) {
        std::string a = core::Utf8::trim(core::TrimOrSpace(result->field("Achk")));
        std::string c = core::Utf8::trim(core::TrimOrSpace(result->field("Cchk")));
        summary.achkSell += a == "売";
        summary.achkBuy += a == "買";
        summary.cchkSell += c == "売";
        summary.cchkBuy += c == "買";
    }
    return summary;
}

namespace {
constexpr const char* kDayTable = "Table_ScreenDay";
}

std::string ScreeningRun::lastDay(core::Connection& connection)
{
    if (core::Statement exists(connection,
            std::string("SELECT 1 FROM sqlite_master WHERE type='table' AND name='") + kDayTable + "'");
        !exists.next()) {
        return {};
    }
    core::Statement day(connection, std::string("SELECT DayDate FROM ") + kDayTable);
    return day.next() ? core::Utf8::trim(day.columnText(0)) : std::string();
}

void ScreeningRun::keepDay(core::Connection& connection, const std::string& day)
{
    connection.execute(std::string("CREATE TABLE IF NOT EXISTS ") + kDayTable
        + " (DayKey INTEGER PRIMARY KEY CHECK (DayKey = 1), DayDate TEXT NOT NULL)");
    connection.execute(std::string("INSERT OR REPLACE INTO ") + kDayTable + " (DayKey, DayDate) VALUES (1, '"
        + core::SqlText(day) + "')");
}

std::string ScreeningRun::summaryLine(const Summary& s)
{
    return "stocks " + std::to_string(s.stocks) + ", 取得 " + std::to_string(s.obtained) + ", 停止中 "
        + std::to_string(s.suspended) + ", failed " + std::to_string(s.failed) + "; Achk 売 "
        + std::to_string(s.achkSell) + " 買 " + std::to_string(s.achkBuy) + "; Cchk 売 "
        + std::to_string(s.cchkSell) + " 買 " + std::to_string(s.cchkBuy) + (s.cancelled ? " (stopped)" : "");
}

std::string ScreeningRun::failureMessage(const Summary& s)
{
    if (s.unreachable) {
        return kUnreachableMessage;
    }
    if (s.diskFull) {
        return "ディスクの空き容量が足りないため、履歴ファイルを保存できませんでした。("
            + std::to_string(s.localErrors) + " 銘柄)";
    }
    if (s.localErrors > 0) {
        return "履歴ファイルを保存できませんでした。(" + std::to_string(s.localErrors)
            + " 銘柄: csv フォルダに書き込めません)";
    }
    if (s.stocks > 0 && s.failed == s.stocks && s.fromStore) {
        // No server was asked: the store is empty, new, or another program's file.
        return marketdata::PriceStore::kNoDataMessage;
    }
    if (s.stocks > 0 && s.failed == s.stocks) {
        return "読込してファイルダウンロードできませんでした。(" + std::to_string(s.failed)
            + " 銘柄: サーバーから取得できません)";
    }
    return {};
}

} // namespace zuvemo::analysis
