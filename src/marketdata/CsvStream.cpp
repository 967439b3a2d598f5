#include "CsvStream.h"

namespace zuvemo::marketdata {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

} // namespace

CsvStream::CsvStream(Record record)
    : m_record(std::move(record))
{
}

bool CsvStream::fail(std::string fault)
{
    m_fault = std::move(fault);
    m_failed = true;
    return false;
}

bool CsvStream::endField()
{
    if (m_fields.size() >= kMaxFields) {
        return fail("列が多すぎる行があります");
    }
    m_fields.push_back(std::move(m_field));
    m_field.clear();
    return true;
}

bool CsvStream::endRecord()
{
    if (!endField()) {
        return false;
    }
    const bool blank = m_fields.size() == 1 && m_fields[0].empty();
    if (!blank) {
        ++m_records;
        if (!m_record(m_fields)) {
            m_failed = true;
            return false;
        }
    }
    m_fields.clear();
    m_state = State::FieldStart;
    return true;
}

bool CsvStream::feed(std::string_view piece)
{
    if (m_failed) {
        return false;
    }
    std::size_t i = 0;
    // A byte order mark may be split between pieces: matched a byte at a time.
    while (!m_started && i < piece.size()) {
        if (piece[i] == kBom[m_bomSeen]) {
            ++i;
            if (++m_bomSeen == 3) {
                m_started = true;
            }
            continue;
        }
        m_started = true;
        // What looked like the start of a mark is text after all.
        for (std::size_t k = 0; k < m_bomSeen; ++k) {
            m_field.push_back(kBom[k]);
        }
        if (m_bomSeen > 0) {
            m_state = State::Unquoted;
        }
    }
    for (; i < piece.size(); ++i) {
        const char c = piece[i];
        if (m_field.size() >= kMaxFieldBytes) {
            return fail("長すぎる列があります");
        }
        switch (m_state) {
        case State::AfterCr:
            if (c != '\n') {
                return fail("行の終わりが正しくありません");
            }
            if (!endRecord()) {
                return false;
            }
            break;
        case State::FieldStart:
            if (c == '"') {
                m_state = State::Quoted;
                break;
            }
            m_state = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted:
            if (bool ok = true; separator(c, ok)) {
                if (!ok) {
                    return false;
                }
            } else if (c == '"') {
                return fail("引用符の位置が正しくない列があります");
            } else {
                m_field.push_back(c);
            }
            break;
        case State::Quoted:
            if (c == '"') {
                m_state = State::QuoteInQuoted;
            } else {
                m_field.push_back(c);
            }
            break;
        case State::QuoteInQuoted:
            if (c == '"') {
                m_field.push_back('"');
                m_state = State::Quoted;
            } else if (bool ok = true; separator(c, ok)) {
                if (!ok) {
                    return false;
                }
            } else {
                return fail("引用符の後に文字がある列があります");
            }
            break;
        }
    }
    return true;
}

bool CsvStream::separator(char c, bool& ok)
{
    ok = true;
    if (c == ',') {
        ok = endField();
        if (ok) {
            m_state = State::FieldStart;
        }
        return true;
    }
    if (c == '\n') {
        ok = endRecord();
        return true;
    }
    if (c == '\r') {
        m_state = State::AfterCr;
        return true;
    }
    return false;
}

bool CsvStream::finish()
{
    if (m_failed) {
        return false;
    }
    if (!m_started && m_bomSeen > 0) {
        return fail("行の終わりが正しくありません");
    }
    switch (m_state) {
    case State::Quoted:
        return fail("引用符が閉じていない列があります");
    case State::AfterCr:
        return fail("行の終わりが正しくありません");
    case State::FieldStart:
        if (m_fields.empty() && m_field.empty()) {
            return true; // ended with its line break
        }
        [[fallthrough]];
    default:
        return endRecord();
    }
}

} // namespace zuvemo::marketdata
