#include "GzipInflater.h"

#include <array>
#include <zlib.h>

namespace zuvemo::marketdata {

// The zlib stream, ended with its owner.
struct GzipInflater::Stream
{
    z_stream z{};
    bool open = false;
    Stream()
    {
        // 16 + MAX_WBITS: a gzip header and trailer, not a raw zlib stream.
        open = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK;
    }
    ~Stream()
    {
        if (open) {
            inflateEnd(&z);
        }
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
};

GzipInflater::GzipInflater(Sink sink, std::int64_t maxOutput)
    : m_stream(std::make_unique<Stream>())
    , m_sink(std::move(sink))
    , m_maxOutput(maxOutput)
{
    if (!m_stream->open) {
        m_fault = Fault::Damaged;
    }
}

GzipInflater::~GzipInflater() = default;

bool GzipInflater::feed(const char* data, std::size_t size)
{
    if (m_fault != Fault::None) {
        return false;
    }
    auto& z = m_stream->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    std::array<char, 64 * 1024> out;
    for (;;) {
        if (m_ended) {
            if (z.avail_in == 0) {
                break;
            }
            // Another member may follow; anything else is no part of a gzip stream.
            if (z.next_in[0] != 0x1f || inflateReset(&z) != Z_OK) {
                m_fault = Fault::Damaged;
                return false;
            }
            m_ended = false;
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            m_fault = Fault::Damaged;
            return false;
        }
        const std::size_t made = out.size() - z.avail_out;
        m_output += static_cast<std::int64_t>(made);
        if (m_output > m_maxOutput) {
            m_fault = Fault::TooLarge;
            return false;
        }
        if (made > 0 && !m_sink(std::string_view(out.data(), made))) {
            m_fault = Fault::Refused;
            return false;
        }
        if (rc == Z_STREAM_END) {
            m_ended = true;
            continue;
        }
        // Every byte taken and nothing held back for want of room, or no step possible
        // without more input.
        if ((z.avail_in == 0 && z.avail_out != 0) || rc == Z_BUF_ERROR) {
            break;
        }
    }
    return true;
}

bool GzipInflater::complete() const
{
    return m_fault == Fault::None && m_ended;
}

} // namespace zuvemo::marketdata
