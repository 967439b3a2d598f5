#include "SampleServer.h"

#include <chrono>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace zuvemo::sample {

SampleServer::SampleServer(const Options& options)
    : m_options(options)
    , m_market(options.market)
    , m_server(std::make_unique<httplib::Server>())
{
    // Every kept-alive connection holds a worker: leave room for many parallel clients.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(32); };
    // Headers and body go out in separate writes: without this, a kept-alive connection waits
    // for the client's delayed acknowledgement on every answer.
    m_server->set_socket_options([](int sock) {
        httplib::default_socket_options(sock);
        int one = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    });
    m_server->set_keep_alive_max_count(100000);
    m_server->set_keep_alive_timeout(30);
    auto delay = [this] {
        m_requests++;
        if (m_options.latencyMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_options.latencyMs));
        }
    };
    if (m_options.jquants) {
        m_api = std::make_unique<JQuantsApi>(m_market, m_options.api);
        m_api->install(*m_server);
    }
    m_server->Get(R"(/daily/(\d{4})-(\d{2})-(\d{2}))",
        [this, delay](const httplib::Request& req, httplib::Response& res) {
            delay();
            std::chrono::year_month_day day{std::chrono::year{std::stoi(req.matches[1])},
                std::chrono::month{static_cast<unsigned>(std::stoi(req.matches[2]))},
                std::chrono::day{static_cast<unsigned>(std::stoi(req.matches[3]))}};
            auto body = day.ok() ? m_market.dailyFile(day) : std::nullopt;
            if (!body) {
                res.status = 404;
                res.set_content("no quote list for this day\r\n", "text/plain");
                return;
            }
            res.set_content(*body, "text/csv; charset=Shift_JIS");
        });
    m_server->Get(R"(/history/([^/?]+))", [this, delay](const httplib::Request& req, httplib::Response& res) {
        delay();
        if (m_options.failRate > 0) {
            // A fixed sequence, so a run with the same options fails the same share.
            std::uint64_t z = (m_failState += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            z ^= z >> 31;
            if (static_cast<double>(z >> 11) / 9007199254740992.0 < m_options.failRate) {
                res.status = 500;
                res.set_content("internal error\r\n", "text/plain");
                return;
            }
        }
        auto body = m_market.historyFile(req.matches[1]);
        if (!body) {
            res.status = 404;
            res.set_content("unknown code\r\n", "text/plain");
            return;
        }
        res.set_content(*body, "text/csv; charset=Shift_JIS");
    });
}

SampleServer::~SampleServer()
{
    stop();
}

int SampleServer::start(int port)
{
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
    } else {
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (m_port <= 0) {
        return -1;
    }
    if (m_api) {
        m_files = std::make_unique<httplib::Server>();
        const int filesPort = m_files->bind_to_any_port("127.0.0.1");
        if (filesPort <= 0) {
            return -1;
        }
        m_api->installFiles(*m_files, "http://127.0.0.1:" + std::to_string(filesPort));
        m_filesThread = std::thread([this] { m_files->listen_after_bind(); });
        while (!m_files->is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_port;
}

void SampleServer::stop()
{
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
    if (m_filesThread.joinable()) {
        m_files->stop();
        m_filesThread.join();
    }
}

std::string SampleServer::dailyBaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/daily/";
}

std::string SampleServer::apiBaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/v2";
}

std::string SampleServer::historyBaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/history/";
}

} // namespace zuvemo::sample
