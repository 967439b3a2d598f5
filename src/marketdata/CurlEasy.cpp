#include "CurlEasy.h"

#include "CurlDownloader.h"
#include "TempFiles.h"
#include "core/Platform.h"

#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <system_error>

namespace zuvemo::marketdata {

void ensureCurlGlobal()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlEasy::CurlEasy(const Limits& limits)
    : m_curl(nullptr)
    , m_headers(nullptr)
    , m_limits(limits)
{
    ensureCurlGlobal();
    m_curl = curl_easy_init();
    // Neither this program nor a proxy on the way may answer from a stored copy.
    m_headers = curl_slist_append(m_headers, "Cache-Control: no-cache");
    m_headers = curl_slist_append(m_headers, "Pragma: no-cache");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, m_limits.connectTimeoutMs);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, m_limits.lowSpeedTimeS);
    if (m_limits.totalTimeoutMs > 0) {
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, m_limits.totalTimeoutMs);
    }
    setCancel(m_limits.cancel);
    curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_limits.maxBytes));
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, "Zuvemo/1");
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlEasy::write);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_PRIVATE, this);
}

void CurlEasy::setCancel(const std::atomic<bool>* cancel)
{
    m_limits.cancel = cancel;
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, cancel ? 0L : 1L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, cancel ? &CurlEasy::progress : nullptr);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
}

void CurlEasy::setMaxBytes(std::int64_t maxBytes)
{
    m_limits.maxBytes = maxBytes;
    curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
}

void CurlEasy::addHeader(const std::string& line)
{
    m_headers = curl_slist_append(m_headers, line.c_str());
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
}

CurlEasy::~CurlEasy()
{
    abandon();
    curl_easy_cleanup(m_curl);
    curl_slist_free_all(m_headers);
}

bool CurlEasy::begin(const std::string& url, const std::filesystem::path& path)
{
    abandon();
    m_target = path;
    m_bytes = 0;
    m_errorBody.clear();
    m_tooLarge = false;
    m_writeFailed = false;
    m_lastByte = 0;
    m_status = -1;
    m_sinkRefused = false;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    if (m_limits.inPlace) {
        m_inTransfer = true;
        return true;
    }
    m_temp = TempFiles::partPath(path);
    m_file = std::fopen(core::Platform::toUtf8(m_temp).c_str(), "wb");
    if (!m_file) {
        return false;
    }
    m_inTransfer = true;
    return true;
}

std::size_t CurlEasy::write(char* data, std::size_t size, std::size_t count, void* self)
{
    auto* easy = static_cast<CurlEasy*>(self);
    std::size_t n = size * count;
    easy->m_bytes += static_cast<std::int64_t>(n);
    // libcurl checks the size cap mid-transfer only from 8.4: count here as well.
    if (easy->m_bytes > easy->m_limits.maxBytes) {
        easy->m_tooLarge = true;
        return 0;
    }
    if (easy->m_limits.sink) {
        if (easy->m_status < 0) {
            long status = 0;
            curl_easy_getinfo(easy->m_curl, CURLINFO_RESPONSE_CODE, &status);
            easy->m_status = static_cast<int>(status);
        }
        if (easy->m_status < 200 || easy->m_status > 299) {
            // A refusal's reason, for the message: its beginning is enough.
            if (easy->m_errorBody.size() < 64 * 1024) {
                easy->m_errorBody.append(data, n);
            }
        } else if (!easy->m_limits.sink(std::string_view(data, n))) {
            easy->m_sinkRefused = true;
            return 0;
        }
    } else if (easy->m_limits.inPlace) {
        easy->m_body.append(data, n);
    } else if (std::fwrite(data, 1, n, easy->m_file) != n) {
        easy->m_writeFailed = true;
        easy->m_writeFailure = CurlDownloader::localFailure();
        return 0;
    }
    if (n > 0) {
        easy->m_lastByte = data[n - 1];
    }
    return n;
}

int CurlEasy::progress(void* self, std::int64_t, std::int64_t, std::int64_t, std::int64_t)
{
    auto* easy = static_cast<CurlEasy*>(self);
    return easy->m_limits.cancel && easy->m_limits.cancel->load() ? 1 : 0;
}

void CurlEasy::abandon()
{
    m_inTransfer = false;
    m_body.clear();
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
        std::error_code ec;
        std::filesystem::remove(m_temp, ec);
    }
}

std::int32_t CurlEasy::finish(int curlCode)
{
    auto discard = [this](std::int32_t code) {
        abandon();
        return code;
    };
    if (!m_inTransfer) {
        return CurlDownloader::kFileError;
    }
    if (m_tooLarge || curlCode == CURLE_FILESIZE_EXCEEDED) {
        return discard(CurlDownloader::kTooLarge);
    }
    if (m_writeFailed) {
        return discard(m_writeFailure);
    }
    if (m_sinkRefused) {
        return discard(CurlDownloader::kIncomplete);
    }
    if (curlCode == CURLE_ABORTED_BY_CALLBACK && m_limits.cancel && m_limits.cancel->load()) {
        return discard(CurlDownloader::kCancelled);
    }
    if (curlCode != CURLE_OK) {
        return discard(curlCode);
    }
    long status = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        if (!m_limits.sink) {
            m_errorBody = m_limits.inPlace ? std::move(m_body) : std::string();
        }
        return discard(status == 0 ? CurlDownloader::kFileError : static_cast<std::int32_t>(status));
    }
    // A server that closes the connection early sends a whole-looking reply without its end.
    if (m_limits.requireLineEnd && (m_bytes == 0 || m_lastByte != '\n')) {
        return discard(CurlDownloader::kIncomplete);
    }
    m_inTransfer = false;
    if (m_limits.inPlace) {
        return 0;
    }
    bool ok = std::fflush(m_file) == 0;
    std::int32_t failure = ok ? CurlDownloader::kFileError : CurlDownloader::localFailure();
    if (std::fclose(m_file) != 0 && ok) {
        ok = false;
        failure = CurlDownloader::localFailure();
    }
    m_file = nullptr;
    if (ok && m_limits.durable && !core::Platform::syncFile(m_temp)) {
        ok = false;
        failure = CurlDownloader::localFailure();
    }
    std::error_code ec;
    if (!ok || !core::Platform::replaceFile(m_temp, m_target, nullptr, m_limits.durable)) {
        std::filesystem::remove(m_temp, ec);
        return failure;
    }
    return 0;
}

} // namespace zuvemo::marketdata
