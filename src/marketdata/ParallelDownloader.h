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
//
// With in-place limits a finished body is written, in one piece, to a staging file of this
// process beside its target, and reaches the target only when the caller keeps it. Staging
// files are reused: keeping one swaps it with the old target, whose file then takes a later
// body, so a run over files that already exist makes no new ones.
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
    // With in-place limits, body receives the bytes written to the job's staging file.
    std::int32_t wait(std::size_t index, std::string* body = nullptr);
    // In-place limits: moves the staged file of a finished job onto its path. False when it
    // cannot be moved; then the staged file is gone.
    bool keep(std::size_t index);

    // Stops every transfer; files of transfers that did not finish are removed.
    void cancel();

private:
    void work();
    std::filesystem::path takeStagingFile(const std::filesystem::path& beside);
    void removeStagingFiles();

    std::vector<Job> m_jobs;
    int m_maxInFlight;
    std::size_t m_maxAhead;
    CurlEasy::Limits m_limits;

    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::int32_t> m_results;
    std::vector<bool> m_finished;
    std::vector<std::string> m_bodies;
    std::vector<std::filesystem::path> m_staged;
    std::vector<std::filesystem::path> m_spare;
    unsigned m_stagingNames = 0;
    std::size_t m_consumed = 0;
    bool m_cancelled = false;
    bool m_workerEnded = false;
    void* m_multi = nullptr;
    std::thread m_worker;
};

} // namespace zuvemo::marketdata
