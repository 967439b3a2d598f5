#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace zuvemo::core {

// Reads a text file line by line, as raw bytes: CR LF, LF and a lone CR end a line.
class LineReader
{
public:
    explicit LineReader(const std::filesystem::path& path);
    // Reads lines from bytes already in memory, by the same rules.
    static LineReader fromBytes(std::string bytes);

    bool isOpen() const { return m_open; }
    // The next line without its end; false at the end of the file or on a read error.
    bool next(std::string& line);
    // True when reading stopped on an error rather than at the end.
    bool failed() const { return m_failed; }

private:
    LineReader() = default;
    bool fill();

    std::ifstream m_in;
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_open = false;
    bool m_eof = false;
    bool m_failed = false;
};

} // namespace zuvemo::core
