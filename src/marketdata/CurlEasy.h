#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

typedef void CURL;
struct curl_slist;

namespace zuvemo::marketdata {

// Initialises libcurl once for the process, before any thread uses it.
void ensureCurlGlobal();

// One libcurl easy handle set up for a plain GET of a file. A transfer writes into a temporary
// file beside the target and renames it over the target only when it succeeded (or keeps the
// body in memory for the caller).
class CurlEasy
{
public:
    struct Limits
    {
        long connectTimeoutMs = 15000;
        long lowSpeedTimeS = 30;
        std::int64_t maxBytes = 64ll * 1024 * 1024;
        // The whole transfer, connection included; 0 leaves it unbounded.
        long totalTimeoutMs = 60000;
        // Flush each file to the disk before it replaces the target. Re-fetchable caches skip it.
        bool durable = true;
        // A CSV file of the data source ends with a line break: a body without one was cut short.
        bool requireLineEnd = true;
        // Set from elsewhere (a stop button, a signal) to abort the transfer within a second.
        const std::atomic<bool>* cancel = nullptr;
        // The body is kept in memory and handed to the caller (takeBody), who stores it; no
        // file is made.
        bool inPlace = false;
        // When set, the body of a 2xx answer goes here as it arrives, neither kept nor written;
        // false stops the transfer (finish then says kIncomplete). Other answers' bodies are
        // kept for takeErrorBody.
        std::function<bool(std::string_view piece)> sink;
    };

    explicit CurlEasy(const Limits& limits);
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    // Prepares a transfer of url into path; false when the temporary file cannot be made.
    bool begin(const std::string& url, const std::filesystem::path& path);
    // Finishes a transfer whose libcurl result is curlCode: checks status and size, then moves
    // the file into place. Returns 0 or the failure code.
    std::int32_t finish(int curlCode);
    // Cleans up a transfer that did not run to the end.
    void abandon();

    // Sends one more request header ("x-api-key: …") with every transfer.
    void addHeader(const std::string& line);
    // The body of an answer refused with an HTTP status, in an in-place transfer: the server's
    // reason ({"message": …}).
    std::string takeErrorBody() { return std::move(m_errorBody); }

    // The most bytes of a body taken, for the next transfers.
    void setMaxBytes(std::int64_t maxBytes);
    // Bytes of the body of the last transfer.
    std::int64_t bytes() const { return m_bytes; }

    // Replaces the stop flag of the limits; between transfers only.
    void setCancel(const std::atomic<bool>* cancel);

    CURL* handle() const { return m_curl; }

    // The body of the last transfer that finished well, in an in-place transfer; empty otherwise.
    std::string takeBody() { return std::move(m_body); }

private:
    static std::size_t write(char* data, std::size_t size, std::size_t count, void* self);
    static int progress(void* self, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

    CURL* m_curl;
    curl_slist* m_headers;
    Limits m_limits;
    std::FILE* m_file = nullptr;
    std::filesystem::path m_temp;
    std::filesystem::path m_target;
    std::string m_body;
    std::string m_errorBody;
    bool m_inTransfer = false;
    std::int64_t m_bytes = 0;
    bool m_tooLarge = false;
    bool m_writeFailed = false;
    std::int32_t m_writeFailure = 0;
    char m_lastByte = 0;
    int m_status = -1; // of the answer under way, once its head is in; -1 before
    bool m_sinkRefused = false;
};

} // namespace zuvemo::marketdata
