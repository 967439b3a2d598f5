#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace zuvemo::test {

RawHttpServer::RawHttpServer(std::function<void(int)> handler)
    : RawHttpServer(std::function<void(int, const std::string&)>(
        [handler = std::move(handler)](int socket, const std::string&) { handler(socket); }))
{
}

RawHttpServer::RawHttpServer(std::function<void(int, const std::string&)> handler)
    : m_handler(std::move(handler))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::listen(m_listen, 16) != 0) {
        throw std::runtime_error("cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] {
        std::vector<std::thread> workers;
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            int s = ::accept(m_listen, nullptr, nullptr);
            if (s < 0) {
                continue;
            }
            workers.emplace_back([this, s] {
                // Read the request head.
                std::string head;
                char buf[1024];
                while (head.find("\r\n\r\n") == std::string::npos) {
                    pollfd q{s, POLLIN, 0};
                    if (::poll(&q, 1, 2000) <= 0) {
                        break;
                    }
                    ssize_t n = ::recv(s, buf, sizeof buf, 0);
                    if (n <= 0) {
                        break;
                    }
                    head.append(buf, static_cast<std::size_t>(n));
                }
                m_handler(s, head);
                ::close(s);
            });
        }
        for (auto& w : workers) {
            w.join();
        }
    });
}

RawHttpServer::~RawHttpServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::string RawHttpServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

bool RawHttpServer::sendAll(int socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace zuvemo::test
