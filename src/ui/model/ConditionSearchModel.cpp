#include "ConditionSearchModel.h"

#include "MainWindowModel.h"
#include "analysis/FigureTable.h"
#include "analysis/FindReport.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace zuvemo::ui {

using analysis::StockFinder;

namespace {

constexpr const char* kTable = "Table_FindCondition";
// The names the boxes are kept under, and the figures they are.
constexpr const char* kFigureNames[] = {"fwdPer", "pbr", "roe", "yield", "cap"};
constexpr const char* kFigureKeys[] = {"fwd-per", "pbr", "roe", "yield", "cap"};

std::vector<GridData::Column> columns()
{
    const auto headings = analysis::FindReport::headings();
    // Room for the heading and the sort mark beside it.
    const int widths[] = {900, 1800, 1350, 1350, 1000, 1100, 850, 950, 850, 1450, 750, 1100};
    std::vector<GridData::Column> out;
    for (std::size_t i = 0; i < headings.size(); ++i) {
        const bool number = i >= ConditionSearchModel::Close && i <= ConditionSearchModel::CapColumn;
        const bool mark = i >= ConditionSearchModel::ShortTerm;
        out.push_back({i == ConditionSearchModel::CapColumn ? std::string("時価総額(億円)") : headings[i],
            widths[i], number ? Align::Right : (mark ? Align::Centre : Align::Left)});
    }
    return out;
}

// Full-width digits, point and minus as typed by a Japanese input method; digit grouping commas.
std::string asciiNumber(const std::string& text)
{
    static const std::map<std::string, std::string> wide = {{"０", "0"}, {"１", "1"}, {"２", "2"},
        {"３", "3"}, {"４", "4"}, {"５", "5"}, {"６", "6"}, {"７", "7"}, {"８", "8"}, {"９", "9"},
        {"．", "."}, {"－", "-"}, {"−", "-"}, {"，", ""}, {",", ""}, {"　", ""}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [from, to] : wide) {
            if (text.compare(i, from.size(), from) == 0) {
                out += to;
                i += from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return core::Utf8::trim(out);
}

// Empty: no bound. False for a text that is not a number.
bool parseBound(const std::string& text, std::optional<double>& value)
{
    const std::string t = asciiNumber(text);
    value.reset();
    if (t.empty()) {
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

std::optional<std::string> keyOf(int column)
{
    switch (column) {
    case ConditionSearchModel::Code:
        return "code";
    case ConditionSearchModel::Close:
        return "close";
    case ConditionSearchModel::FwdPerColumn:
        return "fwd-per";
    case ConditionSearchModel::PbrColumn:
        return "pbr";
    case ConditionSearchModel::YieldColumn:
        return "yield";
    case ConditionSearchModel::RoeColumn:
        return "roe";
    case ConditionSearchModel::CapColumn:
        return "cap";
    default:
        return std::nullopt;
    }
}

const std::string& textOf(const StockFinder::Row& row, int column)
{
    switch (column) {
    case ConditionSearchModel::Name:
        return row.name;
    case ConditionSearchModel::Market:
        return row.market;
    case ConditionSearchModel::Industry:
        return row.industry;
    case ConditionSearchModel::ShortTerm:
        return row.achk;
    default:
        return row.cchk;
    }
}

} // namespace

ConditionSearchModel::ConditionSearchModel(core::Mdl_Start& module)
    : grid(columns())
    , m_module(module)
{
}

void ConditionSearchModel::load()
{
    auto& db = *m_module.SharedConnection;
    figuresEnabled = marketdata::DataSource::read(db).isJQuants();
    figuresNote = figuresEnabled ? std::string() : StockFinder::kNoFiguresMessage;
    db.execute(std::string("CREATE TABLE IF NOT EXISTS ") + kTable
        + " (CondName TEXT PRIMARY KEY, CondValue TEXT NOT NULL)");
    std::map<std::string, std::string> kept;
    for (auto rs = db.openRecordset(std::string("SELECT CondName, CondValue FROM ") + kTable); !rs->isEof();
         rs->moveNext()) {
        kept[rs->field(0).toText()] = rs->field(1).toText();
    }
    for (int f = 0; f < kFigures; ++f) {
        low[static_cast<std::size_t>(f)] = kept[std::string(kFigureNames[f]) + ".low"];
        high[static_cast<std::size_t>(f)] = kept[std::string(kFigureNames[f]) + ".high"];
    }
    signal = kept["signal"] == "買" || kept["signal"] == "売" ? kept["signal"] : std::string();
    confirmed = kept["confirmed"] == "1";
    market = kept["market"];
    industry = kept["industry"];
}

void ConditionSearchModel::save()
{
    std::vector<std::pair<std::string, std::string>> values{
        {"signal", signal}, {"confirmed", confirmed ? "1" : "0"}, {"market", market}, {"industry", industry}};
    for (int f = 0; f < kFigures; ++f) {
        values.emplace_back(std::string(kFigureNames[f]) + ".low", low[static_cast<std::size_t>(f)]);
        values.emplace_back(std::string(kFigureNames[f]) + ".high", high[static_cast<std::size_t>(f)]);
    }
    auto& db = *m_module.SharedConnection;
    db.execute(std::string("CREATE TABLE IF NOT EXISTS ") + kTable
        + " (CondName TEXT PRIMARY KEY, CondValue TEXT NOT NULL)");
    core::Transaction tx(db);
    db.execute(std::string("DELETE FROM ") + kTable);
    for (const auto& [name, value] : values) {
        db.execute(std::string("INSERT INTO ") + kTable + " (CondName, CondValue) VALUES ('"
            + core::SqlText(name) + "','" + core::SqlText(value) + "')");
    }
    tx.commit();
}

std::optional<StockFinder::Conditions> ConditionSearchModel::conditions()
{
    StockFinder::Conditions c;
    c.market = market;
    c.industry = industry;
    c.signal = signal;
    c.confirmed = confirmed;
    bool ok = true;
    for (std::size_t f = 0; f < kFigures; ++f) {
        errors[f].clear();
        if (!figuresEnabled) {
            continue;
        }
        StockFinder::Range r;
        if (!parseBound(low[f], r.min) || !parseBound(high[f], r.max)) {
            errors[f] = kBadNumber;
        } else if (r.min && r.max && *r.min > *r.max) {
            errors[f] = kBadOrder;
        }
        if (!errors[f].empty()) {
            ok = false;
            continue;
        }
        if (!r.min && !r.max) {
            continue;
        }
        // From the dialog's units into the figures': % into fractions, 億円 into yen.
        const double scale = analysis::FigureTable::figure(kFigureKeys[f])->scale;
        if (r.min) {
            *r.min *= scale;
        }
        if (r.max) {
            *r.max *= scale;
        }
        c.ranges[kFigureKeys[f]] = r;
    }
    return ok ? std::optional(c) : std::nullopt;
}

bool ConditionSearchModel::search()
{
    const auto c = conditions();
    if (!c) {
        return false;
    }
    message.clear();
    note = fillRunning ? kFillNote : std::string();
    try {
        save();
        m_result = StockFinder(m_module).find(*c);
    } catch (const core::DatabaseError& e) {
        m_result = {};
        m_result.message = e.userText();
    }
    m_selected.clear();
    m_anchor = 0;
    if (!m_result.ok) {
        message = m_result.message;
        countLine.clear();
        m_result.rows.clear();
        grid.setRows(1);
        return false;
    }
    countLine = analysis::FindReport::countLine(m_result);
    // A new search keeps the order the user chose last.
    if (m_sortColumn != Code || m_descending) {
        m_descending = !m_descending;
        sortBy(m_sortColumn);
    } else {
        fill();
    }
    return true;
}

void ConditionSearchModel::clear()
{
    for (std::size_t f = 0; f < kFigures; ++f) {
        low[f].clear();
        high[f].clear();
        errors[f].clear();
    }
    signal.clear();
    confirmed = false;
    market.clear();
    industry.clear();
}

void ConditionSearchModel::sortBy(int column)
{
    if (column < 0 || column >= kColumns) {
        return;
    }
    m_descending = column == m_sortColumn ? !m_descending : false;
    m_sortColumn = column;
    auto& rows = m_result.rows;
    if (const auto key = keyOf(column)) {
        StockFinder::sort(rows, *key, m_descending);
    } else {
        const bool descending = m_descending;
        StockFinder::order(rows, [column, descending](const auto& a, const auto& b) {
            const auto& x = textOf(a, column);
            const auto& y = textOf(b, column);
            if (x.empty() || y.empty()) {
                return !x.empty() && y.empty(); // nones last, either way
            }
            if (x != y) {
                return descending ? y < x : x < y;
            }
            return a.code < b.code;
        });
    }
    fill();
}

void ConditionSearchModel::fill()
{
    const auto& rows = m_result.rows;
    grid.setRows(1);
    grid.setRows(static_cast<int>(rows.size()) + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto cells = analysis::FindReport::cells(rows[i]);
        const int line = static_cast<int>(i) + 1;
        for (int c = 0; c < kColumns; ++c) {
            grid.setText(line, c, cells[static_cast<std::size_t>(c)], grid.column(c).align);
        }
    }
    paintSelection();
}

void ConditionSearchModel::paintSelection()
{
    for (int r = 1; r < grid.rows(); ++r) {
        const auto* stock = row(r);
        const std::uint32_t colour
            = stock && m_selected.count(stock->code) ? GridColor::kYellow : GridColor::kWhite;
        if (grid.rowColor(r) != colour) {
            grid.paintRow(r, colour);
        }
    }
}

void ConditionSearchModel::click(int r, bool toggle, bool extend)
{
    const auto* stock = row(r);
    if (!stock) {
        return;
    }
    if (extend && row(m_anchor)) {
        if (!toggle) {
            m_selected.clear();
        }
        for (int i = std::min(m_anchor, r); i <= std::max(m_anchor, r); ++i) {
            m_selected.insert(row(i)->code);
        }
    } else if (toggle) {
        if (!m_selected.erase(stock->code)) {
            m_selected.insert(stock->code);
        }
        m_anchor = r;
    } else {
        m_selected = {stock->code};
        m_anchor = r;
    }
    paintSelection();
}

void ConditionSearchModel::addSelected(MainWindowModel& main)
{
    if (m_selected.empty()) {
        note = MainWindowModel::kNotSelected;
        return;
    }
    int added = 0;
    int there = 0;
    std::string suspended;
    for (const auto& stock : m_result.rows) {
        if (!m_selected.count(stock.code)) {
            continue;
        }
        switch (main.addCandidate(stock.code, stock.name, stock.state)) {
        case MainWindowModel::Candidate::Added:
            ++added;
            break;
        case MainWindowModel::Candidate::AlreadyThere:
            ++there;
            break;
        case MainWindowModel::Candidate::Suspended:
            suspended += (suspended.empty() ? "" : "、") + stock.code;
            break;
        case MainWindowModel::Candidate::NoStock:
            break;
        }
    }
    note = "確認注目株に " + std::to_string(added) + " 銘柄を追加しました。";
    if (there > 0) {
        note += "（" + std::to_string(there) + " 銘柄は追加済み）";
    }
    if (!suspended.empty()) {
        note += std::string(" ") + MainWindowModel::kSuspendedMessage + "（" + suspended + "）";
        // The main window's line says the refusal as its double-click does.
        main.label1 = MainWindowModel::kSuspendedMessage;
    }
}

const StockFinder::Row* ConditionSearchModel::row(int gridRow) const
{
    if (gridRow < 1 || gridRow > static_cast<int>(m_result.rows.size())) {
        return nullptr;
    }
    return &m_result.rows[static_cast<std::size_t>(gridRow - 1)];
}

} // namespace zuvemo::ui
