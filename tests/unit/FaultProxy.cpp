#include "FaultProxy.h"

#include <httplib.h>
#include <sstream>

namespace zuvemo::test {

FaultProxy::FaultProxy(const std::string& upstream, Rewrite rewrite)
    : m_rewrite(std::move(rewrite))
    , m_server([this](int socket, const std::string& head) { serve(socket, head); })
{
    setUpstream(upstream);
}

void FaultProxy::setUpstream(const std::string& upstream)
{
    // "http://127.0.0.1:PORT/v2"
    const auto hostStart = upstream.find("//") + 2;
    const auto colon = upstream.find(':', hostStart);
    std::lock_guard lock(m_mutex);
    m_host = upstream.substr(hostStart, colon - hostStart);
    m_port = std::stoi(upstream.substr(colon + 1));
}

void FaultProxy::setRewrite(Rewrite rewrite)
{
    std::lock_guard lock(m_mutex);
    m_rewrite = std::move(rewrite);
}

void FaultProxy::serve(int socket, const std::string& head)
{
    ++m_requests;
    std::istringstream lines(head);
    std::string method;
    std::string target;
    lines >> method >> target;
    httplib::Headers headers;
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line != "\r") {
        const auto colon = line.find(':');
        if (colon != std::string::npos && line.compare(0, colon, "x-api-key") == 0) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            value.erase(value.find_last_not_of("\r") + 1);
            headers.emplace("x-api-key", value);
        }
    }
    Exchange exchange;
    const auto question = target.find('?');
    exchange.path = target.substr(0, question);
    if (exchange.path.rfind("/v2", 0) == 0) {
        exchange.path.erase(0, 3);
    }
    if (question != std::string::npos) {
        httplib::Params params;
        httplib::detail::parse_query_text(target.substr(question + 1), params);
        for (const auto& [name, value] : params) {
            exchange.query[name] = value;
        }
    }
    std::string host;
    int port = 0;
    {
        std::lock_guard lock(m_mutex);
        host = m_host;
        port = m_port;
    }
    httplib::Client client(host, port);
    if (auto answer = client.Get(target, headers)) {
        exchange.status = answer->status;
        exchange.body = answer->body;
    } else {
        exchange.status = 502;
    }
    Rewrite rewrite;
    {
        std::lock_guard lock(m_mutex);
        rewrite = m_rewrite;
    }
    if (rewrite) {
        rewrite(exchange);
    }
    const std::string sent = exchange.cut ? exchange.body.substr(0, exchange.body.size() / 2) : exchange.body;
    RawHttpServer::sendAll(socket,
        "HTTP/1.1 " + std::to_string(exchange.status)
            + " X\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
            + std::to_string(exchange.body.size()) + "\r\n\r\n" + sent);
}

} // namespace zuvemo::test
