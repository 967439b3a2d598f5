#include "PriceStore.h"

#include "BarCopy.h"
#include "ListingHistory.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "core/Statement.h"

#include <algorithm>
#include <map>
#include <set>
#include <sqlite3.h>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

constexpr const char* kBarColumns
    = "BarCode, BarDate, O, H, L, C, Vo, Va, AdjFactor, AdjO, AdjH, AdjL, AdjC, AdjVo, UL, LL";

void bindNumber(core::Statement& s, int index, const json& row, const char* field)
{
    const auto it = row.find(field);
    if (it == row.end() || !it->is_number()) {
        s.bindNull(index);
    } else {
        s.bindDouble(index, it->get<double>());
    }
}

std::string text(const json& row, const char* field)
{
    const auto it = row.find(field);
    return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The filing fields kept since the growth figures, NULL in a row stored before.
constexpr const char* kAddedFilingFields[] = {"OP", "FOP", "NxFOP", "NP", "FNP", "NxFNP", "EqAR"};

// What a history shows: the columns of kDayColumns, from the second on.
constexpr const char* kDayColumns = "BarCode, BarDate, C, AdjO, AdjH, AdjL, AdjC, AdjVo, Va";

PriceStore::Day dayOf(const core::Statement& s)
{
    PriceStore::Day d;
    d.date = s.columnText(1);
    d.traded = !s.isNull(2);
    d.c = s.columnDouble(2);
    d.adjO = s.columnDouble(3);
    d.adjH = s.columnDouble(4);
    d.adjL = s.columnDouble(5);
    d.adjC = s.columnDouble(6);
    d.adjVo = s.columnDouble(7);
    d.va = s.columnDouble(8);
    return d;
}

} // namespace

PriceStore::PriceStore(const std::filesystem::path& programFolder)
{
    try {
        open(programFolder);
    } catch (const core::DatabaseError& e) {
        const int code = e.code() & 0xff;
        if (code != SQLITE_CORRUPT && code != SQLITE_NOTADB) {
            throw;
        }
        // Everything in it can be fetched again: say so rather than only that it is damaged.
        throw core::DatabaseError(e.code(), e.what(),
            "価格データのファイル(" + core::Platform::toUtf8(programFolder / kFileName)
                + ")が壊れています。\r\nこのファイルを削除してから取得し直す（「検索開始」または zuvemo-cli "
                  "refresh）と作り直されます。");
    }
}

void PriceStore::open(const std::filesystem::path& programFolder)
{
    m_folder = programFolder;
    core::Connection::Options options;
    options.create = true;
    options.oneThread = true; // each store is its user's own
    m_connection = core::Connection::open(programFolder / kFileName, options);
    m_connection->execute("PRAGMA journal_mode=WAL");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_Bar (BarCode TEXT NOT NULL, BarDate TEXT NOT NULL,"
        " O REAL, H REAL, L REAL, C REAL, Vo REAL, Va REAL, AdjFactor REAL, AdjO REAL,"
        " AdjH REAL, AdjL REAL, AdjC REAL, AdjVo REAL, PRIMARY KEY (BarCode, BarDate))"
        " WITHOUT ROWID");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_StoredDay (DayDate TEXT PRIMARY KEY, Rows INTEGER)");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_TradingDay (DayDate TEXT PRIMARY KEY, HolDiv TEXT)");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_StoreState (StateName TEXT PRIMARY KEY, StateValue TEXT)");
    m_connection->execute("CREATE TABLE IF NOT EXISTS Table_Refetch (BarCode TEXT PRIMARY KEY)");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_PriceFigures (FigCode TEXT PRIMARY KEY, V1 REAL, V2 REAL, V3 REAL,"
        " V4 REAL, V5 REAL, V6 REAL, V7 REAL, V8 REAL, V9 REAL, V10 REAL, V11 REAL, V12 REAL, Flags INTEGER,"
        " Cross INTEGER) WITHOUT ROWID");
    addFigureColumns();
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_Valuation (ValCode TEXT NOT NULL, ValDate TEXT NOT NULL, EPS REAL,"
        " FwdEPS REAL, BPS REAL, ROE REAL, FwdROE REAL, PER REAL, FwdPER REAL, PBR REAL, MktCap REAL,"
        " PRIMARY KEY (ValDate, ValCode)) WITHOUT ROWID");
    m_connection->execute("CREATE TABLE IF NOT EXISTS Table_ValuationDay (DayDate TEXT PRIMARY KEY)");
    m_connection->execute(
        "CREATE TABLE IF NOT EXISTS Table_Filing (FilCode TEXT NOT NULL, DiscDate TEXT NOT NULL,"
        " DiscNo TEXT NOT NULL, DocType TEXT, CurPerType TEXT, CurFYSt TEXT, CurFYEn TEXT, DivAnn TEXT,"
        " FDivAnn TEXT, NxFDivAnn TEXT, EPS TEXT, FEPS TEXT, NxFEPS TEXT, Sales TEXT, FSales TEXT,"
        " NxFSales TEXT, OP TEXT, FOP TEXT, NxFOP TEXT, NP TEXT, FNP TEXT, NxFNP TEXT, EqAR TEXT,"
        " PRIMARY KEY (FilCode, DiscDate, DiscNo)) WITHOUT ROWID");
    m_connection->execute("CREATE TABLE IF NOT EXISTS Table_FilingDay (DayDate TEXT PRIMARY KEY)");
    addFilingColumns();
    addBarColumns();
    // The figures of one day read every stock's close of that day, and every split up to it:
    // without these, each would read the whole store.
    m_connection->execute("CREATE INDEX IF NOT EXISTS Index_BarDay ON Table_Bar (BarDate, C)");
    m_connection->execute(
        "CREATE INDEX IF NOT EXISTS Index_BarSplit ON Table_Bar (BarDate) WHERE AdjFactor <> 1");
    // Whoever writes a bar, this program or any other, changes the stamp in the same
    // transaction: the copy beside the store is then of another stamp and not read.
    for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
        m_connection->execute(std::string("CREATE TRIGGER IF NOT EXISTS Trigger_Bar") + change + " AFTER "
            + change
            + " ON Table_Bar BEGIN INSERT OR REPLACE INTO Table_StoreState (StateName, StateValue)"
              " VALUES ('BarsStamp', random()); END");
    }
}

void PriceStore::addBarColumns()
{
    bool ul = false;
    bool ll = false;
    {
        core::Statement columns(*m_connection, "SELECT name FROM pragma_table_info('Table_Bar')");
        while (columns.next()) {
            ul = ul || columns.columnText(0) == "UL";
            ll = ll || columns.columnText(0) == "LL";
        }
    }
    if (ul && ll) {
        return;
    }
    // Bars stored before keep NULL there: the touch of a limit was not kept for them, and no
    // reader takes NULL for "did not touch".
    core::Transaction transaction(*m_connection);
    if (!ul) {
        m_connection->execute("ALTER TABLE Table_Bar ADD COLUMN UL INTEGER");
    }
    if (!ll) {
        m_connection->execute("ALTER TABLE Table_Bar ADD COLUMN LL INTEGER");
    }
    // Figures kept before carry no limit flags.
    m_connection->execute("DELETE FROM Table_PriceFigures");
    m_connection->execute("DELETE FROM Table_StoreState WHERE StateName = 'PriceFiguresDay'");
    transaction.commit();
}

namespace {

// The kept figures' columns after the first twelve values, Flags and Cross, in the order they
// were added: a store made before gets them at its end, so a table of either age has one order.
constexpr const char* kLaterFigureColumns[]
    = {"V13", "V14", "V15", "V16", "V17", "V18", "V19", "V20", "V21", "MacdCross", "TenkanCross"};
constexpr std::size_t kFirstFigureCount = 12;

std::string figureColumns()
{
    std::string out = "FigCode";
    for (std::size_t i = 1; i <= kFirstFigureCount; ++i) {
        out += ", V" + std::to_string(i);
    }
    out += ", Flags, Cross";
    for (const char* column : kLaterFigureColumns) {
        out += std::string(", ") + column;
    }
    return out;
}

} // namespace

void PriceStore::addFigureColumns()
{
    static_assert(kPriceFigureCount == kFirstFigureCount + std::size(kLaterFigureColumns) - 2);
    std::set<std::string> have;
    {
        core::Statement columns(*m_connection, "SELECT name FROM pragma_table_info('Table_PriceFigures')");
        while (columns.next()) {
            have.insert(columns.columnText(0));
        }
    }
    if (have.count(kLaterFigureColumns[std::size(kLaterFigureColumns) - 1])) {
        return;
    }
    core::Transaction transaction(*m_connection);
    for (const char* column : kLaterFigureColumns) {
        if (!have.count(column)) {
            m_connection->execute(std::string("ALTER TABLE Table_PriceFigures ADD COLUMN ") + column
                + (column[0] == 'V' ? " REAL" : " INTEGER"));
        }
    }
    // Figures kept before lack the later ones: the next search computes them all again.
    m_connection->execute("DELETE FROM Table_PriceFigures");
    m_connection->execute("DELETE FROM Table_StoreState WHERE StateName = 'PriceFiguresDay'");
    transaction.commit();
}

void PriceStore::addFilingColumns()
{
    std::vector<std::string> missing;
    for (const char* field : kAddedFilingFields) {
        missing.emplace_back(field);
    }
    core::Statement columns(*m_connection, "SELECT name FROM pragma_table_info('Table_Filing')");
    while (columns.next()) {
        std::erase(missing, columns.columnText(0));
    }
    if (missing.empty()) {
        return;
    }
    // Old rows keep NULL there (not fetched), which no figure reads; every disclosure day is
    // asked again at the next refresh so they come in. Both or neither, should this stop.
    core::Transaction transaction(*m_connection);
    for (const auto& field : missing) {
        m_connection->execute("ALTER TABLE Table_Filing ADD COLUMN " + field + " TEXT");
    }
    m_connection->execute("DELETE FROM Table_FilingDay");
    transaction.commit();
}

const std::vector<const char*>& PriceStore::valuationFields()
{
    static const std::vector<const char*> fields
        = {"EPS", "FwdEPS", "BPS", "ROE", "FwdROE", "PER", "FwdPER", "PBR", "MktCap"};
    return fields;
}

const std::vector<const char*>& PriceStore::filingFields()
{
    static const std::vector<const char*> fields
        = {"DocType", "CurPerType", "CurFYSt", "CurFYEn", "DivAnn", "FDivAnn", "NxFDivAnn", "EPS", "FEPS",
            "NxFEPS", "Sales", "FSales", "NxFSales", "OP", "FOP", "NxFOP", "NP", "FNP", "NxFNP", "EqAR"};
    return fields;
}

void PriceStore::storeValuation(const std::string& date, const json& rows)
{
    core::Transaction transaction(*m_connection);
    core::Statement insert(*m_connection,
        "INSERT OR REPLACE INTO Table_Valuation (ValCode, ValDate, EPS, FwdEPS, BPS, ROE, FwdROE, PER,"
        " FwdPER, PBR, MktCap) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
    for (const auto& row : rows) {
        insert.bindText(1, text(row, "Code"));
        insert.bindText(2, date);
        int i = 3;
        for (const char* field : valuationFields()) {
            bindNumber(insert, i++, row, field);
        }
        insert.run();
    }
    core::Statement mark(*m_connection, "INSERT OR REPLACE INTO Table_ValuationDay (DayDate) VALUES (?)");
    mark.bindText(1, date);
    mark.run();
    transaction.commit();
}

bool PriceStore::hasValuation(const std::string& date)
{
    core::Statement s(*m_connection, "SELECT 1 FROM Table_ValuationDay WHERE DayDate = ?");
    s.bindText(1, date);
    return s.next();
}

std::string PriceStore::valuationDay(const std::string& upTo)
{
    core::Statement s(*m_connection, "SELECT MAX(DayDate) FROM Table_ValuationDay WHERE DayDate <= ?");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    std::string day = s.next() && !s.isNull(0) ? s.columnText(0) : std::string();
    return day;
}

PriceStore::Contents PriceStore::contents(const std::string& upTo)
{
    Contents out;
    const std::string last = upTo.empty() ? std::string("9999-99-99") : upTo;
    auto count = [this, &last](const char* sql) {
        core::Statement s(*m_connection, sql);
        s.bindText(1, last);
        return s.next() && !s.isNull(0) ? static_cast<long>(s.columnDouble(0)) : 0L;
    };
    out.priceDays = static_cast<int>(count("SELECT COUNT(*) FROM Table_StoredDay WHERE DayDate <= ?"));
    out.filingDays = static_cast<int>(count("SELECT COUNT(*) FROM Table_FilingDay WHERE DayDate <= ?"));
    out.filings = count("SELECT COUNT(*) FROM Table_Filing WHERE DiscDate <= ?");
    out.valuationDay = valuationDay(upTo);
    return out;
}

std::vector<PriceStore::Valuation> PriceStore::valuations(const std::string& date)
{
    std::vector<Valuation> out;
    core::Statement s(*m_connection,
        "SELECT ValCode, EPS, FwdEPS, BPS, ROE, FwdROE, PER, FwdPER, PBR, MktCap FROM Table_Valuation"
        " WHERE ValDate = ?");
    s.bindText(1, date);
    auto value = [&s](int column) {
        return s.isNull(column) ? std::nullopt : std::optional(s.columnDouble(column));
    };
    while (s.next()) {
        Valuation v;
        v.code = s.columnText(0);
        v.eps = value(1);
        v.fwdEps = value(2);
        v.bps = value(3);
        v.roe = value(4);
        v.fwdRoe = value(5);
        v.per = value(6);
        v.fwdPer = value(7);
        v.pbr = value(8);
        v.marketCap = value(9);
        out.push_back(std::move(v));
    }
    return out;
}

void PriceStore::storeFilings(const std::string& date, const json& rows)
{
    core::Transaction transaction(*m_connection);
    std::string columns = "FilCode, DiscDate, DiscNo";
    std::string values = "?,?,?";
    for (const char* field : filingFields()) {
        columns += std::string(", ") + field; // each column is named as its field
        values += ",?";
    }
    core::Statement insert(
        *m_connection, "INSERT OR REPLACE INTO Table_Filing (" + columns + ") VALUES (" + values + ")");
    for (const auto& row : rows) {
        insert.bindText(1, text(row, "Code"));
        insert.bindText(2, date);
        insert.bindText(3, text(row, "DiscNo"));
        int i = 4;
        for (const char* field : filingFields()) {
            insert.bindText(i++, text(row, field));
        }
        insert.run();
    }
    core::Statement mark(*m_connection, "INSERT OR REPLACE INTO Table_FilingDay (DayDate) VALUES (?)");
    mark.bindText(1, date);
    mark.run();
    transaction.commit();
}

bool PriceStore::hasFilingDay(const std::string& date)
{
    core::Statement s(*m_connection, "SELECT 1 FROM Table_FilingDay WHERE DayDate = ?");
    s.bindText(1, date);
    return s.next();
}

bool PriceStore::hasFilingsAfter(const std::string& date)
{
    core::Statement s(*m_connection, "SELECT 1 FROM Table_Filing WHERE DiscDate > ? LIMIT 1");
    s.bindText(1, date);
    return s.next();
}

std::size_t PriceStore::largestDayRows()
{
    core::Statement s(*m_connection, "SELECT max(Rows) FROM Table_StoredDay");
    return s.next() && !s.isNull(0) ? static_cast<std::size_t>(s.columnDouble(0)) : 0;
}

namespace {

constexpr const char* kFilingColumns
    = "SELECT FilCode, DiscDate, DiscNo, DocType, DivAnn, FDivAnn, NxFDivAnn, Sales,"
      " FSales, NxFSales, OP, FOP, NxFOP, EqAR FROM Table_Filing WHERE DiscDate <= ?";

// The row's columns but its code, in kFilingColumns' order.
void readFiling(core::Statement& s, PriceStore::Filing& f)
{
    std::string* fields[] = {&f.discDate, &f.discNo, &f.docType, &f.divAnn, &f.fDivAnn, &f.nxFDivAnn,
        &f.sales, &f.fSales, &f.nxFSales, &f.op, &f.fOp, &f.nxFOp, &f.eqAr};
    for (int i = 0; i < 13; ++i) {
        *fields[i] = s.columnText(i + 1);
    }
    f.complete = !s.isNull(10) && !s.isNull(11) && !s.isNull(12) && !s.isNull(13);
}

} // namespace

void PriceStore::eachFiling(const std::string& upTo, const std::function<bool(const Filing&)>& fn)
{
    // The key read backwards: codes in descending order need no sort of the whole table.
    core::Statement s(
        *m_connection, std::string(kFilingColumns) + " ORDER BY FilCode DESC, DiscDate DESC, DiscNo DESC");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    Filing f;
    bool done = false; // with the stock of f.code
    while (s.next()) {
        std::string code = s.columnText(0);
        if (code == f.code && done) {
            continue;
        }
        if (code != f.code) {
            f.code = std::move(code);
        }
        readFiling(s, f);
        done = !fn(f);
    }
}

void PriceStore::eachFilingOldestFirst(const std::string& upTo, const std::function<void(const Filing&)>& fn)
{
    core::Statement s(*m_connection, std::string(kFilingColumns) + " ORDER BY FilCode, DiscDate, DiscNo");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    Filing f;
    while (s.next()) {
        f.code = s.columnText(0);
        readFiling(s, f);
        fn(f);
    }
}

std::map<std::string, double> PriceStore::closes(const std::string& date)
{
    std::map<std::string, double> out;
    core::Statement s(*m_connection, "SELECT BarCode, C FROM Table_Bar WHERE BarDate = ? AND C IS NOT NULL");
    s.bindText(1, date);
    while (s.next()) {
        out.emplace(s.columnText(0), s.columnDouble(1));
    }
    return out;
}

std::vector<std::tuple<std::string, std::string, double>> PriceStore::splits(const std::string& upTo)
{
    std::vector<std::tuple<std::string, std::string, double>> out;
    core::Statement s(*m_connection,
        "SELECT BarCode, BarDate, AdjFactor FROM Table_Bar WHERE AdjFactor IS NOT NULL AND AdjFactor <> 1"
        " AND BarDate <= ?");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    while (s.next()) {
        out.emplace_back(s.columnText(0), s.columnText(1), s.columnDouble(2));
    }
    return out;
}

bool PriceStore::exists(const std::filesystem::path& programFolder)
{
    std::error_code ec;
    return std::filesystem::exists(programFolder / kFileName, ec);
}

void PriceStore::setFillPending(bool pending)
{
    core::Statement s(*m_connection,
        "INSERT OR REPLACE INTO Table_StoreState (StateName, StateValue) VALUES ('FillPending', ?)");
    s.bindText(1, pending ? "1" : "0");
    s.run();
}

bool PriceStore::fillPending()
{
    core::Statement s(
        *m_connection, "SELECT StateValue FROM Table_StoreState WHERE StateName = 'FillPending'");
    return s.next() && s.columnText(0) == "1";
}

PriceStore::~PriceStore() = default;

std::string PriceStore::storeCode(const std::string& listCode)
{
    return listCode.size() == 4 ? listCode + "0" : listCode;
}

std::string PriceStore::listCode(const std::string& code)
{
    if (code.size() == 5 && code.back() == '0') {
        return code.substr(0, 4);
    }
    return code;
}

const std::array<const char*, PriceStore::kBarFieldCount>& PriceStore::barFields()
{
    static const std::array<const char*, kBarFieldCount> fields
        = {"O", "H", "L", "C", "Vo", "Va", "AdjFactor", "AdjO", "AdjH", "AdjL", "AdjC", "AdjVo"};
    return fields;
}

std::int8_t PriceStore::limitFlag(const json& value)
{
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        return text == "1" ? 1 : text == "0" ? 0 : -1;
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? 1 : 0;
    }
    if (value.is_number()) {
        const double v = value.get<double>();
        return v == 1.0 ? 1 : v == 0.0 ? 0 : -1;
    }
    return -1;
}

std::vector<PriceStore::Bar> PriceStore::barsOf(const json& rows)
{
    std::vector<Bar> bars;
    bars.reserve(rows.size());
    for (const auto& row : rows) {
        Bar bar;
        bar.code = text(row, "Code");
        bar.date = text(row, "Date");
        if (bar.code.empty() || bar.date.size() != 10) {
            continue;
        }
        for (std::size_t i = 0; i < kBarFieldCount; ++i) {
            const auto it = row.find(barFields()[i]);
            if (it != row.end() && it->is_number()) {
                bar.values[i] = it->get<double>();
                bar.given = static_cast<std::uint16_t>(bar.given | 1u << i);
            }
        }
        if (const auto it = row.find("UL"); it != row.end()) {
            bar.ul = limitFlag(*it);
        }
        if (const auto it = row.find("LL"); it != row.end()) {
            bar.ll = limitFlag(*it);
        }
        bars.push_back(std::move(bar));
    }
    return bars;
}

void PriceStore::storeRows(const std::vector<const Bar*>& rows)
{
    // Figures computed from the bars before are no longer theirs.
    m_connection->execute("DELETE FROM Table_PriceFigures");
    m_connection->execute("DELETE FROM Table_StoreState WHERE StateName = 'PriceFiguresDay'");
    core::Statement insert(*m_connection,
        std::string("INSERT OR REPLACE INTO Table_Bar (") + kBarColumns
            + ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const Bar* bar : rows) {
        insert.bindText(1, bar->code);
        insert.bindText(2, bar->date);
        for (std::size_t i = 0; i < kBarFieldCount; ++i) {
            const int index = static_cast<int>(i) + 3;
            if (bar->has(i)) {
                insert.bindDouble(index, bar->values[i]);
            } else {
                insert.bindNull(index);
            }
        }
        int index = static_cast<int>(kBarFieldCount) + 3;
        for (const std::int8_t flag : {bar->ul, bar->ll}) {
            if (flag < 0) {
                insert.bindNull(index++);
            } else {
                insert.bindDouble(index++, flag);
            }
        }
        insert.run();
    }
}

void PriceStore::storeDay(
    const std::string& date, const json& rows, const std::vector<std::string>& staleCodes)
{
    std::map<std::string, std::vector<Bar>> day;
    day[date] = barsOf(rows);
    storeDays(day, staleCodes);
}

void PriceStore::storeDays(const std::map<std::string, std::vector<Bar>>& days,
    const std::vector<std::string>& staleCodes, const std::map<std::string, std::string>* basis)
{
    constexpr std::size_t kAdjFactor = 6;
    core::Transaction transaction(*m_connection);
    std::vector<std::string> refetch = staleCodes;
    // A split whose stock has older days stored than the split, before these days go in.
    core::Statement earlier(*m_connection, "SELECT BarDate FROM Table_Bar WHERE BarCode = ? AND BarDate < ?");
    auto olderBasis = [&basis](std::string_view day, const std::string& split) {
        if (!basis) {
            return true;
        }
        const auto it = basis->find(std::string(day));
        return it == basis->end() || it->second < split;
    };
    std::vector<const Bar*> rows;
    for (const auto& [date, bars] : days) {
        for (const auto& bar : bars) {
            rows.push_back(&bar);
            if (!bar.has(kAdjFactor) || bar.values[kAdjFactor] == 1.0) {
                continue;
            }
            earlier.bindText(1, bar.code);
            earlier.bindText(2, date);
            while (earlier.next()) {
                if (olderBasis(earlier.columnView(0), date)) {
                    refetch.push_back(bar.code);
                    earlier.reset();
                    break;
                }
            }
        }
    }
    // Stable: of two rows of one key (never in a checked answer) the later is kept, as sent.
    std::stable_sort(rows.begin(), rows.end(), [](const Bar* a, const Bar* b) {
        return a->code != b->code ? a->code < b->code : a->date < b->date;
    });
    storeRows(rows);
    core::Statement mark(
        *m_connection, "INSERT OR REPLACE INTO Table_StoredDay (DayDate, Rows) VALUES (?, ?)");
    for (const auto& [date, bars] : days) {
        mark.bindText(1, date);
        mark.bindDouble(2, static_cast<double>(bars.size()));
        mark.run();
    }
    core::Statement note(*m_connection, "INSERT OR IGNORE INTO Table_Refetch (BarCode) VALUES (?)");
    for (const auto& code : refetch) {
        note.bindText(1, code);
        note.run();
    }
    transaction.commit();
}

void PriceStore::storeStock(
    const std::string& code, const std::string& from, const std::string& to, const json& rows)
{
    core::Transaction transaction(*m_connection);
    core::Statement remove(
        *m_connection, "DELETE FROM Table_Bar WHERE BarCode = ? AND BarDate BETWEEN ? AND ?");
    remove.bindText(1, code);
    remove.bindText(2, from);
    remove.bindText(3, to);
    remove.run();
    auto bars = barsOf(rows);
    std::vector<const Bar*> sorted;
    sorted.reserve(bars.size());
    for (const auto& bar : bars) {
        sorted.push_back(&bar);
    }
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const Bar* a, const Bar* b) { return a->date < b->date; });
    storeRows(sorted);
    core::Statement done(*m_connection, "DELETE FROM Table_Refetch WHERE BarCode = ?");
    done.bindText(1, code);
    done.run();
    transaction.commit();
}

std::vector<std::string> PriceStore::pendingRefetches()
{
    std::vector<std::string> codes;
    core::Statement s(*m_connection, "SELECT BarCode FROM Table_Refetch ORDER BY BarCode");
    while (s.next()) {
        codes.push_back(s.columnText(0));
    }
    return codes;
}

bool PriceStore::hasDay(const std::string& date)
{
    core::Statement s(*m_connection, "SELECT 1 FROM Table_StoredDay WHERE DayDate = ?");
    s.bindText(1, date);
    return s.next();
}

std::vector<std::string> PriceStore::storedDays()
{
    std::vector<std::string> days;
    core::Statement s(*m_connection, "SELECT DayDate FROM Table_StoredDay ORDER BY DayDate");
    while (s.next()) {
        days.push_back(s.columnText(0));
    }
    return days;
}

std::string PriceStore::listingSince(const std::string& code, const std::string& upTo)
{
    if (!m_relisted || m_relisted->first != upTo) {
        m_relisted.emplace(upTo, ListingHistory::relisted(*m_connection, upTo));
    }
    const auto it = m_relisted->second.find(code);
    return it == m_relisted->second.end() ? std::string() : it->second;
}

std::vector<PriceStore::Day> PriceStore::history(const std::string& code, int count, const std::string& upTo)
{
    std::vector<Day> days;
    core::Statement s(*m_connection,
        std::string("SELECT ") + kDayColumns
            + " FROM Table_Bar WHERE BarCode = ? AND BarDate <= ? AND BarDate > ? ORDER BY BarDate DESC "
              "LIMIT ?");
    s.bindText(1, code);
    s.bindText(2, upTo.empty() ? std::string("9999-99-99") : upTo);
    s.bindText(3, listingSince(code, upTo));
    s.bindDouble(4, count);
    while (s.next()) {
        days.push_back(dayOf(s));
    }
    return days;
}

void PriceStore::eachNewestDay(const std::string& code, int count, const std::string& upTo,
    const std::function<bool(const Day&)>& fn, bool closesOnly)
{
    auto& statement = closesOnly ? m_newestCloses : m_newestDays;
    if (!statement) {
        statement = std::make_unique<core::Statement>(*m_connection,
            std::string("SELECT ") + (closesOnly ? "BarDate, C, AdjC, AdjVo, Va" : kDayColumns)
                + " FROM Table_Bar WHERE BarCode = ? AND BarDate <= ? AND BarDate > ? ORDER BY BarDate DESC "
                  "LIMIT ?");
    }
    auto& s = *statement;
    s.reset(); // a reader that threw left it mid-query
    s.bindText(1, code);
    s.bindText(2, upTo.empty() ? std::string("9999-99-99") : upTo);
    s.bindText(3, listingSince(code, upTo));
    s.bindDouble(4, count);
    Day close;
    while (s.next()) {
        if (closesOnly) {
            close.date = s.columnView(0);
            close.traded = !s.isNull(1);
            close.c = s.columnDouble(1);
            close.adjC = s.columnDouble(2);
            close.adjVo = s.columnDouble(3);
            close.va = s.columnDouble(4);
        }
        if (!fn(closesOnly ? close : dayOf(s))) {
            s.reset();
            return;
        }
    }
}

bool PriceStore::limitFlagsKept(const std::string& day)
{
    core::Statement s(*m_connection, "SELECT 1 FROM Table_Bar WHERE BarDate = ? AND UL IS NOT NULL LIMIT 1");
    s.bindText(1, day);
    return s.next();
}

long long PriceStore::dataVersion()
{
    core::Statement s(*m_connection, "PRAGMA data_version");
    return s.next() ? static_cast<long long>(s.columnDouble(0)) : 0;
}

std::optional<std::map<std::string, PriceStore::PriceFigures>> PriceStore::keptPriceFigures(
    const std::string& day)
{
    // One statement, so the day and its rows are read in one snapshot.
    std::map<std::string, PriceFigures> out;
    core::Statement s(*m_connection,
        "SELECT " + figureColumns()
            + " FROM Table_PriceFigures WHERE (SELECT StateValue FROM Table_StoreState"
              " WHERE StateName = 'PriceFiguresDay') = ?");
    s.bindText(1, day);
    // The columns: the code, the first values, Flags, Cross, the later values, the later crosses.
    auto valueColumn = [](std::size_t i) { return static_cast<int>(i < kFirstFigureCount ? i + 1 : i + 3); };
    constexpr int kFlags = static_cast<int>(kFirstFigureCount) + 1;
    constexpr int kLaterCrosses = static_cast<int>(kPriceFigureCount) + 3;
    while (s.next()) {
        auto& f = out[s.columnText(0)];
        for (std::size_t i = 0; i < kPriceFigureCount; ++i) {
            if (!s.isNull(valueColumn(i))) {
                f.values[i] = s.columnDouble(valueColumn(i));
            }
        }
        f.flags = static_cast<unsigned>(s.columnDouble(kFlags));
        f.cross = static_cast<int>(s.columnDouble(kFlags + 1));
        f.macdCross = static_cast<int>(s.columnDouble(kLaterCrosses));
        f.tenkanCross = static_cast<int>(s.columnDouble(kLaterCrosses + 1));
    }
    return out.empty() ? std::nullopt : std::optional(std::move(out));
}

void PriceStore::keepPriceFigures(
    const std::string& day, long long version, const std::map<std::string, PriceFigures>& figures)
{
    m_connection->setBusyTimeout(0);
    try {
        m_connection->execute("BEGIN IMMEDIATE");
        // Another connection's commit since the bars were read: they may not be these bars.
        if (dataVersion() != version) {
            m_connection->execute("ROLLBACK");
            m_connection->setBusyTimeout(core::Connection::Options{}.busyTimeoutMs);
            return;
        }
        m_connection->execute("DELETE FROM Table_PriceFigures");
        std::string marks = "?";
        for (std::size_t i = 0; i < kPriceFigureCount + 4; ++i) {
            marks += ",?";
        }
        core::Statement insert(
            *m_connection, "INSERT INTO Table_PriceFigures (" + figureColumns() + ") VALUES (" + marks + ")");
        // Parameters count from 1: the code, then the columns in figureColumns' order.
        auto valueColumn
            = [](std::size_t i) { return static_cast<int>(i < kFirstFigureCount ? i + 2 : i + 4); };
        constexpr int kFlags = static_cast<int>(kFirstFigureCount) + 2;
        constexpr int kLaterCrosses = static_cast<int>(kPriceFigureCount) + 4;
        for (const auto& [code, f] : figures) {
            insert.bindText(1, code);
            for (std::size_t i = 0; i < kPriceFigureCount; ++i) {
                if (f.values[i]) {
                    insert.bindDouble(valueColumn(i), *f.values[i]);
                } else {
                    insert.bindNull(valueColumn(i));
                }
            }
            insert.bindDouble(kFlags, f.flags);
            insert.bindDouble(kFlags + 1, f.cross);
            insert.bindDouble(kLaterCrosses, f.macdCross);
            insert.bindDouble(kLaterCrosses + 1, f.tenkanCross);
            insert.run();
        }
        core::Statement mark(*m_connection,
            "INSERT OR REPLACE INTO Table_StoreState (StateName, StateValue) VALUES ('PriceFiguresDay', ?)");
        mark.bindText(1, day);
        mark.run();
        m_connection->execute("COMMIT");
    } catch (const core::DatabaseError&) {
        try {
            m_connection->execute("ROLLBACK");
        } catch (const core::DatabaseError&) {
        }
    }
    m_connection->setBusyTimeout(core::Connection::Options{}.busyTimeoutMs);
}

std::string PriceStore::barsStamp()
{
    core::Statement s(*m_connection, "SELECT StateValue FROM Table_StoreState WHERE StateName = 'BarsStamp'");
    return s.next() ? s.columnText(0) : std::string();
}

void PriceStore::keepBarCopy()
{
    try {
        // One read of the stamp and the bars: no write can come between them.
        core::Transaction transaction(*m_connection);
        std::string stamp = barsStamp();
        if (stamp.empty()) {
            // A store whose bars were written before they had a stamp.
            m_connection->execute("INSERT OR REPLACE INTO Table_StoreState (StateName, StateValue)"
                                  " VALUES ('BarsStamp', random())");
            stamp = barsStamp();
        }
        if (BarCopy::stampOf(m_folder) == stamp) {
            transaction.commit();
            return;
        }
        core::Statement s(*m_connection,
            "SELECT BarCode, BarDate, C, AdjC, AdjH, AdjL, AdjVo, Va, AdjO, O, AdjFactor, UL, LL"
            " FROM Table_Bar ORDER BY BarCode, BarDate");
        BarCopy::write(m_folder, stamp, [&](const BarCopy::EachRow& each) {
            BarCopy::Row row;
            auto limit = [&](int column) -> std::int8_t {
                return s.isNull(column) ? -1 : static_cast<std::int8_t>(s.columnDouble(column) == 1.0);
            };
            while (s.next()) {
                row.code = s.columnView(0);
                row.date = s.columnView(1);
                row.cNull = s.isNull(2);
                row.adjCNull = s.isNull(3);
                row.oNull = s.isNull(9);
                row.factorNull = s.isNull(10);
                row.c = s.columnDouble(2);
                row.adjC = s.columnDouble(3);
                row.adjH = s.columnDouble(4);
                row.adjL = s.columnDouble(5);
                row.adjVo = s.columnDouble(6);
                row.va = s.columnDouble(7);
                row.adjO = s.columnDouble(8);
                row.o = s.columnDouble(9);
                row.adjFactor = row.factorNull ? 1.0 : s.columnDouble(10);
                row.ul = limit(11);
                row.ll = limit(12);
                each(row);
            }
        });
        transaction.commit();
    } catch (const std::exception&) {
        // Busy or short of room: the bars are read from the store as before.
    }
}

void PriceStore::eachStockBars(const std::vector<std::string>& days,
    const std::function<void(const std::string& code, const std::vector<DayBar>& bars)>& fn, bool closesOnly,
    const std::string& fromCode, const std::string& toCode, BarColumns wanted)
{
    if (days.empty()) {
        return;
    }
    if (const std::string stamp = barsStamp(); !stamp.empty()) {
        if (!m_barCopy || m_barCopy->stamp() != stamp) {
            m_barCopy = BarCopy::open(m_folder, stamp);
        }
        if (m_barCopy) {
            m_barCopy->eachStock(days, fn, closesOnly, fromCode, toCode, wanted,
                [&](const std::string& code) { readStockBars(days, fn, closesOnly, code, code, wanted); });
            return;
        }
    }
    readStockBars(days, fn, closesOnly, fromCode, toCode, wanted);
}

void PriceStore::readStockBars(const std::vector<std::string>& days,
    const std::function<void(const std::string& code, const std::vector<DayBar>& bars)>& fn, bool closesOnly,
    const std::string& fromCode, const std::string& toCode, BarColumns wanted)
{
    // Columns not wanted are read as NULL, which SQLite hands over without touching the record.
    const bool touches = !closesOnly && wanted.touches;
    const std::string columns = std::string("BarCode, BarDate, C, ")
        + (closesOnly || !wanted.highLow ? "NULL, NULL" : "AdjH, AdjL") + ", AdjC, AdjVo, Va, "
        + (closesOnly ? "NULL" : "AdjO") + (touches ? ", UL, LL" : ", NULL, NULL")
        + (closesOnly ? ", NULL, NULL" : ", O, AdjFactor");
    const std::string lastCode = toCode.empty() ? std::string("\x7f") : toCode;
    std::vector<DayBar> bars;
    bars.reserve(days.size());
    std::size_t at = 0;
    // Within a stock the dates rise as the days do: a cursor finds each, no lookup.
    auto take = [&](const core::Statement& s) {
        const auto date = s.columnView(1);
        while (at < days.size() && days[at] < date) {
            ++at;
        }
        if (at == days.size() || days[at] != date) {
            return;
        }
        DayBar bar;
        bar.day = at;
        bar.traded = !s.isNull(2) && !s.isNull(5);
        if (bar.traded) {
            bar.adjH = s.columnDouble(3);
            bar.adjL = s.columnDouble(4);
            bar.adjC = s.columnDouble(5);
            bar.adjVo = s.columnDouble(6);
            bar.va = s.columnDouble(7);
            bar.c = s.columnDouble(2);
            bar.adjO = s.columnDouble(8);
        }
        if (bar.traded && !s.isNull(11)) {
            bar.o = s.columnDouble(11);
        }
        if (!s.isNull(12)) {
            bar.adjFactor = s.columnDouble(12);
        }
        if (!s.isNull(9)) {
            bar.ul = static_cast<std::int8_t>(s.columnDouble(9) == 1.0);
        }
        if (!s.isNull(10)) {
            bar.ll = static_cast<std::int8_t>(s.columnDouble(10) == 1.0);
        }
        bars.push_back(bar);
    };
    std::string code;
    core::Statement stored(*m_connection, "SELECT count(*) FROM Table_StoredDay");
    const double storedDays = stored.next() ? stored.columnDouble(0) : 0;
    stored.reset();
    if (static_cast<double>(days.size()) * 4 < storedDays) {
        // A year of a deep store: each stock's own rows found by the key, not a pass over years.
        core::Statement first(*m_connection,
            "SELECT BarCode FROM Table_Bar WHERE BarCode >= ? AND BarCode <= ? ORDER BY BarCode LIMIT 1");
        core::Statement next(*m_connection,
            "SELECT BarCode FROM Table_Bar WHERE BarCode > ? AND BarCode <= ? ORDER BY BarCode LIMIT 1");
        core::Statement s(*m_connection,
            "SELECT " + columns
                + " FROM Table_Bar WHERE BarCode = ? AND BarDate >= ? AND BarDate <= ? ORDER BY BarDate");
        for (auto* find = &first;; find = &next) {
            find->bindText(1, find == &first ? fromCode : code);
            find->bindText(2, lastCode);
            if (!find->next()) {
                return;
            }
            code = find->columnText(0);
            find->reset();
            s.bindText(1, code);
            s.bindText(2, days.front());
            s.bindText(3, days.back());
            bars.clear();
            at = 0;
            while (s.next()) {
                take(s);
            }
            if (!bars.empty()) {
                fn(code, bars);
            }
        }
    }
    // In the key's order (the unary + keeps the date index out): one pass, no sort.
    core::Statement s(*m_connection,
        "SELECT " + columns
            + " FROM Table_Bar WHERE BarCode BETWEEN ? AND ? AND +BarDate >= ? AND +BarDate <= ?"
              " ORDER BY BarCode, BarDate");
    s.bindText(1, fromCode);
    s.bindText(2, lastCode);
    s.bindText(3, days.front());
    s.bindText(4, days.back());
    while (s.next()) {
        const auto rowCode = s.columnView(0);
        if (rowCode != code) {
            if (!bars.empty()) {
                fn(code, bars);
            }
            code = rowCode;
            bars.clear();
            at = 0;
        }
        take(s);
    }
    if (!bars.empty()) {
        fn(code, bars);
    }
}

std::vector<std::string> PriceStore::tradedDays(
    const std::string& code, const std::vector<std::string>& days, bool firstOnly)
{
    std::vector<std::string> out;
    if (days.empty()) {
        return out;
    }
    core::Statement s(*m_connection,
        "SELECT BarDate FROM Table_Bar WHERE BarCode = ? AND BarDate >= ? AND BarDate <= ?"
        " AND C IS NOT NULL AND AdjC IS NOT NULL ORDER BY BarDate");
    s.bindText(1, code);
    s.bindText(2, days.front());
    s.bindText(3, days.back());
    auto at = days.begin();
    while (s.next()) {
        const auto date = s.columnView(0);
        at = std::lower_bound(
            at, days.end(), date, [](const std::string& d, std::string_view v) { return d < v; });
        if (at != days.end() && *at == date) {
            out.push_back(*at);
            if (firstOnly) {
                break;
            }
        }
    }
    return out;
}

bool PriceStore::hasBars(
    const std::string& code, const std::vector<std::string>& days, std::size_t first, std::size_t last)
{
    if (first > last || last >= days.size()) {
        return false;
    }
    core::Statement s(
        *m_connection, "SELECT BarDate FROM Table_Bar WHERE BarCode = ? AND BarDate >= ? AND BarDate <= ?");
    s.bindText(1, code);
    s.bindText(2, days[first]);
    s.bindText(3, days[last]);
    const auto begin = days.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = days.begin() + static_cast<std::ptrdiff_t>(last) + 1;
    while (s.next()) {
        const auto date = s.columnView(0);
        const auto at = std::lower_bound(
            begin, end, date, [](const std::string& d, std::string_view v) { return d < v; });
        if (at != end && *at == date) {
            return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::vector<PriceStore::Day>>> PriceStore::histories(
    int count, const std::string& upTo)
{
    std::vector<std::pair<std::string, std::vector<Day>>> out;
    // Only what a history shows, in the key's own order so there is no sort: each stock's days
    // are turned newest first after.
    core::Statement s(*m_connection,
        std::string("SELECT ") + kDayColumns
            + " FROM Table_Bar WHERE BarDate <= ? ORDER BY BarCode, BarDate");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    while (s.next()) {
        const std::string rowCode = s.columnText(0);
        if (out.empty() || out.back().first != rowCode) {
            out.emplace_back(rowCode, std::vector<Day>{});
            out.back().second.reserve(static_cast<std::size_t>(count) + 40);
        }
        out.back().second.push_back(dayOf(s));
    }
    for (auto& [stock, days] : out) {
        std::reverse(days.begin(), days.end());
        if (static_cast<int>(days.size()) > count) {
            days.resize(static_cast<std::size_t>(count));
        }
    }
    return out;
}

void PriceStore::storeCalendar(const json& rows)
{
    core::Transaction transaction(*m_connection);
    core::Statement insert(
        *m_connection, "INSERT OR REPLACE INTO Table_TradingDay (DayDate, HolDiv) VALUES (?, ?)");
    for (const auto& row : rows) {
        const std::string date = text(row, "Date");
        if (date.size() != 10) {
            continue;
        }
        insert.bindText(1, date);
        insert.bindText(2, text(row, "HolDiv"));
        insert.run();
    }
    transaction.commit();
}

std::vector<std::string> PriceStore::tradingDays(const std::string& from, const std::string& to)
{
    std::vector<std::string> days;
    core::Statement s(*m_connection,
        "SELECT DayDate FROM Table_TradingDay WHERE DayDate BETWEEN ? AND ? AND HolDiv IN ('1', '2')"
        " ORDER BY DayDate");
    s.bindText(1, from);
    s.bindText(2, to);
    while (s.next()) {
        days.push_back(s.columnText(0));
    }
    return days;
}

std::string PriceStore::calendarEnd()
{
    core::Statement s(*m_connection, "SELECT MAX(DayDate) FROM Table_TradingDay");
    return s.next() && !s.isNull(0) ? s.columnText(0) : std::string();
}

} // namespace zuvemo::marketdata
