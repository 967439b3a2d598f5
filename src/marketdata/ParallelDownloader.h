#pragma once

#include "CurlEasy.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zuvemo::marketdata {

// Downloads a list of files with up to maxInFlight transfers at once on a worker thread, while
// the caller takes the results strictly in list order. It stays at most maxAhead files ahead of
// the caller, so a long list does not fill the disk before it is used.
class ParallelDownloader
{
public:
    struct Job
    {
        std::string url;
        std::filesystem::path path;
    };

    ParallelDownloader(std::vector<Job> jobs, int maxInFlight, const CurlEasy::Limits& limits);
    ~ParallelDownloader();
    ParallelDownloader(const ParallelDownloader&) = delete;
    ParallelDownloader& operator=(const ParallelDownloader&) = delete;

    // Waits for job index (taken in order 0, 1, 2, ...) and returns its DownloadToFile result.
    std::int32_t wait(std::size_t index);

    // Stops every transfer; files of transfers that did not finish are removed.
    void cancel();

private:
    void work();

    std::vector<Job> m_jobs;
    int m_maxInFlight;
    std::size_t m_maxAhead;
    CurlEasy::Limits m_limits;

    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::int32_t> m_results;
    std::vector<bool> m_finished;
    std::size_t m_consumed = 0;
    bool m_cancelled = false;
    bool m_workerEnded = false;
    void* m_multi = nullptr;
    std::thread m_worker;
};

} // namespace zuvemo::marketdata
