#pragma once

#include "JQuantsApi.h"
#include "SyntheticMarket.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zuvemo::sample {

// Serves a SyntheticMarket over HTTP on 127.0.0.1:
//   /daily/YYYY-MM-DD?download=csv   the daily quote file, 404 on days without trading
//   /history/CODE?download=csv       a stock's price history
class SampleServer
{
public:
    struct Options
    {
        SyntheticMarket::Options market;
        int latencyMs = 0;
        double failRate = 0.0; // share of history requests answered with status 500
        bool jquants = false; // also serve the market as J-Quants API V2 under /v2
        JQuantsApi::Options api;
    };

    explicit SampleServer(const Options& options);
    ~SampleServer();
    SampleServer(const SampleServer&) = delete;
    SampleServer& operator=(const SampleServer&) = delete;

    // Binds (port 0: any free port) and serves on a background thread; returns the port or -1.
    int start(int port);
    void stop();

    std::string dailyBaseUrl() const;
    std::string historyBaseUrl() const;
    // "http://127.0.0.1:PORT/v2", the J-Quants base address.
    std::string apiBaseUrl() const;
    SyntheticMarket& market() { return m_market; }
    long requests() const { return m_requests.load(); }
    const JQuantsApi* api() const { return m_api.get(); }
    JQuantsApi* api() { return m_api.get(); }

private:
    Options m_options;
    SyntheticMarket m_market;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    // The J-Quants file host, on a port of its own as a real one is on a host of its own.
    std::unique_ptr<httplib::Server> m_files;
    std::thread m_filesThread;
    int m_port = -1;
    std::atomic<long> m_requests{0};
    std::atomic<std::uint64_t> m_failState{0};
    std::unique_ptr<JQuantsApi> m_api;
};

} // namespace zuvemo::sample
