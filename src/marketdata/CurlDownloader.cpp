#include "CurlDownloader.h"

#include "CurlEasy.h"

#include <cerrno>
#include <curl/curl.h>

namespace zuvemo::marketdata {

namespace {

CurlEasy::Limits limitsOf(const CurlDownloader::Options& o)
{
    CurlEasy::Limits limits;
    limits.connectTimeoutMs = o.connectTimeoutMs;
    limits.lowSpeedTimeS = o.lowSpeedTimeS;
    limits.maxBytes = o.maxBytes;
    limits.totalTimeoutMs = o.totalTimeoutMs;
    limits.durable = o.durable;
    limits.cancel = o.cancel;
    return limits;
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

std::int32_t CurlDownloader::localFailure()
{
    const int error = errno;
#ifdef EDQUOT
    if (error == EDQUOT) {
        return kDiskFull;
    }
#endif
    return error == ENOSPC ? kDiskFull : kFileError;
}

void CurlDownloader::setCancelFlag(const std::atomic<bool>* flag)
{
    m_options.cancel = flag;
    m_easy->setCancel(flag);
}

std::int32_t CurlDownloader::DownloadToFile(const std::string& url, const std::filesystem::path& path)
{
    if (!m_easy->begin(url, path)) {
        return kFileError;
    }
    int rc = curl_easy_perform(m_easy->handle());
    return m_easy->finish(rc);
}

} // namespace zuvemo::marketdata
