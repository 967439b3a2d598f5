#include "JQuantsClient.h"

#include "CurlDownloader.h"
#include "Downloader.h"

#include <curl/curl.h>
#include <thread>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

std::string escaped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

} // namespace

JQuantsClient::JQuantsClient(const Options& options)
    : m_options(options)
{
    CurlEasy::Limits limits;
    limits.inPlace = true;
    limits.requireLineEnd = false;
    limits.durable = false;
    limits.totalTimeoutMs = options.totalTimeoutMs;
    limits.cancel = options.cancel;
    limits.maxBytes = 256ll * 1024 * 1024;
    m_easy = std::make_unique<CurlEasy>(limits);
    m_easy->addHeader("x-api-key: " + options.apiKey);
    m_easy->addHeader("Accept: application/json");
}

bool JQuantsClient::sleepFor(std::chrono::milliseconds wait, bool rateLimit)
{
    if (m_options.onWait) {
        m_options.onWait(wait, rateLimit);
    }
    const auto until = std::chrono::steady_clock::now() + wait;
    bool slept = true;
    while (std::chrono::steady_clock::now() < until) {
        if (m_options.cancel && m_options.cancel->load()) {
            slept = false;
            break;
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(std::chrono::milliseconds(100),
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())));
    }
    if (m_options.onWait) {
        m_options.onWait(std::chrono::milliseconds(0), rateLimit);
    }
    return slept;
}

void JQuantsClient::pace()
{
    // At most the plan's number of requests in any minute: a short run goes at once, a long
    // fill waits for the oldest request of the window to leave it.
    const int limit = m_options.requestsPerMinute;
    if (limit <= 0) {
        return;
    }
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        while (!m_sent.empty() && now - m_sent.front() >= m_options.paceWindow) {
            m_sent.pop_front();
        }
        if (static_cast<int>(m_sent.size()) < limit) {
            m_sent.push_back(now);
            return;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_sent.front() + m_options.paceWindow - now);
        if (!sleepFor(wait + std::chrono::milliseconds(50), true)) {
            return;
        }
    }
}

std::optional<json> JQuantsClient::getPage(const std::string& url)
{
    auto serverWait = m_options.serverErrorWait;
    for (int attempt = 0;; ++attempt) {
        m_failure = Failure{};
        if (m_options.cancel && m_options.cancel->load()) {
            m_failure.cancelled = true;
            return std::nullopt;
        }
        pace();
        if (m_onRequest) {
            m_onRequest();
        }
        ++m_requests;
        if (!m_easy->begin(url, {})) {
            m_failure.status = CurlDownloader::kFileError;
            m_failure.message = kNoAnswerMessage;
            return std::nullopt;
        }
        const int rc = curl_easy_perform(m_easy->handle());
        const std::int32_t code = m_easy->finish(rc);
        if (code == CurlDownloader::kCancelled) {
            m_failure.cancelled = true;
            return std::nullopt;
        }
        m_failure.status = code;
        if (code != 0) {
            const std::string errorBody = m_easy->takeErrorBody();
            const auto parsed = json::parse(errorBody, nullptr, false);
            if (parsed.is_object() && parsed.contains("message") && parsed["message"].is_string()) {
                m_failure.serverMessage = parsed["message"].get<std::string>();
            }
        }
        if (code == 0) {
            auto body = json::parse(m_easy->takeBody(), nullptr, false);
            // A cut or malformed body is a failed request, never part of an answer.
            if (body.is_discarded() || !body.is_object() || !body.contains("data")
                || !body["data"].is_array()) {
                m_failure.status = CurlDownloader::kIncomplete;
                m_failure.message = kBadAnswerMessage;
            } else {
                return body;
            }
        } else if (code == 403) {
            m_failure.message = kForbiddenMessage;
            return std::nullopt;
        } else if (code == 400) {
            m_failure.message = "J-Quants API が要求を受け付けません。" + m_failure.serverMessage;
            return std::nullopt;
        } else if (code == 429) {
            m_failure.message = kRateMessage;
            if (attempt < m_options.retries && sleepFor(m_options.rateLimitWait, true)) {
                continue;
            }
            return std::nullopt;
        } else if (code == 500 || code == 502 || code == 503 || code == 504) {
            m_failure.message = kNoAnswerMessage;
        } else if (Downloader::isTransportFailure(code)) {
            m_failure.message = kNoAnswerMessage;
        } else {
            m_failure.message = kBadAnswerMessage;
            return std::nullopt;
        }
        if (attempt >= m_options.retries || !sleepFor(serverWait, false)) {
            return std::nullopt;
        }
        serverWait *= 2;
    }
}

std::optional<json> JQuantsClient::getAll(
    const std::string& path, const std::map<std::string, std::string>& query)
{
    std::string url = m_options.baseUrl + path;
    char separator = '?';
    for (const auto& [name, value] : query) {
        url += separator + escaped(name) + "=" + escaped(value);
        separator = '&';
    }
    json rows = json::array();
    std::string pageKey;
    for (int page = 0; page < 100000; ++page) {
        auto body = getPage(pageKey.empty() ? url : url + separator + "pagination_key=" + escaped(pageKey));
        if (!body) {
            return std::nullopt;
        }
        for (auto& row : (*body)["data"]) {
            rows.push_back(std::move(row));
        }
        const auto next = body->find("pagination_key");
        if (next == body->end() || !next->is_string() || next->get<std::string>().empty()) {
            return rows;
        }
        pageKey = next->get<std::string>();
    }
    m_failure.message = kBadAnswerMessage;
    return std::nullopt;
}

} // namespace zuvemo::marketdata
