#include "SignedDownload.h"

#include "marketdata/CurlDownloader.h"
#include "marketdata/Downloader.h"

#include <curl/curl.h>

namespace zuvemo::marketdata {

namespace {

CurlEasy::Limits limitsFor(long totalTimeoutMs, long stallSeconds, const std::atomic<bool>* cancel,
    std::function<bool(std::string_view)>& sink)
{
    CurlEasy::Limits limits;
    limits.inPlace = true;
    limits.requireLineEnd = false;
    limits.durable = false;
    limits.totalTimeoutMs = totalTimeoutMs;
    limits.lowSpeedTimeS = stallSeconds;
    limits.connectTimeoutMs = std::min(limits.connectTimeoutMs, stallSeconds * 1000);
    limits.cancel = cancel;
    // The limits keep a copy: it calls the sink of the transfer under way through this one.
    limits.sink = [&sink](std::string_view piece) { return sink && sink(piece); };
    return limits;
}

} // namespace

SignedDownload::SignedDownload(long totalTimeoutMs, long stallSeconds, const std::atomic<bool>* cancel)
    : m_easy(limitsFor(totalTimeoutMs, stallSeconds, cancel, m_sink))
{
    // Only "Cache-Control" and "Pragma" go with it: no key, no header of the API's.
}

SignedDownload::Outcome SignedDownload::get(
    const std::string& url, std::int64_t maxBytes, const std::function<bool(std::string_view piece)>& sink)
{
    Outcome outcome;
    m_sink = sink;
    m_easy.setMaxBytes(maxBytes);
    if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0) {
        outcome.code = CurlDownloader::kFileError;
        outcome.message = "ファイルのアドレスが正しくありません";
        return outcome;
    }
    if (!m_easy.begin(url, {})) {
        outcome.code = CurlDownloader::kFileError;
        outcome.message = "ファイルを取得できません";
        return outcome;
    }
    const int rc = curl_easy_perform(m_easy.handle());
    outcome.bytes = m_easy.bytes();
    outcome.code = m_easy.finish(rc);
    m_sink = nullptr;
    const std::int32_t code = outcome.code;
    if (code == 0) {
        outcome.ok = true;
    } else if (code == CurlDownloader::kCancelled) {
        outcome.cancelled = true;
    } else if (code == CurlDownloader::kIncomplete) {
        outcome.sinkRefused = true;
    } else if (code == CurlDownloader::kTooLarge) {
        outcome.message = "一覧の大きさ（" + std::to_string(maxBytes) + " バイト）を超えています";
    } else if (code == 403) {
        outcome.message = "ファイルのサーバーが拒否しました（403: アドレスの期限切れなど）";
    } else if (code == 404) {
        outcome.message = "ファイルのサーバーにありません（404）";
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        outcome.timedOut = true;
        outcome.message = "ファイルのサーバーの応答が止まりました（時間内に届きません）";
    } else if (code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR) {
        outcome.message = "ダウンロードが途中で切れました";
    } else if (Downloader::isTransportFailure(code)) {
        outcome.message = "ファイルのサーバーに接続できません";
    } else {
        outcome.message = "ファイルのサーバーの応答が正しくありません（" + std::to_string(code) + "）";
    }
    return outcome;
}

} // namespace zuvemo::marketdata
