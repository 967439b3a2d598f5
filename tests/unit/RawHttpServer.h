#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace zuvemo::test {

// A loopback TCP server that answers every connection with a scripted behaviour, for the
// faults a real HTTP server will not produce (cut bodies, stalls, endless bodies).
class RawHttpServer
{
public:
    // handler gets the connected socket after the request head has been read.
    explicit RawHttpServer(std::function<void(int socket)> handler);
    // handler also gets the request head (request line and headers).
    explicit RawHttpServer(std::function<void(int socket, const std::string& head)> handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return m_port; }
    std::string url(const std::string& path = "/file") const;

    static bool sendAll(int socket, const std::string& bytes);

private:
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::function<void(int, const std::string&)> m_handler;
};

} // namespace zuvemo::test
