#pragma once

#include "DataSource.h"
#include "jquants/JQuantsClient.h"
#include "jquants/JQuantsRefresh.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

class Downloader;

// What the main window refills during a refresh; every hook may be left empty.
struct RefreshHooks
{
    std::function<void(bool busy)> busyPointer;
    std::function<void(const std::string& caption)> setDateLabel; // Label2
    std::function<void()> refillStockLists; // market and industry lists, Check1, first page
    std::function<void()> refillCandidates; // the candidate grid, now empty
    std::function<void()> judgeWatchList; // the watch-list grid and its colours
    // Called before each daily-list attempt; returning false stops the search.
    std::function<bool(int attempt, int attempts)> progress;
    // Asked when the new list holds fewer than 90 % of the stocks held (it may have been cut at
    // a line break); true loads it anyway. Left empty, such a list is refused with a message.
    std::function<bool(const std::string& question)> acceptSmaller;
    // A J-Quants folder's fill of its price store: where it stands; false stops it.
    JQuantsRefresh::Progress fillProgress;
    // The same for its monthly files.
    JQuantsRefresh::FileProgress fileProgress;
};

// Brings the stock list up to the newest trading day the server has.
class MarketDataRefresh
{
public:
    enum class Outcome {
        Loaded,
        UpToDate,
        NoAddress,
        NoKey,
        NotFound,
        ImportFailed,
        Incomplete,
        Cancelled,
        Failed
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        std::string tradingDate; // YYYY-MM-DD of the list Table_Code holds afterwards
        std::string message; // why the import refused the file
        long requests = 0; // to the J-Quants API
        int filesRead = 0; // J-Quants monthly files read whole
        long long fileBytes = 0; // downloaded from J-Quants' file host
        std::vector<std::string> notes; // what a J-Quants refresh left out, one line each
    };

    static constexpr int kAttempts = 101;
    static constexpr int kTransportFailuresInARow = 3;
    static constexpr const char* kNoAddressMessage = "取得するURLが見当たりません。";
    static constexpr const char* kNotFoundMessage = "読込してファイルダウンロードできませんでした。";
    static constexpr const char* kImportFailedMessage = "データベース書込みに失敗しました。";
    static constexpr const char* kEmptyListMessage = "銘柄一覧に銘柄がありません。";
    // A list smaller than this share of the stocks held (in percent) is taken for a cut one.
    static constexpr std::size_t kSmallerListPercent = 90;

    // "銘柄一覧が途中で切れている可能性があります（108 銘柄、前回 391 銘柄）。"
    static std::string smallerListMessage(std::size_t count, std::size_t held);
    // "新しい銘柄一覧はまだありません（読み込み済み: 2026-12-08）。"
    static std::string upToDateMessage(const std::string& dashedDate);
    // A list that the server failed to send (cut, timed out, refused, a server error), unlike
    // one it does not have: "最新の銘柄一覧を取得できませんでした（2026-12-08: 時間内に応答がありません）。"
    static bool isFailedTransfer(std::int32_t code);
    static std::string notFetchedMessage(const std::string& dashedDate, std::int32_t code);

    MarketDataRefresh(core::Mdl_Start& module, Downloader& downloader, const core::Clock& clock);

    Result run(const RefreshHooks& hooks = {});

    // A J-Quants folder's refresh in three steps, for a window that fetches in the background:
    // prepare (the key, the pace, the list's file), load the newest list once it is written,
    // conclude with the fetch's result. Only prepare and the two loads touch the database.
    struct JQuantsJob
    {
        DataSource source;
        JQuantsClient::Options client;
        std::filesystem::path listFile;
        std::string heldDate; // kabuHdate, eight digits or blank
        std::string heldDashed;
    };
    // Nothing (after the message) without a key or an address row.
    std::optional<JQuantsJob> prepareJQuants();
    Result loadJQuantsList(const JQuantsJob& job, const std::string& tradingDate, const RefreshHooks& hooks);
    // Says what a fetch without a newer list or with a failure ended in.
    Result concludeJQuants(const JQuantsJob& job, const JQuantsRefresh::Result& done);
    // The time-outs, waits and stop flag of a J-Quants folder's requests (address, key and pace
    // come from the folder).
    void setJQuantsOptions(const JQuantsClient::Options& options) { m_jquants = options; }

    // A daily base address the refresh may use: "http://" or, with certificates checked, "https://".
    static bool isUsableDailyUrl(const std::string& url);
    // "YYYY-MM-DD 状況" from the eight digits of kabuHdate.
    static std::string dateCaption(const std::string& eightDigits);

private:
    Result runSteps(const RefreshHooks& hooks);
    Result runJQuants(const RefreshHooks& hooks);
    Result importList(const std::filesystem::path& dailyFile, const std::string& loaded,
        const std::string& heldDate, const RefreshHooks& hooks);
    std::size_t heldStockCount();

    core::Mdl_Start& m_module;
    Downloader& m_downloader;
    const core::Clock& m_clock;
    JQuantsClient::Options m_jquants;
};

} // namespace zuvemo::marketdata
