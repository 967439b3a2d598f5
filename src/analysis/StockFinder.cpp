#include "StockFinder.h"

#include "core/Connection.h"
#include "core/Mdl_Start.h"
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

bool within(const std::optional<double>& value, const std::optional<StockFinder::Range>& range, bool positive)
{
    if (!range) {
        return true;
    }
    if (!value) {
        return false;
    }
    if (range->min ? *value < *range->min : (positive && *value <= 0)) {
        return false;
    }
    return !range->max || *value <= *range->max;
}

std::optional<double> keyOf(const StockFinder::Row& row, StockFinder::SortKey key)
{
    const auto& f = row.figures;
    switch (key) {
    case StockFinder::SortKey::Per:
        return f.per;
    case StockFinder::SortKey::FwdPer:
        return f.fwdPer;
    case StockFinder::SortKey::Pbr:
        return f.pbr;
    case StockFinder::SortKey::Roe:
        return f.roe;
    case StockFinder::SortKey::Yield:
        return f.dividendYield;
    case StockFinder::SortKey::Cap:
        return f.marketCap;
    case StockFinder::SortKey::Close:
        return f.close;
    case StockFinder::SortKey::Code:
        break;
    }
    return std::nullopt;
}

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

std::optional<StockFinder::SortKey> StockFinder::sortKey(const std::string& name)
{
    static const std::pair<const char*, SortKey> names[] = {{"code", SortKey::Code}, {"per", SortKey::Per},
        {"fwd-per", SortKey::FwdPer}, {"pbr", SortKey::Pbr}, {"roe", SortKey::Roe}, {"yield", SortKey::Yield},
        {"cap", SortKey::Cap}, {"close", SortKey::Close}};
    for (const auto& [text, key] : names) {
        if (name == text) {
            return key;
        }
    }
    return std::nullopt;
}

bool StockFinder::meets(const Fundamentals::Figures& f, const Conditions& c)
{
    return within(f.per, c.per, true) && within(f.fwdPer, c.fwdPer, true) && within(f.pbr, c.pbr, true)
        && within(f.roe, c.roe, false) && within(f.dividendYield, c.yield, false)
        && within(f.marketCap, c.cap, false);
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

void StockFinder::sort(std::vector<Row>& rows, SortKey key, bool descending)
{
    order(rows, [key, descending](const Row& a, const Row& b) {
        if (key == SortKey::Code) {
            return descending ? b.code < a.code : a.code < b.code;
        }
        const auto x = keyOf(a, key);
        const auto y = keyOf(b, key);
        if (!x || !y) {
            return x.has_value() && !y.has_value(); // nones last, either way
        }
        if (*x != *y) {
            return descending ? *y < *x : *x < *y;
        }
        return a.code < b.code;
    });
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
    std::string sql = "SELECT MgCode, MgMei, Mgmgara, Mgyosyu, Wecost, Achk, Cchk, Dchk FROM Table_Code";
    std::vector<std::string> where;
    if (!core::Utf8::trim(c.market).empty()) {
        where.push_back("Mgmgara = '" + core::SqlText(core::Utf8::trim(c.market)) + "'");
    }
    if (!core::Utf8::trim(c.industry).empty()) {
        where.push_back("Mgyosyu = '" + core::SqlText(core::Utf8::trim(c.industry)) + "'");
    }
    for (std::size_t i = 0; i < where.size(); ++i) {
        sql += (i == 0 ? " WHERE " : " AND ") + where[i];
    }
    Fundamentals::Day figures;
    if (source.isJQuants() && !result.tradingDate.empty()
        && marketdata::PriceStore::exists(m_module.programFolder())) {
        marketdata::PriceStore store(m_module.programFolder());
        figures = Fundamentals::read(store, result.tradingDate);
        result.valuationDate = figures.valuationDate;
    }
    // A statement rather than a recordset: the list is read once, in order, and never updated.
    core::Statement rs(db, sql);
    auto text = [&rs](int column) { return core::Utf8::trim(rs.columnText(column)); };
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
        if (!meets(row.figures, c)) {
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
