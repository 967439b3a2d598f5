#include "ConditionSearchModel.h"

#include "KeptSettings.h"
#include "MainWindowModel.h"
#include "analysis/FigureRange.h"
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
#include <map>
#include <set>
#include <stdexcept>

namespace zuvemo::ui {

using analysis::StockFinder;

namespace {

constexpr const char* kTable = "Table_FindCondition";
// The boxes the dialog had before every figure had one come first, where users know them.
constexpr const char* kFirst[] = {"fwd-per", "pbr", "roe", "yield", "cap"};
constexpr const char* kCrossNames[] = {"dead", "", "golden"};

using Figure = analysis::FigureTable::Figure;
using Unit = analysis::FigureTable::Unit;

std::string unitOf(const Figure& figure)
{
    switch (figure.unit) {
    case Unit::Times:
    case Unit::Multiple:
        return "倍";
    case Unit::Percent:
        return "%";
    case Unit::OkuYen:
        return "億円";
    case Unit::MillionYen:
        return "百万円";
    case Unit::Yen:
        return "円";
    case Unit::Sigma:
        return "σ";
    case Unit::Days:
        return "日";
    case Unit::Shares:
        return "株";
    case Unit::Date:
    case Unit::Points:
        break;
    }
    return {};
}

// "時価総額億円" is "時価総額" beside a box that says 億円.
std::string captionOf(const Figure& figure)
{
    std::string caption = figure.heading;
    const std::string unit = unitOf(figure);
    if (!unit.empty() && caption.size() > unit.size()
        && caption.compare(caption.size() - unit.size(), unit.size(), unit) == 0) {
        caption.resize(caption.size() - unit.size());
    }
    return caption;
}

std::vector<ConditionSearchModel::Box> tableBoxes()
{
    using Group = ConditionSearchModel::Group;
    std::vector<ConditionSearchModel::Box> out;
    auto add = [&out](const Figure& f) {
        const auto group = ConditionSearchModel::isSupply(f.name) ? Group::Supply
            : f.source == analysis::FigureTable::Source::JQuants  ? Group::Indicators
                                                                  : Group::Technical;
        out.push_back({&f, group, captionOf(f), unitOf(f), {}, {}, {}, false, false});
    };
    for (const char* name : kFirst) {
        if (const auto* f = analysis::FigureTable::figure(name); f && f->condition) {
            add(*f);
        }
    }
    for (const auto source :
        {analysis::FigureTable::Source::JQuants, analysis::FigureTable::Source::Prices}) {
        for (const auto& f : analysis::FigureTable::figures()) {
            const bool first = std::find_if(std::begin(kFirst), std::end(kFirst), [&f](const char* name) {
                return name == std::string_view(f.name);
            }) != std::end(kFirst);
            if (f.condition && f.source == source && !first) {
                add(f);
            }
        }
    }
    return out;
}

// Room for the heading and the sort mark beside it; the default columns as they always were.
int widthOf(const std::string& column, const std::string& heading)
{
    static const std::map<std::string, int> widths = {{"code", 900}, {"name", 1800}, {"market", 1350},
        {"industry", 1350}, {"close", 1000}, {"fwd-per", 1100}, {"pbr", 850}, {"yield", 950}, {"roe", 850},
        {"cap", 1450}, {"signal", 750}, {"confirmed", 750}};
    const auto it = widths.find(column);
    if (it != widths.end()) {
        return it->second;
    }
    return std::max(850, 100 * static_cast<int>(analysis::FindReport::width(heading)) + 350);
}

} // namespace

ConditionSearchModel::ConditionSearchModel(core::Mdl_Start& module)
    : boxes(tableBoxes())
    , m_module(module)
{
    setColumns({});
}

const std::vector<std::string>& ConditionSearchModel::technicalSections()
{
    static const std::vector<std::string> sections
        = {"移動平均・一目均衡表", "オシレーター", "騰落・出来高・高安値"};
    return sections;
}

std::string ConditionSearchModel::sectionOf(std::string_view name)
{
    // The lines drawn over the prices, the ones drawn in a panel of their own, and the day's moves.
    static const std::map<std::string_view, int> at
        = {{"dev5", 0}, {"dev25", 0}, {"dev75", 0}, {"dev200", 0}, {"tenkan-dev", 0}, {"kijun-dev", 0},
            {"uptrend", 0}, {"above-cloud", 0}, {"below-cloud", 0}, {"sanyaku-up", 0}, {"sanyaku-down", 0},
            {"cross", 0}, {"tenkan-cross", 0}, {"rsi", 1}, {"macd", 1}, {"macd-signal", 1}, {"macd-hist", 1},
            {"bb", 1}, {"stoch-k", 1}, {"stoch-d", 1}, {"slow-d", 1}, {"macd-cross", 1}, {"chg1", 2},
            {"chg5", 2}, {"chg20", 2}, {"vol-ratio", 2}, {"turnover", 2}, {"from-high", 2}, {"from-low", 2},
            {"new-high", 2}, {"new-low", 2}, {"stop-high", 2}, {"stop-low", 2}};
    const auto it = at.find(name);
    return it == at.end() ? std::string() : technicalSections()[static_cast<std::size_t>(it->second)];
}

const char* ConditionSearchModel::title(Group group)
{
    return group == Group::Indicators ? "指標" : group == Group::Technical ? "テクニカル" : "需給・決算";
}

bool ConditionSearchModel::isSupply(std::string_view name)
{
    static const std::set<std::string_view> names = {"earnings-in", "earnings-date", "margin-ratio",
        "margin-long", "margin-short", "margin-long-days", "rs20", "rs60", "rs-rank"};
    return names.count(name) > 0;
}

ConditionSearchModel::Box& ConditionSearchModel::box(std::string_view name)
{
    for (auto& b : boxes) {
        if (name == b.figure->name) {
            return b;
        }
    }
    throw std::out_of_range("no box " + std::string(name));
}

bool ConditionSearchModel::enabled(const Box& b) const
{
    return figuresEnabled || b.group == Group::Technical;
}

void ConditionSearchModel::load()
{
    auto& db = *m_module.SharedConnection;
    figuresEnabled = marketdata::DataSource::read(db).isJQuants();
    figuresNote = figuresEnabled ? std::string() : StockFinder::kNoFiguresMessage;
    auto kept = KeptSettings::read(db, kTable);
    // Kept before every figure had a box, some under the JSON key: "fwdPer.low".
    auto value = [&kept](const Figure& f, const char* side) {
        const auto it = kept.find(std::string(f.name) + side);
        return it != kept.end() ? it->second : kept[std::string(f.jsonKey) + side];
    };
    for (auto& b : boxes) {
        b.low = value(*b.figure, ".low");
        b.high = value(*b.figure, ".high");
        b.error.clear();
        b.badLow = b.badHigh = false;
    }
    flags.clear();
    for (const auto& flag : analysis::FigureTable::flags()) {
        if (kept[flag.name] == "1") {
            flags.insert(flag.name);
        }
    }
    cross = kept["cross"] == "golden" ? 1 : (kept["cross"] == "dead" ? -1 : 0);
    crosses.clear();
    for (const auto& c : analysis::FigureTable::crosses()) {
        const std::string& way = kept[c.name];
        if (way == "golden" || way == "dead") {
            crosses[c.name] = way == "golden" ? 1 : -1;
        }
    }
    signal = kept["signal"] == "買" || kept["signal"] == "売" ? kept["signal"] : std::string();
    confirmed = kept["confirmed"] == "1";
    market = kept["market"];
    industry = kept["industry"];
    placement = kept["placement"];
}

void ConditionSearchModel::save()
{
    std::vector<std::pair<std::string, std::string>> values{{"signal", signal},
        {"confirmed", confirmed ? "1" : "0"}, {"market", market}, {"industry", industry},
        {"cross", kCrossNames[std::clamp(cross, -1, 1) + 1]}, {"placement", placement}};
    for (const auto& b : boxes) {
        values.emplace_back(std::string(b.figure->name) + ".low", b.low);
        values.emplace_back(std::string(b.figure->name) + ".high", b.high);
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        values.emplace_back(flag.name, flags.count(flag.name) ? "1" : "0");
    }
    for (const auto& c : analysis::FigureTable::crosses()) {
        const auto it = crosses.find(c.name);
        values.emplace_back(c.name, analysis::FigureTable::crossWord(it == crosses.end() ? 0 : it->second));
    }
    KeptSettings::write(*m_module.SharedConnection, kTable, values);
}

std::optional<StockFinder::Conditions> ConditionSearchModel::conditions()
{
    StockFinder::Conditions c;
    c.market = market;
    c.industry = industry;
    c.signal = signal;
    c.confirmed = confirmed;
    bool ok = true;
    for (auto& b : boxes) {
        b.error.clear();
        b.badLow = b.badHigh = false;
        if (!enabled(b)) {
            continue;
        }
        const auto parsed = analysis::FigureRange::parse(
            core::Utf8::asciiNumber(b.low), core::Utf8::asciiNumber(b.high), *b.figure);
        b.error = parsed.error;
        b.badLow = parsed.badLow;
        b.badHigh = parsed.badHigh;
        ok = ok && parsed.ok();
        if (parsed.range) {
            c.ranges[b.figure->name] = *parsed.range;
        }
    }
    for (const auto& name : flags) {
        if (analysis::FigureTable::flag(name)) {
            c.flags.insert(name);
        }
    }
    c.cross = std::clamp(cross, -1, 1);
    for (const auto& [name, way] : crosses) {
        if (analysis::FigureTable::cross(name) && way != 0) {
            c.crosses[name] = std::clamp(way, -1, 1);
        }
    }
    return ok ? std::optional(c) : std::nullopt;
}

bool ConditionSearchModel::check()
{
    const bool ok = conditions().has_value();
    if (ok && message == kBadInput) {
        message.clear();
    }
    return ok;
}

int ConditionSearchModel::conditionCount(Group group) const
{
    int count = 0;
    for (const auto& b : boxes) {
        if (b.group == group && enabled(b)
            && (!core::Utf8::asciiNumber(b.low).empty() || !core::Utf8::asciiNumber(b.high).empty())) {
            ++count;
        }
    }
    if (group == Group::Technical) {
        for (const auto& flag : analysis::FigureTable::flags()) {
            count += static_cast<int>(flags.count(flag.name));
        }
        count += cross != 0 ? 1 : 0;
        for (const auto& [name, way] : crosses) {
            count += way != 0 && analysis::FigureTable::cross(name) ? 1 : 0;
        }
    }
    return count;
}

std::string ConditionSearchModel::tabTitle(Group group) const
{
    const int count = conditionCount(group);
    return title(group) + (count > 0 ? " (" + std::to_string(count) + ")" : std::string());
}

bool ConditionSearchModel::stale() const
{
    return std::any_of(boxes.begin(), boxes.end(), [](const Box& b) { return !b.error.empty(); });
}

GridData ConditionSearchModel::shownGrid() const
{
    GridData shown = grid;
    if (stale()) {
        for (int r = 1; r < shown.rows(); ++r) {
            for (int c = 0; c < shown.cols(); ++c) {
                shown.setFore(r, c, GridColor::kGrey);
            }
        }
    }
    return shown;
}

void ConditionSearchModel::setFillRunning(bool running)
{
    fillRunning = running;
    if (!running && note == kFillNote) {
        note.clear();
    }
}

void ConditionSearchModel::forget()
{
    m_result = {};
    m_selected.clear();
    m_anchor = 0;
    countLine.clear();
    grid.setRows(1);
}

bool ConditionSearchModel::search()
{
    message.clear();
    const auto c = conditions();
    if (!c) {
        // A result left standing would read as the answer to the boxes now in error.
        forget();
        message = kBadInput;
        return false;
    }
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
        forget();
        return false;
    }
    setColumns(*c);
    countLine = analysis::FindReport::countLine(m_result);
    message = m_result.note;
    // A new search keeps the order the user chose last, while its column is there.
    const int column = columnOf(m_sortKey);
    if (column < 0) {
        m_sortKey = "code";
        m_descending = false;
    }
    if (m_sortKey != "code" || m_descending) {
        m_descending = !m_descending;
        sortBy(column);
    } else {
        fill();
    }
    return true;
}

void ConditionSearchModel::setColumns(const StockFinder::Conditions& c)
{
    // The default columns, and after the figures one for each condition that is not among them.
    const auto& defaults = analysis::FindReport::defaultColumns();
    std::vector<std::string> extra;
    for (const auto& b : boxes) {
        if (c.ranges.count(b.figure->name)
            && std::find(defaults.begin(), defaults.end(), b.figure->name) == defaults.end()) {
            extra.push_back(b.figure->name);
        }
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        if (c.flags.count(flag.name)) {
            extra.push_back(flag.name);
        }
    }
    if (c.cross != 0) {
        extra.push_back(c.cross > 0 ? "golden" : "dead");
    }
    for (const auto& cross : analysis::FigureTable::crosses()) {
        if (c.crosses.count(cross.name)) {
            extra.push_back(cross.name);
        }
    }
    std::vector<std::string> names = defaults;
    const auto cap = std::find(names.begin(), names.end(), "cap");
    names.insert(cap == names.end() ? names.end() : cap + 1, extra.begin(), extra.end());
    if (names == m_columns && grid.cols() > 0) {
        return;
    }
    m_columns = std::move(names);
    const auto headings = analysis::FindReport::headings(m_columns);
    const auto all = columns();
    std::vector<GridData::Column> out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto* figure = analysis::FigureTable::figure(all[i]);
        std::string heading = headings[i];
        // The windows name the volume-confirmed signal as the main list does.
        if (all[i] == "confirmed") {
            heading = MainWindowModel::kMidTermHeading;
        }
        // The cells are bare numbers in these units.
        if (figure && (figure->unit == Unit::OkuYen || figure->unit == Unit::MillionYen)) {
            heading = captionOf(*figure) + "(" + unitOf(*figure) + ")";
        }
        const bool mark = all[i] == "signal" || all[i] == "confirmed" || all[i] == "golden"
            || all[i] == "dead" || analysis::FigureTable::flag(all[i])
            || analysis::FigureTable::cross(all[i]);
        out.push_back({heading, widthOf(all[i], heading),
            figure ? Align::Right : (mark ? Align::Centre : Align::Left)});
    }
    grid.setColumns(std::move(out));
    grid.setHeadingTip(MainWindowModel::kMidTermHeading, MainWindowModel::kMidTermTip);
}

std::vector<std::string> ConditionSearchModel::columns() const
{
    std::vector<std::string> out = {"code", "name"};
    out.insert(out.end(), m_columns.begin(), m_columns.end());
    return out;
}

int ConditionSearchModel::columnOf(std::string_view name) const
{
    const auto all = columns();
    const auto it = std::find(all.begin(), all.end(), name);
    return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

int ConditionSearchModel::sortColumn() const
{
    return std::max(0, columnOf(m_sortKey));
}

void ConditionSearchModel::clear()
{
    for (auto& b : boxes) {
        b.low.clear();
        b.high.clear();
        b.error.clear();
        b.badLow = b.badHigh = false;
    }
    flags.clear();
    cross = 0;
    crosses.clear();
    signal.clear();
    confirmed = false;
    market.clear();
    industry.clear();
    // A result and its columns left standing would read as the answer to no conditions.
    forget();
    message.clear();
    setColumns({});
}

void ConditionSearchModel::sortBy(int column)
{
    const auto all = columns();
    if (column < 0 || column >= static_cast<int>(all.size())) {
        return;
    }
    const std::string& key = all[static_cast<std::size_t>(column)];
    m_descending = key == m_sortKey ? !m_descending : false;
    m_sortKey = key;
    auto& rows = m_result.rows;
    if (StockFinder::isSortKey(key)) {
        StockFinder::sort(rows, key, m_descending);
    } else {
        // The shown texts, once a row: a sort compares each many times.
        std::map<std::string, std::string> texts;
        for (const auto& r : rows) {
            texts[r.code] = key == "name" ? r.name : analysis::FindReport::cells(r, {key}).back();
        }
        const bool descending = m_descending;
        StockFinder::order(rows, [&texts, descending](const auto& a, const auto& b) {
            const auto& x = texts[a.code];
            const auto& y = texts[b.code];
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
        const auto cells = analysis::FindReport::cells(rows[i], m_columns);
        const int line = static_cast<int>(i) + 1;
        for (int c = 0; c < grid.cols(); ++c) {
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
    if (added > 0 || there == 0) {
        note = "確認注目株に " + std::to_string(added) + " 銘柄を追加しました。";
    } else {
        note.clear();
    }
    if (there > 0) {
        note += (added > 0 ? "ほかの " : "選んだ ") + std::to_string(there)
            + " 銘柄はすでに確認注目株にあります。";
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
