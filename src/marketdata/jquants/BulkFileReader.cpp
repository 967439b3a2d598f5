#include "BulkFileReader.h"

#include "JQuantsAnswer.h"
#include "PriceStore.h"
#include "core/Utf8.h"

#include <charconv>
#include <cmath>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

constexpr const char* kBarFields[] = {"Date", "Code", "O", "H", "L", "C", "UL", "LL", "Vo", "Va", "AdjFactor",
    "AdjO", "AdjH", "AdjL", "AdjC", "AdjVo"};
// A bar without these is no bar of this endpoint; UL and LL are not kept.
constexpr std::size_t kBarNeeded = 16;

bool isBarText(std::string_view field)
{
    return field == "Date" || field == "Code" || field == "UL" || field == "LL";
}

// A figure of a CSV as the JSON answer carries it: null when empty, a number when the whole
// field is one plain finite number, else the text itself.
json figureOf(const std::string& text)
{
    if (text.empty()) {
        return nullptr;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)
        || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '-')) {
        return text;
    }
    return v;
}

} // namespace

BulkFileReader::BulkFileReader(Kind kind, std::string month, std::size_t maxDayRows, const KeyMask* mask)
    : m_kind(kind)
    , m_month(std::move(month))
    , m_csv([this](std::vector<std::string>& fields) { return record(fields); })
    , m_maxDayRows(maxDayRows)
    , m_mask(mask)
{
    if (kind == Kind::Bars) {
        m_wanted.assign(std::begin(kBarFields), std::end(kBarFields));
    } else if (kind == Kind::Dividends) {
        m_wanted = {"PubDate", "Code", "RefNo", "CARefNo", "StatCode", "ExDate", "RecDate", "PayDate",
            "DivRate", "IFCode", "FRCode", "CommSpecCode"};
    } else if (kind == Kind::Master) {
        m_wanted = {"Date", "Code", "CoName", "Mkt", "MktNm", "S33", "S33Nm", "S17", "ScaleCat", "ProdCat"};
    } else {
        m_wanted = {"DiscDate", "Code", "DiscNo"};
        for (const char* field : PriceStore::filingFields()) {
            m_wanted.push_back(field);
        }
    }
}

bool BulkFileReader::feed(std::string_view piece)
{
    if (!m_fault.empty()) {
        return false;
    }
    return checkBytes(piece) && m_csv.feed(piece);
}

bool BulkFileReader::checkBytes(std::string_view piece)
{
    if (m_mask) {
        std::string around = m_tail;
        around.append(piece.substr(0, KeyMask::kPiece));
        if (m_mask->holds(around) || m_mask->holds(piece)) {
            m_keyFound = true;
            return refuse("APIキーの一部が含まれています");
        }
        m_tail = piece.size() >= KeyMask::kPiece
            ? std::string(piece.substr(piece.size() - KeyMask::kPiece))
            : around.substr(around.size() - std::min(around.size(), KeyMask::kPiece));
    }
    // The bytes of a character the piece cuts off wait for the next piece.
    std::string text = std::move(m_cutCharacter);
    text.append(piece);
    std::size_t whole = text.size();
    std::size_t follow = 0;
    while (follow < 4 && follow < whole
        && (static_cast<unsigned char>(text[whole - 1 - follow]) & 0xC0) == 0x80) {
        ++follow;
    }
    if (follow < whole && follow < 4) {
        const auto lead = static_cast<unsigned char>(text[whole - 1 - follow]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length > follow + 1) {
            whole -= follow + 1;
        }
    }
    if (!core::Utf8::isValid(std::string_view(text).substr(0, whole))) {
        return refuse("UTF-8 でない文字があります");
    }
    m_cutCharacter = text.substr(whole);
    return true;
}

bool BulkFileReader::refuse(std::string fault)
{
    m_fault = std::move(fault);
    return false;
}

bool BulkFileReader::record(std::vector<std::string>& fields)
{
    if (m_width == 0) {
        std::set<std::string> seen;
        for (const auto& name : fields) {
            if (!seen.insert(name).second) {
                return refuse("見出しに同じ列が 2 度あります: " + JQuantsAnswer::shown(name));
            }
        }
        m_column.assign(m_wanted.size(), -1);
        for (std::size_t w = 0; w < m_wanted.size(); ++w) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (fields[i] == m_wanted[w]) {
                    m_column[w] = static_cast<int>(i);
                }
            }
            const bool needed = m_kind == Kind::Bars
                ? (w < kBarNeeded && std::string_view(m_wanted[w]) != "UL"
                    && std::string_view(m_wanted[w]) != "LL")
                : w < (m_kind == Kind::Master ? 2U : 3U);
            if (needed && m_column[w] < 0) {
                return refuse(std::string("必要な列 ") + m_wanted[w] + " がありません");
            }
        }
        m_width = fields.size();
        return true;
    }
    ++m_rows;
    if (fields.size() != m_width) {
        return refuse("列の数が見出しと違う行があります（" + std::to_string(m_rows)
            + " 行目: " + std::to_string(fields.size()) + " 列）");
    }
    const std::string date = fields[static_cast<std::size_t>(m_column[0])];
    if (!JQuantsAnswer::isDate(date) || date.compare(0, 7, m_month) != 0) {
        return refuse(
            "ファイルの月（" + m_month + "）でない日付の行があります: " + JQuantsAnswer::shown(date));
    }
    std::vector<std::string> kept;
    kept.reserve(m_wanted.size());
    for (const int column : m_column) {
        kept.push_back(column < 0 ? std::string() : std::move(fields[static_cast<std::size_t>(column)]));
    }
    auto& day = m_days[date];
    if (day.size() >= m_maxDayRows) {
        return refuse(date + " の行が多すぎます（" + std::to_string(m_maxDayRows) + " 行まで）");
    }
    day.push_back(std::move(kept));
    return true;
}

bool BulkFileReader::finish()
{
    if (!m_fault.empty()) {
        return false;
    }
    if (!m_cutCharacter.empty()) {
        return refuse("UTF-8 でない文字があります");
    }
    if (!m_csv.finish()) {
        return false;
    }
    if (m_width == 0) {
        return refuse("見出しがありません");
    }
    return true;
}

std::vector<std::string> BulkFileReader::days() const
{
    std::vector<std::string> out;
    for (const auto& [date, rows] : m_days) {
        out.push_back(date);
    }
    return out;
}

json BulkFileReader::dayRows(const std::string& date) const
{
    json out = json::array();
    const auto day = m_days.find(date);
    if (day == m_days.end()) {
        return out;
    }
    for (const auto& fields : day->second) {
        json row = json::object();
        for (std::size_t w = 0; w < m_wanted.size(); ++w) {
            if (m_column[w] < 0) {
                continue; // as an answer without the field
            }
            const bool text = m_kind != Kind::Bars || isBarText(m_wanted[w]);
            row[m_wanted[w]] = text ? json(fields[w]) : figureOf(fields[w]);
        }
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace zuvemo::marketdata
