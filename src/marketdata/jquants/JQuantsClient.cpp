#include "JQuantsClient.h"

#include "ApiKey.h"
#include "JQuantsRefresh.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/Downloader.h"

#include <algorithm>
#include <curl/curl.h>
#include <set>
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
    // A short time-out holds for the connection and a stalled answer too, not only the whole.
    if (options.totalTimeoutMs > 0) {
        limits.connectTimeoutMs = std::min(limits.connectTimeoutMs, options.totalTimeoutMs);
        limits.lowSpeedTimeS = std::clamp(options.totalTimeoutMs / 1000, 1L, limits.lowSpeedTimeS);
    }
    limits.cancel = options.cancel;
    // A page of a whole market is a few megabytes; more would not fit its parse in memory.
    limits.maxBytes = 64ll * 1024 * 1024;
    m_easy = std::make_unique<CurlEasy>(limits);
    m_easy->addHeader("x-api-key: " + options.apiKey);
    m_easy->addHeader("Accept: application/json");
}

std::string JQuantsClient::cleanServerText(const std::string& text, const std::string& key)
{
    std::string out;
    for (unsigned char c : text) {
        out.push_back(c < 0x20 || c == 0x7f ? ' ' : static_cast<char>(c));
    }
    if (!key.empty()) {
        for (auto at = out.find(key); at != std::string::npos; at = out.find(key, at + 4)) {
            out.replace(at, key.size(), "****");
        }
    }
    // Cut at a character's first byte, never inside one.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if ((static_cast<unsigned char>(out[i]) & 0xc0) != 0x80 && chars++ == kServerTextLimit) {
            out.resize(i);
            out += "…";
            break;
        }
    }
    return out;
}

bool JQuantsClient::outsideWindow() const
{
    return m_failure.status == 400 && !JQuantsRefresh::windowEnd(m_failure.serverMessage).empty();
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

void JQuantsClient::keepUnder(std::deque<std::chrono::steady_clock::time_point>& sent, int limit,
    std::chrono::milliseconds window, const std::function<bool(std::chrono::milliseconds)>& sleep)
{
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        while (!sent.empty() && now - sent.front() >= window) {
            sent.pop_front();
        }
        if (static_cast<int>(sent.size()) < limit) {
            sent.push_back(now);
            return;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(sent.front() + window - now);
        if (!sleep(wait + std::chrono::milliseconds(50))) {
            return;
        }
    }
}

void JQuantsClient::pace()
{
    // At most the plan's number of requests in any minute: a short run goes at once, a long
    // fill waits for the oldest request of the window to leave it.
    const int limit = m_options.requestsPerMinute;
    if (limit <= 0) {
        return;
    }
    auto sleep = [this](std::chrono::milliseconds wait) { return sleepFor(wait, true); };
    if (m_fins && m_options.finsPerMinute > 0 && m_options.finsPerMinute < limit) {
        keepUnder(m_finsSent, m_options.finsPerMinute, m_options.paceWindow, sleep);
    }
    keepUnder(m_sent, limit, m_options.paceWindow, sleep);
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
        // A line break in the key would add a header of the caller's making to the request.
        if (!ApiKey::isWellFormed(m_options.apiKey)) {
            m_failure.status = CurlDownloader::kFileError;
            m_failure.message = kMalformedKeyMessage;
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
        m_timeoutsInRow = code == CURLE_OPERATION_TIMEDOUT ? m_timeoutsInRow + 1 : 0;
        if (code != 0) {
            const std::string errorBody = m_easy->takeErrorBody();
            const auto parsed = json::parse(errorBody, nullptr, false);
            if (parsed.is_object() && parsed.contains("message") && parsed["message"].is_string()) {
                m_failure.serverMessage = cleanServerText(parsed["message"].get<std::string>());
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
        } else if (code == 401 || code == 403) {
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
        } else if (code == CurlDownloader::kTooLarge) {
            m_failure.message = kTooLargeMessage;
            return std::nullopt;
        } else if (code == 500 || code == 502 || code == 503 || code == 504) {
            m_failure.message = kNoAnswerMessage;
        } else if (Downloader::isTransportFailure(code)) {
            m_failure.message = kNoAnswerMessage;
        } else {
            m_failure.message = kBadAnswerMessage;
            return std::nullopt;
        }
        // A server that let two requests in a row run out of time will not answer a third: the
        // run ends within twice its time-out.
        if (attempt >= m_options.retries || m_timeoutsInRow >= 2 || !sleepFor(serverWait, false)) {
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
    m_fins = path.rfind("/fins/", 0) == 0;
    json rows = json::array();
    std::string pageKey;
    std::set<std::string> seenKeys;
    auto endless = [this] {
        m_failure = Failure{};
        m_failure.status = CurlDownloader::kIncomplete;
        m_failure.message = kEndlessPagesMessage;
        return std::nullopt;
    };
    for (int page = 0;; ++page) {
        if (page >= m_options.maxPages) {
            return endless();
        }
        auto body = getPage(pageKey.empty() ? url : url + separator + "pagination_key=" + escaped(pageKey));
        if (!body) {
            return std::nullopt;
        }
        auto& data = (*body)["data"];
        if (rows.size() + data.size() > m_options.maxRows) {
            return endless();
        }
        for (auto& row : data) {
            rows.push_back(std::move(row));
        }
        const auto next = body->find("pagination_key");
        if (next == body->end() || next->is_null()
            || (next->is_string() && next->get<std::string>().empty())) {
            return rows;
        }
        // A key that comes back, or a page that moves no row further, would page for ever.
        if (!next->is_string() || data.empty() || !seenKeys.insert(next->get<std::string>()).second) {
            return endless();
        }
        pageKey = next->get<std::string>();
    }
}

} // namespace zuvemo::marketdata
