#pragma once

#include "RawHttpServer.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace zuvemo::test {

// A loopback proxy in front of a server (the sample server's J-Quants address) that hands each
// answer to a test before sending it on: to spoil a body, change a status, cut an answer short.
class FaultProxy
{
public:
    struct Exchange
    {
        std::string path; // "/equities/bars/daily", without the "/v2" of the address
        std::map<std::string, std::string> query;
        int status = 0;
        std::string body;
        bool cut = false; // send half the body under the whole one's length
    };
    using Rewrite = std::function<void(Exchange&)>;

    // upstream: "http://127.0.0.1:PORT/v2".
    FaultProxy(const std::string& upstream, Rewrite rewrite);

    // The proxy's own "http://127.0.0.1:PORT/v2".
    std::string url() const { return m_server.url("/v2"); }
    int requests() const { return m_requests.load(); }
    void setRewrite(Rewrite rewrite);
    // Sends the next requests to another server ("http://127.0.0.1:PORT/v2").
    void setUpstream(const std::string& upstream);

private:
    void serve(int socket, const std::string& head);

    std::string m_host;
    int m_port = 0;
    std::mutex m_mutex;
    Rewrite m_rewrite;
    std::atomic<int> m_requests{0};
    RawHttpServer m_server;
};

} // namespace zuvemo::test
