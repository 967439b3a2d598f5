#include "TestSupport.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using zuvemo::test::TempFolder;

namespace {

std::filesystem::path makeFilledDatabase(const TempFolder& dir, const std::string& name)
{
    auto path = dir / name;
    core::Schema::createDatabaseFile(
        path, core::Schema::UrlRow{"http://h/", "http://m/", ".csv", "20240105"}, std::nullopt);
    auto c = core::Connection::open(path);
    core::Transaction tx(*c);
    for (int i = 0; i < 3000; ++i) {
        c->execute("INSERT INTO WorkTemp(Whi, Wcount) VALUES ('" + std::string(200, 'x') + "', "
            + std::to_string(i) + ")");
    }
    c->execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '7203', 'トヨタ')");
    tx.commit();
    c->execute(" DELETE FROM WorkTemp");
    return path;
}

} // namespace

TEST(Compaction, TempNameKeepsStemAndLowersExtension)
{
    EXPECT_EQ(core::CompactionTempPath("/p/X.MDB"), std::filesystem::path("/p/X_temp.mdb"));
    EXPECT_EQ(core::CompactionTempPath("/p/zuvemo.db"), std::filesystem::path("/p/zuvemo_temp.db"));
    EXPECT_EQ(core::CompactionTempPath("/p/data"), std::filesystem::path("/p/data_temp"));
}

TEST(Compaction, ShrinksAndKeepsEveryRow)
{
    TempFolder dir;
    auto path = makeFilledDatabase(dir, "zuvemo.db");
    auto before = std::filesystem::file_size(path);
    std::string error;
    ASSERT_TRUE(core::CompactDatabaseFile(path, &error)) << error;
    EXPECT_LT(std::filesystem::file_size(path), before);
    EXPECT_FALSE(std::filesystem::exists(core::CompactionTempPath(path)));
    auto c = core::Connection::open(path);
    EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_KOCYU")->field("Wmgmei").toText(), "トヨタ");
    EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Url")->field("kabuHdate").toText(), "20240105");
}

TEST(Compaction, StaleTempFileIsReplaced)
{
    TempFolder dir;
    auto path = makeFilledDatabase(dir, "zuvemo.db");
    test::writeFile(core::CompactionTempPath(path), "left over from a crash");
    ASSERT_TRUE(core::CompactDatabaseFile(path));
    EXPECT_EQ(core::Connection::open(path)->openRecordset(" SELECT * FROM Table_KOCYU")->recordCount(), 1);
}

TEST(Compaction, FailureHalfWayLeavesTheDatabaseAsItWas)
{
    TempFolder dir;
    auto path = makeFilledDatabase(dir, "zuvemo.db");
    std::string bytes = test::readFile(path);
    // A folder in the way of the copy makes the compaction fail after it has started.
    auto blocker = core::CompactionTempPath(path);
    std::filesystem::create_directory(blocker);
    test::writeFile(blocker / "inside", "x");
    std::string error;
    EXPECT_FALSE(core::CompactDatabaseFile(path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::readFile(path), bytes);
    EXPECT_EQ(core::Connection::open(path)->openRecordset(" SELECT * FROM Table_KOCYU")->recordCount(), 1);
}

TEST(Compaction, RefusedWhileAnotherConnectionWritesTheLog)
{
    TempFolder dir;
    auto path = makeFilledDatabase(dir, "zuvemo.db");
    auto other = core::Connection::open(path);
    other->execute(" INSERT INTO WorkKocyu( Wmgcode,Wmgmei) VALUES ( '1301', 'x')");
    std::string error;
    bool ok = core::CompactDatabaseFile(path, &error);
    // Either it waited for the log to be folded in and succeeded, or it refused; never loses the row.
    other.reset();
    auto c = core::Connection::open(path);
    EXPECT_EQ(c->openRecordset(" SELECT * FROM WorkKocyu")->recordCount(), 1) << (ok ? "compacted" : error);
}

TEST(Compaction, NotADatabaseFails)
{
    TempFolder dir;
    auto path = dir / "junk.db";
    test::writeFile(path, std::string(4096, '\x5a'));
    EXPECT_FALSE(core::CompactDatabaseFile(path));
    EXPECT_EQ(test::readFile(path), std::string(4096, '\x5a'));
}
