#pragma once

#include <functional>
#include <string>

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
};

// Brings the stock list up to the newest trading day the server has.
class MarketDataRefresh
{
public:
    enum class Outcome { Loaded, NoAddress, NotFound, ImportFailed, Cancelled, Failed };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        std::string tradingDate; // YYYY-MM-DD of the list Table_Code holds afterwards
        std::string message; // why the import refused the file
    };

    static constexpr int kAttempts = 101;
    static constexpr int kTransportFailuresInARow = 3;
    static constexpr const char* kNoAddressMessage = "取得するURLが見当たりません。";
    static constexpr const char* kNotFoundMessage = "読込してファイルダウンロードできませんでした。";
    static constexpr const char* kImportFailedMessage = "データベース書込みに失敗しました。";

    MarketDataRefresh(core::Mdl_Start& module, Downloader& downloader, const core::Clock& clock);

    Result run(const RefreshHooks& hooks = {});

    // A daily base address the refresh may use: "http://" or, with certificates checked, "https://".
    static bool isUsableDailyUrl(const std::string& url);
    // "YYYY-MM-DD 状況" from the eight digits of kabuHdate.
    static std::string dateCaption(const std::string& eightDigits);

private:
    Result runSteps(const RefreshHooks& hooks);

    core::Mdl_Start& m_module;
    Downloader& m_downloader;
    const core::Clock& m_clock;
};

} // namespace zuvemo::marketdata
