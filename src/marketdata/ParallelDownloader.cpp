#include "ParallelDownloader.h"

#include "CurlDownloader.h"
#include "TempFiles.h"
#include "core/Platform.h"

#include <curl/curl.h>
#include <map>
#include <memory>
#include <system_error>

namespace zuvemo::marketdata {

ParallelDownloader::ParallelDownloader(std::vector<Job> jobs, int maxInFlight, const CurlEasy::Limits& limits)
    : m_jobs(std::move(jobs))
    , m_maxInFlight(std::max(1, maxInFlight))
    , m_maxAhead(static_cast<std::size_t>(std::max(1, maxInFlight)) * 4)
    , m_limits(limits)
    , m_results(m_jobs.size(), 0)
    , m_finished(m_jobs.size(), false)
    , m_bodies(m_jobs.size())
    , m_staged(m_jobs.size())
{
    ensureCurlGlobal();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(m_maxInFlight));
    curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(m_maxInFlight));
    m_worker = std::thread([this] { work(); });
}

ParallelDownloader::~ParallelDownloader()
{
    cancel();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    curl_multi_cleanup(m_multi);
    removeStagingFiles();
}

std::filesystem::path ParallelDownloader::takeStagingFile(const std::filesystem::path& beside)
{
    std::lock_guard lock(m_mutex);
    if (!m_spare.empty()) {
        auto path = std::move(m_spare.back());
        m_spare.pop_back();
        return path;
    }
    return TempFiles::stagingPath(beside.parent_path(), m_stagingNames++);
}

bool ParallelDownloader::keep(std::size_t index)
{
    std::filesystem::path staged;
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_jobs.size() || m_staged[index].empty()) {
            return false;
        }
        staged = std::move(m_staged[index]);
        m_staged[index].clear();
    }
    const auto& target = m_jobs[index].path;
    if (!m_limits.durable && core::Platform::exchangeFiles(staged, target)) {
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(staged));
        return true;
    }
    if (core::Platform::replaceFile(staged, target, nullptr, m_limits.durable)) {
        return true;
    }
    std::error_code ec;
    std::filesystem::remove(staged, ec);
    return false;
}

void ParallelDownloader::removeStagingFiles()
{
    std::error_code ec;
    for (const auto& path : m_staged) {
        if (!path.empty()) {
            std::filesystem::remove(path, ec);
        }
    }
    for (const auto& path : m_spare) {
        std::filesystem::remove(path, ec);
    }
    m_spare.clear();
}

void ParallelDownloader::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    curl_multi_wakeup(m_multi);
    m_done.notify_all();
}

std::int32_t ParallelDownloader::wait(std::size_t index, std::string* body)
{
    if (index >= m_jobs.size()) {
        return CurlDownloader::kFileError;
    }
    std::unique_lock lock(m_mutex);
    if (index > m_consumed) {
        m_consumed = index;
        curl_multi_wakeup(m_multi);
    }
    m_done.wait(lock, [&] { return m_finished[index] || m_workerEnded; });
    std::int32_t result = m_finished[index] ? m_results[index] : CurlDownloader::kFileError;
    if (body) {
        *body = std::move(m_bodies[index]);
    }
    m_bodies[index] = std::string();
    m_consumed = index + 1;
    lock.unlock();
    curl_multi_wakeup(m_multi);
    return result;
}

void ParallelDownloader::work()
{
    std::vector<std::unique_ptr<CurlEasy>> idle;
    idle.reserve(static_cast<std::size_t>(m_maxInFlight));
    for (int i = 0; i < m_maxInFlight; ++i) {
        idle.push_back(std::make_unique<CurlEasy>(m_limits));
    }
    std::map<CURL*, std::pair<std::unique_ptr<CurlEasy>, std::size_t>> active;
    std::size_t next = 0;
    auto publish = [this](std::size_t index, std::int32_t result, std::string body = {},
                       std::filesystem::path staged = {}) {
        {
            std::lock_guard lock(m_mutex);
            m_results[index] = result;
            m_bodies[index] = std::move(body);
            m_staged[index] = std::move(staged);
            m_finished[index] = true;
        }
        m_done.notify_all();
    };

    for (;;) {
        std::size_t limit = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_cancelled) {
                break;
            }
            limit = std::min(m_jobs.size(), m_consumed + m_maxAhead);
        }
        while (!idle.empty() && next < limit) {
            auto easy = std::move(idle.back());
            idle.pop_back();
            if (!easy->begin(m_jobs[next].url, m_jobs[next].path)) {
                publish(next++, CurlDownloader::kFileError);
                idle.push_back(std::move(easy));
                continue;
            }
            CURL* handle = easy->handle();
            curl_multi_add_handle(m_multi, handle);
            active.emplace(handle, std::make_pair(std::move(easy), next++));
        }
        if (active.empty() && next >= m_jobs.size()) {
            break;
        }
        int running = 0;
        curl_multi_perform(m_multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* handle = msg->easy_handle;
            CURLcode code = msg->data.result;
            curl_multi_remove_handle(m_multi, handle);
            auto it = active.find(handle);
            if (it == active.end()) {
                continue;
            }
            const std::size_t index = it->second.second;
            std::int32_t result = it->second.first->finish(code);
            if (result == 0 && m_limits.inPlace) {
                std::string body = it->second.first->takeBody();
                auto staged = takeStagingFile(m_jobs[index].path);
                if (core::Platform::writeWholeFile(staged, body, nullptr, core::Platform::WriteMode::Cache)
                    && (!m_limits.durable || core::Platform::syncFile(staged))) {
                    publish(index, 0, std::move(body), std::move(staged));
                } else {
                    const auto failure = CurlDownloader::localFailure();
                    std::error_code ec;
                    std::filesystem::remove(staged, ec);
                    publish(index, failure);
                }
            } else {
                publish(index, result);
            }
            idle.push_back(std::move(it->second.first));
            active.erase(it);
        }
        curl_multi_poll(m_multi, nullptr, 0, 100, nullptr);
    }
    for (auto& [handle, entry] : active) {
        curl_multi_remove_handle(m_multi, handle);
        entry.first->abandon();
    }
    active.clear();
    {
        std::lock_guard lock(m_mutex);
        m_workerEnded = true;
    }
    m_done.notify_all();
}

} // namespace zuvemo::marketdata
