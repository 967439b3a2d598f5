#pragma once

#include "TestSupport.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"
#include "core/TextCodec.h"
#include "marketdata/DataSource.h"

#include <gtest/gtest.h>
#include <memory>

namespace zuvemo::test {

// A program folder with a new database, opened as the programs open it.
class ModuleFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        createDatabase(
            core::Schema::UrlRow{"http://127.0.0.1:1/d/", "http://127.0.0.1:1/h/", ".csv", "20240104"});
    }
    void createDatabase(const core::Schema::UrlRow& url)
    {
        m_module.reset();
        core::Schema::createDatabaseFile(m_dir / "zuvemo.db", url, core::Schema::Bounds{0.9, 1.2});
        writeFile(m_dir / "qen_kanrFile.dsa", "[DataBase1]=zuvemo.db\r\n");
        m_module = std::make_unique<core::Mdl_Start>(m_dir.path());
        ASSERT_TRUE(m_module->ReadConfigFile());
        ASSERT_TRUE(m_module->OpenDatabase());
    }
    core::Connection& db() { return *m_module->SharedConnection; }
    // A J-Quants folder on apiUrl that holds no list yet.
    void jquantsSource(const std::string& apiUrl, const std::string& plan, int days)
    {
        marketdata::DataSource source;
        source.kind = marketdata::DataSource::kJQuants;
        source.apiUrl = apiUrl;
        source.plan = plan;
        source.days = days;
        marketdata::DataSource::write(db(), source);
        db().execute("UPDATE Table_Url SET kabuHdate = ' '");
    }
    std::string scalar(const std::string& sql)
    {
        auto rs = db().openRecordset(sql);
        return rs->isEof() ? "<none>" : rs->field(0).toText();
    }
    int count(const std::string& sql) { return db().openRecordset(sql)->recordCount(); }
    // Writes UTF-8 text as a code page 932 file.
    std::filesystem::path writeCp932(const std::string& name, const std::string& utf8)
    {
        auto encoded = core::TextCodec::encodeCp932(utf8);
        EXPECT_TRUE(encoded.has_value());
        writeFile(m_dir / name, encoded.value_or(""));
        return m_dir / name;
    }

    TempFolder m_dir;
    PresenterScope m_messages;
    std::unique_ptr<core::Mdl_Start> m_module;
};

} // namespace zuvemo::test
