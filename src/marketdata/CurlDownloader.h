#pragma once

#include "Downloader.h"

#include <atomic>
#include <memory>

namespace zuvemo::marketdata {

class CurlEasy;

// DownloadToFile on libcurl. One handle is kept for all transfers, so requests to one server
// share its connection.
class CurlDownloader : public Downloader
{
public:
    struct Options
    {
        long connectTimeoutMs = 15000;
        long lowSpeedTimeS = 30; // below 1 byte/s for this long ends the transfer
        std::int64_t maxBytes = 64ll * 1024 * 1024;
        long totalTimeoutMs = kDailyTimeoutMs; // the whole transfer
        bool durable = true;
        const std::atomic<bool>* cancel = nullptr;
    };
    static constexpr long kDailyTimeoutMs = 60000;
    static constexpr long kHistoryTimeoutMs = 30000;
    static constexpr std::int32_t kFileError = -1;
    static constexpr std::int32_t kTooLarge = -2;
    static constexpr std::int32_t kIncomplete = -3; // the body ended without its line break
    static constexpr std::int32_t kCancelled = -4;
    static constexpr std::int32_t kNotAHistory = -5; // answered with a page whose line 3 is no date
    static constexpr std::int32_t kDiskFull = -6; // kFileError for want of space
    static constexpr const char* kDiskFullMessage
        = "ディスクの空き容量が足りないため、ダウンロードしたファイルを保存できません。空き容量を増やしてから"
          "やり直してください。";

    // kDiskFull when the last failed write of this thread ran out of space, else kFileError.
    static std::int32_t localFailure();

    CurlDownloader();
    explicit CurlDownloader(const Options& options);
    ~CurlDownloader() override;

    std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override;
    void setCancelFlag(const std::atomic<bool>* flag) override;

private:
    Options m_options;
    std::unique_ptr<CurlEasy> m_easy;
};

} // namespace zuvemo::marketdata
