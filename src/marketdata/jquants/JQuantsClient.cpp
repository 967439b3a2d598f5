#include "JQuantsClient.h"

#include "ApiKey.h"
#include "JQuantsRefresh.h"
#include "KeyMask.h"
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
    m_pace.limit = std::max(0, options.requestsPerMinute);
    // /fins/… has a limit of its own, which only binds when it is below the plan's.
    if (options.requestsPerMinute > 0 && options.finsPerMinute > 0
        && options.finsPerMinute < options.requestsPerMinute) {
        m_finsPace.limit = options.finsPerMinute;
    }
    // The key goes in a header, and libcurl sends such a header on to wherever a redirect
    // points: the API answers where it is asked, so no redirect is followed.
    curl_easy_setopt(m_easy->handle(), CURLOPT_FOLLOWLOCATION, 0L);
    m_easy->addHeader("x-api-key: " + options.apiKey);
    m_easy->addHeader("Accept: application/json");
}

std::string JQuantsClient::cleanServerText(const std::string& text, const std::string& key)
{
    // The key is looked for with control and invisible characters left out, since a key split
    // by them would pass a plain search; outside the key a control character shows as a blank.
    struct Unit
    {
        std::size_t at, size;
        bool control; // a C0 or C1 control: shown as a blank
        bool invisible; // a format character: dropped
    };
    std::vector<Unit> units;
    std::string plain;
    std::vector<std::size_t> plainUnit; // the unit of each byte of plain
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
        Unit unit{i, 1, c < 0x20 || c == 0x7f, false};
        if (c == 0xc2 && next >= 0x80 && next <= 0x9f) { // U+0080–U+009F
            unit = {i, 2, true, false};
        } else if ((c == 0xe2 && next == 0x80
                       && ((third >= 0x8b && third <= 0x8f) || (third >= 0xa8 && third <= 0xae)))
            || (c == 0xe2 && next == 0x81 && third >= 0xa0 && third <= 0xa4)
            || (c == 0xef && next == 0xbb && third == 0xbf)) { // U+200B–F, U+2028–E, U+2060–4, U+FEFF
            unit = {i, 3, false, true};
        }
        if (!unit.control && !unit.invisible) {
            plain.push_back(static_cast<char>(c));
            plainUnit.push_back(units.size());
        }
        units.push_back(unit);
        i += unit.size;
    }
    const auto covered = KeyMask(key).covered(plain);
    std::vector<char> unitCovered(units.size(), 0);
    for (std::size_t p = 0; p < plain.size(); ++p) {
        unitCovered[plainUnit[p]] = covered[p];
    }
    // A control or invisible character between two covered bytes belongs to the piece.
    for (std::size_t p = 1; p < plain.size(); ++p) {
        if (covered[p - 1] && covered[p]) {
            for (std::size_t u = plainUnit[p - 1] + 1; u < plainUnit[p]; ++u) {
                unitCovered[u] = 1;
            }
        }
    }
    std::string out;
    for (std::size_t u = 0; u < units.size(); ++u) {
        if (unitCovered[u]) {
            if (u == 0 || !unitCovered[u - 1]) {
                out += KeyMask::kMask;
            }
        } else if (units[u].control) {
            out.push_back(' ');
        } else if (!units[u].invisible) {
            out.append(text, units[u].at, units[u].size);
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

bool JQuantsClient::sleepQuietly(std::chrono::milliseconds wait)
{
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (m_options.cancel && m_options.cancel->load()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(100), until - std::chrono::steady_clock::now()));
    }
    return true;
}

bool JQuantsClient::sleepFor(std::chrono::milliseconds wait, bool rateLimit)
{
    if (m_options.onWait) {
        m_options.onWait(wait, rateLimit);
    }
    const bool slept = sleepQuietly(wait);
    if (m_options.onWait) {
        m_options.onWait(std::chrono::milliseconds(0), rateLimit);
    }
    return slept;
}

std::chrono::steady_clock::time_point JQuantsClient::Pace::readyAt(std::chrono::milliseconds window) const
{
    // One request every window / limit, and never a (limit + 1)th within window of the end of
    // the limit-th before it: a server that counts from a request's arrival, which lies
    // between its start and its end here, never sees more than limit in any of its windows.
    const auto span = window + window / 50;
    auto ready = lastStart ? *lastStart + span / limit : std::chrono::steady_clock::time_point{};
    if (static_cast<int>(ends.size()) >= limit) {
        ready = std::max(ready, ends[ends.size() - static_cast<std::size_t>(limit)] + span);
    }
    return ready;
}

void JQuantsClient::pace()
{
    std::vector<Pace*> paces;
    if (m_pace.limit > 0) {
        paces.push_back(&m_pace);
    }
    if (m_fins && m_finsPace.limit > 0) {
        paces.push_back(&m_finsPace);
    }
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        auto ready = now;
        for (const auto* p : paces) {
            ready = std::max(ready, p->readyAt(m_options.paceWindow));
        }
        if (ready <= now) {
            for (auto* p : paces) {
                p->lastStart = now;
            }
            return;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(ready - now)
            + std::chrono::milliseconds(1);
        // The steady pace of a long fill is no wait to speak of; a longer one is shown.
        const bool shown = wait >= std::chrono::seconds(2);
        if (!(shown ? sleepFor(wait, true) : sleepQuietly(wait))) {
            return;
        }
    }
}

void JQuantsClient::ended()
{
    const auto now = std::chrono::steady_clock::now();
    for (auto* p : {&m_pace, &m_finsPace}) {
        if (p->limit > 0 && (p == &m_pace || m_fins)) {
            p->ends.push_back(now);
            while (static_cast<int>(p->ends.size()) > p->limit) {
                p->ends.pop_front();
            }
        }
    }
}

std::optional<json> JQuantsClient::getPage(const std::string& url, bool rows)
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
        ended();
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
            if (body.is_discarded() || !body.is_object()
                || (rows && (!body.contains("data") || !body["data"].is_array()))) {
                m_failure.status = CurlDownloader::kIncomplete;
                m_failure.message = kBadAnswerMessage;
            } else if (KeyMask(m_options.apiKey).holdsAnywhere(body)) {
                // Nothing of such an answer may be shown or stored, and asking again will not help.
                m_failure.status = CurlDownloader::kIncomplete;
                m_failure.message = kKeyEchoedMessage;
                return std::nullopt;
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

std::string JQuantsClient::urlOf(
    const std::string& path, const std::map<std::string, std::string>& query) const
{
    std::string url = m_options.baseUrl + path;
    char separator = '?';
    for (const auto& [name, value] : query) {
        url += separator + escaped(name) + "=" + escaped(value);
        separator = '&';
    }
    return url;
}

std::optional<json> JQuantsClient::getObject(
    const std::string& path, const std::map<std::string, std::string>& query)
{
    m_fins = path.rfind("/fins/", 0) == 0;
    return getPage(urlOf(path, query), false);
}

std::optional<json> JQuantsClient::getAll(
    const std::string& path, const std::map<std::string, std::string>& query)
{
    const std::string url = urlOf(path, query);
    const char separator = query.empty() ? '?' : '&';
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
