#include "MarketDataRefresh.h"

#include "CurlDownloader.h"
#include "DailyQuoteImport.h"
#include "DataSource.h"
#include "Downloader.h"
#include "TempFiles.h"
#include "UrlSettings.h"
#include "WatchList.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/Value.h"
#include "core/ValueRules.h"
#include "jquants/ApiKey.h"
#include "jquants/JQuantsRefresh.h"

#include <chrono>
#include <curl/curl.h>
#include <system_error>

namespace zuvemo::marketdata {

MarketDataRefresh::MarketDataRefresh(
    core::Mdl_Start& module, Downloader& downloader, const core::Clock& clock)
    : m_module(module)
    , m_downloader(downloader)
    , m_clock(clock)
{
}

bool MarketDataRefresh::isUsableDailyUrl(const std::string& url)
{
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

std::string MarketDataRefresh::dateCaption(const std::string& d)
{
    return core::Utf8::mid(d, 1, 4) + "-" + core::Utf8::mid(d, 5, 2) + "-" + core::Utf8::mid(d, 7, 2)
        + " 状況";
}

std::string MarketDataRefresh::smallerListMessage(std::size_t count, std::size_t held)
{
    return "銘柄一覧が途中で切れている可能性があります（" + std::to_string(count) + " 銘柄、前回 "
        + std::to_string(held) + " 銘柄）。";
}

std::string MarketDataRefresh::upToDateMessage(const std::string& dashedDate)
{
    return "新しい銘柄一覧はまだありません（読み込み済み: " + dashedDate + "）。";
}

bool MarketDataRefresh::isFailedTransfer(std::int32_t code)
{
    return Downloader::isTransportFailure(code) || code == CurlDownloader::kIncomplete
        || code == CurlDownloader::kTooLarge || (code >= 500 && code <= 599);
}

std::string MarketDataRefresh::notFetchedMessage(const std::string& dashedDate, std::int32_t code)
{
    std::string why;
    if (code == CURLE_OPERATION_TIMEDOUT) {
        why = "時間内に応答がありません";
    } else if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST) {
        why = "サーバーに接続できません";
    } else if (code == CurlDownloader::kIncomplete || code == CURLE_PARTIAL_FILE
        || code == CURLE_RECV_ERROR) {
        why = "応答が途中で切れました";
    } else if (code == CurlDownloader::kTooLarge) {
        why = "応答が大きすぎます";
    } else if (code >= 500) {
        why = "サーバーのエラー " + std::to_string(code);
    } else {
        why = "通信エラー " + std::to_string(code);
    }
    return "最新の銘柄一覧を取得できませんでした（" + dashedDate + ": " + why + "）。";
}

MarketDataRefresh::Result MarketDataRefresh::run(const RefreshHooks& hooks)
{
    if (hooks.busyPointer) {
        hooks.busyPointer(true);
    }
    Result result;
    try {
        result = runSteps(hooks);
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        result.outcome = Outcome::Failed;
    } catch (const std::filesystem::filesystem_error& e) {
        core::SetErr(e.code().value(), e.what());
        core::ShowMessage("");
        result.outcome = Outcome::Failed;
    }
    if (hooks.busyPointer) {
        hooks.busyPointer(false);
    }
    return result;
}

MarketDataRefresh::Result MarketDataRefresh::runSteps(const RefreshHooks& hooks)
{
    Result result;
    auto& m = m_module;
    auto settings = UrlSettings::read(m);
    if (!settings) {
        result.outcome = Outcome::NoAddress;
        return result;
    }
    const std::string& dailyUrl = settings->dailyUrl;
    const std::string& suffix = settings->suffix;
    const std::string& heldDate = settings->tradingDate;
    if (m.SharedConnection) {
        if (DataSource::read(*m.SharedConnection).isJQuants()) {
            return runJQuants(hooks);
        }
    }
    if (dailyUrl.empty() || !isUsableDailyUrl(dailyUrl)) {
        core::ShowMessage(kNoAddressMessage);
        result.outcome = Outcome::NoAddress;
        return result;
    }

    const auto zipFolder = m.programFolder() / "zip";
    std::filesystem::create_directories(zipFolder);
    TempFiles::removeStale(zipFolder);
    const auto dailyFile = zipFolder / core::Platform::fromUtf8("日別" + suffix);

    using namespace std::chrono;
    const sys_days today{m_clock.today()};
    // The walk never goes back to the day held or before it: an older list would take the
    // place of a newer one, and the same day again would blank its screening.
    const std::string heldDashed
        = heldDate.size() == 8 ? core::Utf8::mid(dateCaption(heldDate), 1, 10) : std::string();
    bool found = false;
    bool reachedHeld = false;
    int transportFailures = 0;
    // The first day newer than the list held that the server failed to send (not "not found").
    std::string failedDay;
    std::int32_t failedCode = 0;
    year_month_day day{};
    for (int i = 0; i < kAttempts; ++i) {
        day = year_month_day{today - days{i}};
        const std::string dashed = core::Clock::dashed(day);
        if (!heldDashed.empty() && dashed <= heldDashed) {
            reachedHeld = true;
            break;
        }
        if (hooks.progress && !hooks.progress(i, kAttempts)) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        const std::int32_t code = m_downloader.DownloadToFile(dailyUrl + dashed + "?download=csv", dailyFile);
        if (code == CurlDownloader::kCancelled) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        if (code == CurlDownloader::kDiskFull) {
            // An older day would not fit either.
            core::ShowMessage(CurlDownloader::kDiskFullMessage);
            result.outcome = Outcome::Failed;
            return result;
        }
        // A server that cannot be reached for the newest days will not be reached for older ones.
        // The "not found" of a weekend day does not show it reachable: a server that stalls on
        // every list it has would otherwise be walked for all 101 days.
        if (Downloader::isTransportFailure(code)) {
            ++transportFailures;
        } else if (code != 404) {
            transportFailures = 0;
        }
        if (failedDay.empty() && isFailedTransfer(code)) {
            failedDay = dashed;
            failedCode = code;
        }
        if (transportFailures >= kTransportFailuresInARow) {
            break;
        }
        if (code != 0) {
            continue;
        }
        std::string label = core::Utf8::mid(dashed, 1, 4) + "年" + core::Utf8::mid(dashed, 6, 2) + "月"
            + core::Utf8::mid(dashed, 9, 2) + "日";
        if (CheckCSV("H", dailyFile, label)) {
            found = true;
            break;
        }
    }
    if (!found && reachedHeld && !failedDay.empty()) {
        // A day that may hold a newer list could not be read: that is no quiet day.
        result.message = notFetchedMessage(failedDay, failedCode);
        core::ShowMessage(result.message);
        result.outcome = Outcome::Failed;
        result.tradingDate = heldDashed;
        return result;
    }
    if (!found && reachedHeld) {
        core::ShowMessage(upToDateMessage(heldDashed));
        result.outcome = Outcome::UpToDate;
        result.tradingDate = heldDashed;
        result.message = upToDateMessage(heldDashed);
        return result;
    }
    if (!found) {
        core::ShowMessage(kNotFoundMessage);
        result.outcome = Outcome::NotFound;
        return result;
    }

    return importList(dailyFile, core::Clock::dashed(day), heldDate, hooks);
}

MarketDataRefresh::Result MarketDataRefresh::importList(const std::filesystem::path& dailyFile,
    const std::string& loaded, const std::string& heldDate, const RefreshHooks& hooks)
{
    Result result;
    auto& m = m_module;
    const std::string heldDashed
        = heldDate.size() == 8 ? core::Utf8::mid(dateCaption(heldDate), 1, 10) : std::string();
    // A server that closes the connection right after a line break without a length leaves a
    // list that looks whole; only its size can tell.
    const auto count = CountStocks(dailyFile).value_or(0);
    const auto held = heldStockCount();
    std::string smaller;
    if (count == 0) {
        smaller = kEmptyListMessage;
        core::ShowMessage(smaller);
    } else if (held > 0 && count * 100 < held * kSmallerListPercent) {
        smaller = smallerListMessage(count, held);
        if (!hooks.acceptSmaller) {
            core::ShowMessage(smaller);
        } else if (hooks.acceptSmaller(smaller)) {
            smaller.clear();
        }
    }
    if (!smaller.empty()) {
        result.outcome = Outcome::Incomplete;
        result.tradingDate = heldDashed;
        result.message = smaller;
        return result;
    }

    result.outcome = Outcome::Loaded;
    result.tradingDate = loaded;
    std::string refused;
    if (!CreateMDB(m, dailyFile, loaded, &refused)) {
        core::ShowMessage(refused.empty() ? std::string(kImportFailedMessage)
                                          : std::string(kImportFailedMessage) + "\r\n" + refused);
        result.message = refused;
        result.outcome = Outcome::ImportFailed;
        // The table still holds the earlier list: the window shows that list's date.
        result.tradingDate = heldDashed;
    }
    if (hooks.setDateLabel) {
        hooks.setDateLabel(result.outcome == Outcome::Loaded
                ? loaded + " 状況"
                : (heldDate.size() == 8 ? dateCaption(heldDate) : ""));
    }
    if (result.outcome == Outcome::ImportFailed) {
        // The list held stands whole, and with it the day's signals, histories and candidates.
        return result;
    }

    std::error_code ec;
    const auto csvFolder = m.programFolder() / "csv";
    if (std::filesystem::exists(csvFolder, ec)) {
        std::filesystem::remove_all(csvFolder);
    }
    if (hooks.refillStockLists) {
        hooks.refillStockLists();
    }
    m.SqlBuffer = " UPDATE Table_Code SET";
    m.SqlBuffer += " Achk=' ',";
    m.SqlBuffer += " Cchk=' ',";
    m.SqlBuffer += " Dchk=' '";
    m.ExecuteShared();

    m.SqlBuffer = " DELETE FROM WorkKocyu";
    m.ExecuteShared();
    if (hooks.refillCandidates) {
        hooks.refillCandidates();
    }
    WatchList::takeCloses(m);
    if (hooks.judgeWatchList) {
        hooks.judgeWatchList();
    }
    return result;
}

std::optional<MarketDataRefresh::JQuantsJob> MarketDataRefresh::prepareJQuants()
{
    auto settings = UrlSettings::read(m_module);
    if (!settings) {
        return std::nullopt;
    }
    std::string problem;
    const auto key = ApiKey::read(nullptr, &problem);
    if (!key) {
        core::ShowMessage(problem);
        return std::nullopt;
    }
    JQuantsJob job;
    job.source = DataSource::read(*m_module.SharedConnection);
    const auto zipFolder = m_module.programFolder() / "zip";
    std::filesystem::create_directories(zipFolder);
    job.listFile = zipFolder / core::Platform::fromUtf8("日別" + settings->suffix);
    job.client = m_jquants;
    job.client.baseUrl = job.source.apiUrl;
    job.client.apiKey = *key;
    job.client.requestsPerMinute = DataSource::requestsPerMinute(job.source.plan);
    // The tests and benchmarks count a plan's minute shorter against the sample market.
    if (const auto window = core::Platform::environment("ZUVEMO_PACE_WINDOW_MS")) {
        if (const auto ms = core::Value::decimal(*window); ms && *ms >= 1 && *ms <= 60000) {
            job.client.paceWindow = std::chrono::milliseconds(static_cast<long>(*ms));
        }
    }
    job.heldDate = settings->tradingDate;
    job.heldDashed
        = job.heldDate.size() == 8 ? core::Utf8::mid(dateCaption(job.heldDate), 1, 10) : std::string();
    return job;
}

MarketDataRefresh::Result MarketDataRefresh::loadJQuantsList(
    const JQuantsJob& job, const std::string& tradingDate, const RefreshHooks& hooks)
{
    Result loaded;
    try {
        loaded = importList(job.listFile, tradingDate, job.heldDate, hooks);
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        loaded.outcome = Outcome::Failed;
    }
    return loaded;
}

MarketDataRefresh::Result MarketDataRefresh::concludeJQuants(
    const JQuantsJob& job, const JQuantsRefresh::Result& done)
{
    Result result;
    result.requests = done.requests;
    result.filesRead = done.filesRead;
    result.fileBytes = done.fileBytes;
    result.notes = done.notes;
    if (done.cancelled) {
        result.outcome = Outcome::Cancelled;
        return result;
    }
    if (!done.ok) {
        core::ShowMessage(done.message);
        result.message = done.message;
        result.outcome = Outcome::Failed;
        return result;
    }
    result.outcome = Outcome::UpToDate;
    result.tradingDate = job.heldDashed;
    if (!done.listWritten) {
        core::ShowMessage(upToDateMessage(job.heldDashed));
        result.message = upToDateMessage(job.heldDashed);
    }
    return result;
}

MarketDataRefresh::Result MarketDataRefresh::runJQuants(const RefreshHooks& hooks)
{
    Result result;
    const auto job = prepareJQuants();
    if (!job) {
        result.outcome = Outcome::NoKey;
        return result;
    }
    JQuantsRefresh refresh(m_module.programFolder(), job->source, job->client, m_clock);
    if (hooks.fileProgress) {
        refresh.setFileProgress(hooks.fileProgress);
    }
    // The newest list is loaded as soon as it is written, before the older days, as the windows
    // do: a fill stopped or failed later still leaves the day's list to work with.
    std::optional<Result> loaded;
    auto done = refresh.run(
        job->heldDashed, job->listFile,
        [&hooks](
            const JQuantsRefresh::Step& step) { return !hooks.fillProgress || hooks.fillProgress(step); },
        [&](const std::string& tradingDate) {
            loaded = importList(job->listFile, tradingDate, job->heldDate, hooks);
        });
    if (!done.cancelled && hooks.progress && !hooks.progress(0, 1)) {
        done.cancelled = true;
    }
    if (done.cancelled || !done.ok || !loaded) {
        auto concluded = concludeJQuants(*job, done);
        if (loaded && loaded->outcome == Outcome::Loaded) {
            concluded.tradingDate = loaded->tradingDate;
        }
        return concluded;
    }
    loaded->requests = done.requests;
    loaded->filesRead = done.filesRead;
    loaded->fileBytes = done.fileBytes;
    loaded->notes = done.notes;
    return *loaded;
}

std::size_t MarketDataRefresh::heldStockCount()
{
    auto rs = m_module.SharedConnection->openRecordset(" SELECT COUNT(*) AS n FROM Table_Code");
    return rs->isEof() ? 0 : static_cast<std::size_t>(rs->field("n").toDouble());
}

} // namespace zuvemo::marketdata
