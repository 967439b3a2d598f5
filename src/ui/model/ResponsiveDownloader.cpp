#include "ResponsiveDownloader.h"

#include <chrono>
#include <future>

namespace zuvemo::ui {

ResponsiveDownloader::ResponsiveDownloader(
    marketdata::Downloader& inner, std::function<void()> pump, std::function<bool()> stopRequested)
    : m_inner(inner)
    , m_pump(std::move(pump))
    , m_stopRequested(std::move(stopRequested))
    , m_owner(std::this_thread::get_id())
{
}

ResponsiveDownloader::~ResponsiveDownloader() = default;

std::chrono::milliseconds ResponsiveDownloader::elapsed() const
{
    if (!m_inDownload) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_started);
}

std::int32_t ResponsiveDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    // The pump may run a handler that downloads too; that one waits on this thread as before.
    if (std::this_thread::get_id() != m_owner || m_inDownload) {
        return m_inner.DownloadToFile(url, path);
    }
    m_inDownload = true;
    m_started = std::chrono::steady_clock::now();
    m_stop = m_stopRequested && m_stopRequested();
    // The flag is lent for this transfer only: the downloader may outlive this object.
    m_inner.setCancelFlag(&m_stop);
    auto transfer
        = std::async(std::launch::async, [this, &url, &path] { return m_inner.DownloadToFile(url, path); });
    while (transfer.wait_for(std::chrono::milliseconds(30)) != std::future_status::ready) {
        if (m_pump) {
            m_pump();
        }
        if (!m_stop && m_stopRequested && m_stopRequested()) {
            m_stop = true;
        }
    }
    m_inDownload = false;
    m_inner.setCancelFlag(nullptr);
    m_stop = false;
    return transfer.get();
}

} // namespace zuvemo::ui
