#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace zuvemo::marketdata {

// Unpacks a gzip stream as it arrives, a piece at a time, without holding it whole. A stream of
// several members (as `cat a.gz b.gz` makes) is read as one; anything else after the end, a
// damaged stream or one that stops before its end is a fault.
class GzipInflater
{
public:
    // Gets each unpacked piece; false stops the stream (the caller's own fault).
    using Sink = std::function<bool(std::string_view piece)>;

    // maxOutput: the most unpacked bytes taken, so a small file cannot unpack without end.
    GzipInflater(Sink sink, std::int64_t maxOutput);
    ~GzipInflater();
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    // Takes the next packed bytes; false once the stream is damaged, too large or the sink said
    // no (then every later call is false too).
    bool feed(const char* data, std::size_t size);
    // Whether the stream ended where a gzip stream ends, with nothing left over.
    bool complete() const;

    enum class Fault { None, Damaged, TooLarge, Refused };
    Fault fault() const { return m_fault; }
    std::int64_t output() const { return m_output; }

private:
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    Sink m_sink;
    std::int64_t m_maxOutput;
    std::int64_t m_output = 0;
    bool m_ended = false; // the last member ended and nothing came after it
    Fault m_fault = Fault::None;
};

} // namespace zuvemo::marketdata
