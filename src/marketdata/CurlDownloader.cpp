#include "CurlDownloader.h"

#include "CurlEasy.h"

#include <curl/curl.h>

namespace zuvemo::marketdata {

namespace {

CurlEasy::Limits limitsOf(const CurlDownloader::Options& o)
{
    return CurlEasy::Limits{o.connectTimeoutMs, o.lowSpeedTimeS, o.maxBytes, o.durable};
}

} // namespace

CurlDownloader::CurlDownloader()
    : CurlDownloader(Options{})
{
}

CurlDownloader::CurlDownloader(const Options& options)
    : m_options(options)
    , m_easy(std::make_unique<CurlEasy>(limitsOf(options)))
{
}

CurlDownloader::~CurlDownloader() = default;

std::int32_t CurlDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    if (!m_easy->begin(url, path)) {
        return kFileError;
    }
    int rc = curl_easy_perform(m_easy->handle());
    return m_easy->finish(rc);
}

} // namespace zuvemo::marketdata
