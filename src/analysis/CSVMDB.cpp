#include "CSVMDB.h"

#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"

#include <sqlite3.h>

namespace zuvemo::analysis {

namespace {

constexpr int kWindow = kSignalRows;

const char* const kWindowQuery = " SELECT whi,Wen,Wcount,Wpatai,Wqatai,Wgatai,Wjatai"
                                 ",Wdk,Wbb"
                                 ",Whatai,Wiatai,Wkatai,Wlatai,Wmatai,Wnatai"
                                 ",Woatai,Wratai,Wsatai,Wtatai,Wuatai,Wvatai"
                                 ",Wwatai,Wxatai,Wyatai"
                                 " FROM WorkTemp"
                                 " WHERE Wcount<=250"
                                 " ORDER BY Wcount DESC";

// The row insert, prepared once per call; the values are the ones the statement text
// "INSERT INTO WorkTemp(Whi , Wst, ...) VALUES ('date',n,...)" would store.
class InsertStatement
{
public:
    explicit InsertStatement(core::Connection& connection)
        : m_connection(connection)
    {
        const char* sql
            = "INSERT INTO WorkTemp(Whi , Wst, Wup, Wdn, Wen, Wdk, Wbb, Wcount) VALUES (?,?,?,?,?,?,?,?)";
        int rc = sqlite3_prepare_v2(connection.handle(), sql, -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK) {
            connection.raise(rc, sql);
        }
    }
    ~InsertStatement() { sqlite3_finalize(m_stmt); }
    InsertStatement(const InsertStatement&) = delete;
    InsertStatement& operator=(const InsertStatement&) = delete;

    void insert(const HistoryRow& row, int count)
    {
        sqlite3_bind_text(m_stmt, 1, row.date.data(), static_cast<int>(row.date.size()), SQLITE_STATIC);
        sqlite3_bind_double(m_stmt, 2, row.open);
        sqlite3_bind_double(m_stmt, 3, row.high);
        sqlite3_bind_double(m_stmt, 4, row.low);
        sqlite3_bind_double(m_stmt, 5, row.close);
        sqlite3_bind_double(m_stmt, 6, row.volume);
        sqlite3_bind_double(m_stmt, 7, row.value);
        sqlite3_bind_int(m_stmt, 8, count);
        int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        if (rc != SQLITE_DONE) {
            m_connection.raise(rc, "INSERT INTO WorkTemp");
        }
    }

private:
    core::Connection& m_connection;
    sqlite3_stmt* m_stmt = nullptr;
};

void requireConnection(core::Mdl_Start& module)
{
    if (!module.SharedConnection) {
        throw core::DatabaseError(SQLITE_MISUSE, "the database is not open");
    }
}

void loadRows(core::Mdl_Start& module, const std::vector<HistoryRow>& rows)
{
    module.SqlBuffer2 = " DELETE FROM WorkTemp";
    module.SharedConnection->execute(module.SqlBuffer2);
    InsertStatement insert(*module.SharedConnection);
    int count = 0;
    for (const auto& row : rows) {
        insert.insert(row, ++count);
    }
}

} // namespace

void loadWorkTemp(core::Mdl_Start& module, const std::vector<HistoryRow>& rows)
{
    requireConnection(module);
    core::Transaction transaction(*module.SharedConnection);
    loadRows(module, rows);
    transaction.commit();
}

std::string signalCodeOf(const std::vector<HistoryRow>& rows, Indicators::Bounds bounds)
{
    // The window is the newest 250 stored days, oldest first.
    int n = std::min<int>(static_cast<int>(rows.size()), kWindow);
    double close[kWindow];
    double volume[kWindow];
    for (int k = 0; k < n; ++k) {
        const auto& row = rows[static_cast<std::size_t>(n - 1 - k)];
        close[k] = row.close;
        volume[k] = row.volume;
    }
    return Indicators::signalCode(close, volume, n, bounds);
}

std::string CSVMDB(
    core::Mdl_Start& module, const std::filesystem::path& file, int mode, Indicators::Bounds bounds)
{
    std::string result = "00";
    requireConnection(module);
    auto rows = readHistoryFile(file);
    if (!rows) {
        throw core::DatabaseError(SQLITE_IOERR, "cannot read " + core::Platform::toUtf8(file));
    }
    core::Transaction transaction(*module.SharedConnection);
    loadRows(module, *rows);

    module.SqlBuffer2 = kWindowQuery;
    auto& window = module.OpenShared2();
    int n = std::min(window.recordCount(), Indicators::kCapacity);
    std::vector<double> close(static_cast<std::size_t>(n));
    std::vector<double> volume(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k, window.moveNext()) {
        close[static_cast<std::size_t>(k)] = window.field(1).toDouble();
        volume[static_cast<std::size_t>(k)] = window.field(7).toDouble();
    }
    if (mode == 1) {
        auto series = std::make_unique<Indicators::Series>();
        Indicators::computeChart(close.data(), volume.data(), n, bounds, *series);
        auto& rs = window;
        rs.moveFirst();
        for (int k = 0; k < n; ++k, rs.moveNext()) {
            const auto& s = *series;
            rs.setField("Wpatai", s.G[k]);
            rs.setField("Wqatai", s.L[k]);
            rs.setField("Wgatai", s.S[k]);
            rs.setField("Wjatai", s.T[k]);
            rs.setField("Wyatai", s.B[k]);
            rs.setField("Wvatai", s.P[k]);
            rs.setField("Wmatai", s.M6[k]);
            rs.setField("Whatai", Indicators::markText(s.H[k]));
            rs.setField("Wkatai", Indicators::markText(s.K[k]));
            rs.setField("Wtatai", Indicators::zoneText(s.Z7[k]));
            rs.setField("Woatai", s.M54[k]);
            rs.setField("Wnatai", s.M30[k]);
            rs.setField("Wsatai", s.A54[k]);
            rs.setField("Wratai", s.A30[k]);
            rs.setField("Wuatai", s.A[k]);
            rs.setField("Wxatai", s.AV30[k]);
            rs.setField("Wwatai", s.W[k]);
            rs.setField("Wiatai", Indicators::zoneText(s.Z4[k]));
            rs.setField("Wlatai", Indicators::zoneText(s.Z14[k]));
            rs.update();
        }
    } else if (n > 0) {
        result = Indicators::signalCode(close.data(), volume.data(), n, bounds);
    }
    module.SharedRecordset2.reset();
    transaction.commit();
    return result;
}

Indicators::Bounds readBounds(core::Mdl_Start& module)
{
    requireConnection(module);
    Indicators::Bounds bounds;
    auto rs = module.SharedConnection->openRecordset(" SELECT * FROM Table_hantei");
    if (!rs->isEof()) {
        bounds.lower = rs->field("CFGb3").toDouble();
        bounds.upper = rs->field("CFGb4").toDouble();
    }
    return bounds;
}

} // namespace zuvemo::analysis
