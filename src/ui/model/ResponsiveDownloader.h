#pragma once

#include "marketdata/Downloader.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace zuvemo::ui {

// Lets a window stay alive during a download: a download asked for on the window's thread runs
// on a helper thread while the window's thread keeps pumping its events, and a stop the user
// asks for meanwhile reaches the transfer itself, which then ends within a second. Calls from
// other threads go straight through.
class ResponsiveDownloader : public marketdata::Downloader
{
public:
    ResponsiveDownloader(
        marketdata::Downloader& inner, std::function<void()> pump, std::function<bool()> stopRequested);
    ~ResponsiveDownloader() override;
    ResponsiveDownloader(const ResponsiveDownloader&) = delete;
    ResponsiveDownloader& operator=(const ResponsiveDownloader&) = delete;

    std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override;

    // How long the transfer under way has taken so far; zero between transfers.
    std::chrono::milliseconds elapsed() const;

private:
    marketdata::Downloader& m_inner;
    std::function<void()> m_pump;
    std::function<bool()> m_stopRequested;
    std::thread::id m_owner;
    std::atomic<bool> m_stop{false};
    bool m_inDownload = false;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace zuvemo::ui
