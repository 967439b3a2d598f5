#pragma once

#include "marketdata/CurlEasy.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace zuvemo::marketdata {

// GET requests to the J-Quants API V2: the key in a header, every page of an answer, a pace
// below the plan's rate, 429 and server errors retried, every failure said in Japanese. The key
// is never part of a message.
class JQuantsClient
{
public:
    struct Options
    {
        std::string baseUrl; // "https://api.jquants.com/v2"
        std::string apiKey;
        int requestsPerMinute = 5;
        // /fins/… answers at most this many a minute whatever the plan (when paced at all).
        int finsPerMinute = 60;
        // The minute of requestsPerMinute: requests go one every paceWindow / requestsPerMinute
        // (and a little more), never in bursts.
        std::chrono::milliseconds paceWindow{60000};
        long totalTimeoutMs = 60000; // of one request; also bounds its connection and stalls
        std::chrono::milliseconds rateLimitWait{65000}; // after a 429
        std::chrono::milliseconds serverErrorWait{2000}; // first back-off after a 5xx, doubled
        int retries = 3;
        // An answer spread over more pages, or holding more rows, is no answer the API gives.
        int maxPages = 100;
        std::size_t maxRows = 50000;
        const std::atomic<bool>* cancel = nullptr;
        // Called as a wait begins (with its length) and as it ends (with 0): the plan's pace or
        // a 429 when rateLimit, a server's error otherwise.
        std::function<void(std::chrono::milliseconds wait, bool rateLimit)> onWait;
    };
    struct Failure
    {
        int status = 0; // HTTP status, or the transfer's failure code
        std::string message; // Japanese, for the user
        std::string serverMessage; // the answer's {"message"}, if any
        bool cancelled = false;
    };

    static constexpr const char* kForbiddenMessage = "APIキーが無効か、契約プランの範囲外です。";
    static constexpr const char* kRateMessage
        = "J-Quants API の利用回数の上限を超えました。しばらくしてからやり直してください。";
    static constexpr const char* kNoAnswerMessage = "J-Quants API から応答がありません。";
    static constexpr const char* kBadAnswerMessage = "J-Quants API の応答が正しくありません。";
    static constexpr const char* kEndlessPagesMessage = "J-Quants API の応答のページが終わりません。";
    static constexpr const char* kTooLargeMessage = "J-Quants API の応答が大きすぎます。";
    static constexpr const char* kKeyEchoedMessage
        = "J-Quants API の応答に APIキーの一部が含まれています。この応答は使いません。";
    static constexpr const char* kMalformedKeyMessage = "APIキーの形式が正しくありません。";
    // Texts from a server are cut to this many characters before they are shown or kept.
    static constexpr std::size_t kServerTextLimit = 200;

    explicit JQuantsClient(const Options& options);

    // The "data" rows of every page of path?query; nothing after a failure (in lastFailure()).
    std::optional<nlohmann::json> getAll(
        const std::string& path, const std::map<std::string, std::string>& query);

    // The whole answer of one request that is no list of rows (/bulk/get's {"url": …}).
    std::optional<nlohmann::json> getObject(
        const std::string& path, const std::map<std::string, std::string>& query);

    const Failure& lastFailure() const { return m_failure; }
    // A 400 whose message names the dates the plan covers: outside the plan, not a fault.
    bool outsideWindow() const;
    long requests() const { return m_requests; }
    // Called before each request, e.g. for progress.
    void setOnRequest(std::function<void()> hook) { m_onRequest = std::move(hook); }

    // A text from a server as the program may show or keep it: control and invisible characters
    // dropped, then the key and every piece of it (KeyMask) replaced by "****", then cut to
    // kServerTextLimit characters.
    static std::string cleanServerText(const std::string& text, const std::string& key);
    std::string cleanServerText(const std::string& text) const
    {
        return cleanServerText(text, m_options.apiKey);
    }

private:
    std::optional<nlohmann::json> getPage(const std::string& url, bool rows = true);
    std::string urlOf(const std::string& path, const std::map<std::string, std::string>& query) const;
    // The requests of one limit: when the last began, when the last `limit` ended.
    struct Pace
    {
        int limit = 0; // a window; 0: unpaced
        std::optional<std::chrono::steady_clock::time_point> lastStart;
        std::deque<std::chrono::steady_clock::time_point> ends;
        std::chrono::steady_clock::time_point readyAt(std::chrono::milliseconds window) const;
    };
    void pace();
    void ended();
    bool sleepFor(std::chrono::milliseconds wait, bool rateLimit);
    bool sleepQuietly(std::chrono::milliseconds wait);

    Options m_options;
    std::unique_ptr<CurlEasy> m_easy;
    Pace m_pace;
    Pace m_finsPace;
    bool m_fins = false; // the request under way is to /fins/…
    Failure m_failure;
    long m_requests = 0;
    int m_timeoutsInRow = 0;
    std::function<void()> m_onRequest;
};

} // namespace zuvemo::marketdata
