#include "LineReader.h"

namespace zuvemo::core {

namespace {
constexpr std::size_t kChunk = 64 * 1024;

// The first CR or LF from pos. A plain loop: find_first_of tests each byte with a call of its own.
std::size_t lineEnd(const std::string& text, std::size_t pos)
{
    const char* data = text.data();
    for (std::size_t i = pos, n = text.size(); i < n; ++i) {
        if (data[i] == '\n' || data[i] == '\r') {
            return i;
        }
    }
    return std::string::npos;
}
}

LineReader::LineReader(const std::filesystem::path& path)
    : m_in(path, std::ios::binary)
{
    m_open = m_in.is_open();
}

LineReader LineReader::fromBytes(std::string bytes)
{
    LineReader reader;
    reader.m_buffer = std::move(bytes);
    reader.m_open = true;
    reader.m_eof = true;
    return reader;
}

bool LineReader::fill()
{
    if (m_eof) {
        return false;
    }
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    std::size_t old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    m_in.read(m_buffer.data() + old, static_cast<std::streamsize>(kChunk));
    auto got = static_cast<std::size_t>(m_in.gcount());
    m_buffer.resize(old + got);
    if (m_in.bad()) {
        m_failed = true;
        m_eof = true;
        return false;
    }
    if (got < kChunk) {
        m_eof = true;
    }
    return got > 0;
}

bool LineReader::next(std::string& line)
{
    if (!m_open || m_failed) {
        return false;
    }
    std::size_t searchFrom = m_pos;
    for (;;) {
        std::size_t end = lineEnd(m_buffer, searchFrom);
        // A CR at the very end of the buffer may be the first half of a CR LF still unread.
        if (end != std::string::npos && (m_buffer[end] != '\r' || end + 1 < m_buffer.size() || m_eof)) {
            line.assign(m_buffer, m_pos, end - m_pos);
            m_pos = end + 1;
            if (m_buffer[end] == '\r' && m_pos < m_buffer.size() && m_buffer[m_pos] == '\n') {
                ++m_pos;
            }
            return true;
        }
        if (m_eof) {
            if (m_pos < m_buffer.size()) {
                line.assign(m_buffer, m_pos, std::string::npos);
                m_pos = m_buffer.size();
                return true;
            }
            return false;
        }
        std::size_t consumed = m_pos;
        std::size_t scanned = m_buffer.size();
        fill();
        if (m_failed) {
            return false;
        }
        searchFrom = (end != std::string::npos ? end : scanned) - consumed;
    }
}

} // namespace zuvemo::core
