#include "KeptSettings.h"

#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/ValueRules.h"

namespace zuvemo::ui {

namespace {

void create(core::Connection& db, const std::string& table)
{
    db.execute(
        "CREATE TABLE IF NOT EXISTS " + table + " (CondName TEXT PRIMARY KEY, CondValue TEXT NOT NULL)");
}

} // namespace

std::map<std::string, std::string> KeptSettings::read(core::Connection& db, const std::string& table)
{
    create(db, table);
    std::map<std::string, std::string> kept;
    for (auto rs = db.openRecordset("SELECT CondName, CondValue FROM " + table); !rs->isEof();
         rs->moveNext()) {
        kept[rs->field(0).toText()] = rs->field(1).toText();
    }
    return kept;
}

void KeptSettings::write(core::Connection& db, const std::string& table,
    const std::vector<std::pair<std::string, std::string>>& values)
{
    create(db, table);
    core::Transaction tx(db);
    db.execute("DELETE FROM " + table);
    for (const auto& [name, value] : values) {
        db.execute("INSERT INTO " + table + " (CondName, CondValue) VALUES ('" + core::SqlText(name) + "','"
            + core::SqlText(value) + "')");
    }
    tx.commit();
}

} // namespace zuvemo::ui
