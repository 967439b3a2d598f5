#include "StockFinder.h"

#include "FigureTable.h"
#include "HistoryFile.h"
#include "ScreeningRun.h"
#include "TechnicalFigures.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"

#include <algorithm>
#include <numeric>

namespace zuvemo::analysis {

using marketdata::Fundamentals;

namespace {

std::string mark(const std::string& value)
{
    const std::string t = core::Utf8::trim(value);
    return t == "買" || t == "売" ? t : std::string();
}

} // namespace

StockFinder::StockFinder(core::Mdl_Start& module)
    : m_module(module)
{
}

bool StockFinder::Conditions::hasFigures() const
{
    return limitFlags() || std::any_of(ranges.begin(), ranges.end(), [](const auto& r) {
        const auto* f = FigureTable::figure(r.first);
        return f && f->source == FigureTable::Source::JQuants;
    });
}

bool StockFinder::Conditions::limitFlags() const
{
    return flags.count("stop-high") > 0 || flags.count("stop-low") > 0;
}

bool StockFinder::Conditions::needsPrices() const
{
    auto onPrices = [](const std::string& name) {
        const auto* f = FigureTable::figure(name);
        return f && f->source == FigureTable::Source::Prices && name != "close";
    };
    return prices || !flags.empty() || cross != 0 || !crosses.empty() || onPrices(sort)
        || std::any_of(ranges.begin(), ranges.end(), [&](const auto& r) { return onPrices(r.first); });
}

bool StockFinder::isSortKey(const std::string& name)
{
    return name == "code" || FigureTable::figure(name);
}

bool StockFinder::within(const std::optional<double>& value, const Range& range, bool positive)
{
    if (!value) {
        return false;
    }
    if (range.min ? *value < *range.min : (positive && *value <= 0)) {
        return false;
    }
    return !range.max || *value <= *range.max;
}

bool StockFinder::meets(const Fundamentals::Figures& f, const Conditions& c)
{
    return meets(f, checksOf(c));
}

StockFinder::Checks StockFinder::checksOf(const Conditions& c)
{
    Checks checks;
    for (const auto& [name, range] : c.ranges) {
        const auto* figure = FigureTable::figure(name);
        checks.unknown = checks.unknown || !figure;
        if (figure) {
            checks.ranges.push_back({figure->value, range, figure->positiveWithoutMin});
        }
    }
    for (const auto& name : c.flags) {
        const auto* flag = FigureTable::flag(name);
        checks.unknown = checks.unknown || !flag;
        if (flag) {
            checks.flags.push_back(flag->value);
        }
    }
    for (const auto& [name, way] : c.crosses) {
        const auto* cross = FigureTable::cross(name);
        checks.unknown = checks.unknown || !cross;
        if (cross && way != 0) {
            checks.crosses.emplace_back(cross->value, way);
        }
    }
    checks.cross = c.cross;
    return checks;
}

bool StockFinder::meets(const Fundamentals::Figures& f, const Checks& checks)
{
    if (checks.unknown) {
        return false;
    }
    for (const auto& r : checks.ranges) {
        if (!within(f.*(r.value), r.range, r.positive)) {
            return false;
        }
    }
    for (const auto flag : checks.flags) {
        if (!(f.*flag)) {
            return false;
        }
    }
    for (const auto& [value, way] : checks.crosses) {
        if (f.*value != way) {
            return false;
        }
    }
    return checks.cross == 0 || f.cross == checks.cross;
}

void StockFinder::order(std::vector<Row>& rows, const std::function<bool(const Row&, const Row&)>& less)
{
    std::vector<std::size_t> at(rows.size());
    std::iota(at.begin(), at.end(), std::size_t{0});
    std::stable_sort(
        at.begin(), at.end(), [&](std::size_t a, std::size_t b) { return less(rows[a], rows[b]); });
    std::vector<Row> sorted;
    sorted.reserve(rows.size());
    for (const std::size_t i : at) {
        sorted.push_back(std::move(rows[i]));
    }
    rows = std::move(sorted);
}

void StockFinder::sort(std::vector<Row>& rows, const std::string& key, bool descending)
{
    const auto* figure = FigureTable::figure(key);
    order(rows, [figure, descending](const Row& a, const Row& b) {
        if (!figure) {
            return descending ? b.code < a.code : a.code < b.code;
        }
        const auto& x = a.figures.*(figure->value);
        const auto& y = b.figures.*(figure->value);
        if (!x || !y) {
            return x.has_value() && !y.has_value(); // nones last, either way
        }
        if (*x != *y) {
            return descending ? *y < *x : *x < *y;
        }
        return a.code < b.code;
    });
}

std::string StockFinder::selection(const Conditions& c)
{
    std::vector<std::string> where;
    if (!core::Utf8::trim(c.market).empty()) {
        where.push_back("Mgmgara = '" + core::SqlText(core::Utf8::trim(c.market)) + "'");
    }
    if (!core::Utf8::trim(c.industry).empty()) {
        where.push_back("Mgyosyu = '" + core::SqlText(core::Utf8::trim(c.industry)) + "'");
    }
    std::string sql;
    for (std::size_t i = 0; i < where.size(); ++i) {
        sql += (i == 0 ? " WHERE " : " AND ") + where[i];
    }
    return sql;
}

std::string StockFinder::notScreened(const std::string& lastDay)
{
    return std::string(kNotScreenedMessage) + (lastDay.empty() ? "" : "（最後の注目株検査 " + lastDay + "）");
}

std::string StockFinder::limitsNotKept(const std::string& day)
{
    return "ストップ高・ストップ安の記録は次の更新から取られます（" + day
        + " の株価はこの記録を取る前に保存されました）。";
}

StockFinder::Result StockFinder::find(const Conditions& c)
{
    Result result;
    auto& db = *m_module.SharedConnection;
    const auto source = marketdata::DataSource::read(db);
    if (!source.isJQuants() && c.hasFigures()) {
        result.message = kNoFiguresMessage;
        return result;
    }
    // A folder never refreshed would list nothing and look like a search that met no stock.
    if (core::Statement any(db, "SELECT 1 FROM Table_Code LIMIT 1"); !any.next()) {
        result.message = kNoListMessage;
        return result;
    }
    result.tradingDate = marketdata::UrlSettings::listDate(db);
    // A refresh blanks every mark: until the day's screening, a signal asked for meets no stock.
    // A screening of the list's day that marked nothing is no such case.
    if (!c.signal.empty() || c.confirmed) {
        core::Statement marked(db,
            "SELECT 1 FROM Table_Code WHERE TRIM(Dchk) <> '' OR Achk IN ('買','売') OR Cchk IN ('買','売')"
            " LIMIT 1");
        if (!marked.next()) {
            if (const auto last = ScreeningRun::lastDay(db); last.empty() || last != result.tradingDate) {
                result.note = notScreened(last);
                result.ok = true;
                return result;
            }
        }
    }
    std::string sql = "SELECT MgCode, MgMei, Mgmgara, Mgyosyu, Wecost, Achk, Cchk, Dchk FROM Table_Code";
    sql += selection(c);
    Fundamentals::Day figures;
    if (source.isJQuants() && !result.tradingDate.empty()
        && marketdata::PriceStore::exists(m_module.programFolder())) {
        marketdata::PriceStore store(m_module.programFolder());
        figures = Fundamentals::read(store, result.tradingDate);
        result.valuationDate = figures.valuationDate;
    }
    // The price figures as of the list's day: from the store, or the screening's history files
    // of that day in a CSV folder.
    const bool prices = c.needsPrices() && !result.tradingDate.empty();
    std::filesystem::path historyFolder;
    std::string historyPrefix, historySuffix;
    if (prices && source.isJQuants() && marketdata::PriceStore::exists(m_module.programFolder())) {
        marketdata::PriceStore store(m_module.programFolder());
        if (c.limitFlags() && !store.limitFlagsKept(result.tradingDate)) {
            result.message = limitsNotKept(result.tradingDate);
            return result;
        }
        TechnicalFigures::read(store, result.tradingDate, figures.byCode);
    } else if (prices && !source.isJQuants()) {
        core::Statement url(db, "SELECT kabuSi, kabuHdate FROM Table_Url");
        if (url.next()) {
            historySuffix = core::Utf8::trim(url.columnText(0));
            historyPrefix = core::Utf8::trim(url.columnText(1)) + "-";
        }
        historyFolder = m_module.programFolder() / "csv";
    }
    // A statement rather than a recordset: the list is read once, in order, and never updated.
    core::Statement rs(db, sql);
    auto text = [&rs](int column) { return core::Utf8::trim(rs.columnText(column)); };
    const Checks checks = checksOf(c);
    while (rs.next()) {
        Row row;
        row.code = text(0);
        row.achk = mark(rs.columnText(5));
        row.cchk = mark(rs.columnText(6));
        // 買 in either mark, or in the volume-confirmed one only; --confirmed alone: any confirmed mark.
        const bool signalled = c.signal.empty()
            ? (!c.confirmed || !row.cchk.empty())
            : (row.cchk == c.signal || (!c.confirmed && row.achk == c.signal));
        if (!signalled) {
            continue;
        }
        if (const auto it = figures.byCode.find(row.code); it != figures.byCode.end()) {
            row.figures = it->second;
        }
        if (!row.figures.close && rs.isNumber(4)) {
            const double close = rs.columnDouble(4);
            if (close > 0) {
                row.figures.close = close;
            }
        }
        if (prices && !source.isJQuants()) {
            std::string name = historyPrefix;
            name += row.code;
            name += historySuffix;
            const auto file = historyFolder / core::Platform::fromUtf8(name);
            if (const auto rows = readHistoryFile(file)) {
                TechnicalFigures::compute(
                    TechnicalFigures::fromHistory(*rows, result.tradingDate), row.figures);
            }
        }
        if (!meets(row.figures, checks)) {
            continue;
        }
        row.name = text(1);
        row.market = text(2);
        row.industry = text(3);
        row.state = text(7);
        result.rows.push_back(std::move(row));
    }
    result.count = static_cast<int>(result.rows.size());
    sort(result.rows, c.sort, c.descending);
    if (c.limit > 0 && static_cast<int>(result.rows.size()) > c.limit) {
        result.rows.resize(static_cast<std::size_t>(c.limit));
    }
    result.ok = true;
    return result;
}

} // namespace zuvemo::analysis
