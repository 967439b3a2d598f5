#include "TestSupport.h"
#include "core/Mdl_Start.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using zuvemo::test::TempFolder;
using zuvemo::test::writeFile;

namespace {

std::filesystem::path readPath(const TempFolder& dir, const std::string& content, bool* ok = nullptr)
{
    writeFile(dir / core::Mdl_Start::kConfigFileName, content);
    core::Mdl_Start m(dir.path());
    bool result = m.ReadConfigFile();
    if (ok) {
        *ok = result;
    }
    EXPECT_EQ(m.ConfigFilePath, dir / core::Mdl_Start::kConfigFileName);
    return m.DatabasePath;
}

} // namespace

TEST(ReadConfigFile, KeyRulesOfTheFile)
{
    TempFolder dir;
    bool ok = false;
    EXPECT_EQ(readPath(dir, "[DataBase1]=zuvemo.db\r\n", &ok), dir / "zuvemo.db");
    EXPECT_TRUE(ok);
    // A comment line starting with the key is no key.
    EXPECT_TRUE(readPath(dir, "#[DataBase1]=zuvemo.db\r\n", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(readPath(dir, "   [DataBase1]=  data/z.db  \r\n"), dir / "data/z.db");
    EXPECT_TRUE(readPath(dir, "[DataBase1] =z.db\r\n").empty());
    EXPECT_TRUE(readPath(dir, "[database1]=z.db\r\n").empty());
    EXPECT_EQ(readPath(dir, "[DataBase1]=a.db\r\n[DataBase1]=b.db\r\n"), dir / "b.db");
    EXPECT_EQ(readPath(dir, "no equals here\r\n\r\n   \r\n[Other]=x\r\n[DataBase1]=c.db"), dir / "c.db");
    // A lone LF ends a line too.
    EXPECT_EQ(readPath(dir, "# comment\n[DataBase1]=d.db\n"), dir / "d.db");
    // A Windows folder separator in the value.
    EXPECT_EQ(readPath(dir, "[DataBase1]=sub\\e.db\r\n"), dir / "sub/e.db");
    // A value starting with a separator stays below the program folder (found by fuzzing).
    EXPECT_EQ(readPath(dir, "[DataBase1]=\\b\\z.db\r\n"), dir / "b/z.db");
    EXPECT_EQ(readPath(dir, "[DataBase1]=/etc/z.db\r\n"), dir / "etc/z.db");
}

TEST(ReadConfigFile, JapaneseFolderAndValueInCodePage932)
{
    TempFolder dir;
    // "株価\データ.db" in code page 932: 株 8A 94, 価 89 BF, デ 83 66, ー 81 5B, タ 83 5E.
    EXPECT_EQ(readPath(dir, "[DataBase1]=\x8A\x94\x89\xBF.db\r\n"), dir / "株価.db");
    auto japaneseHome = dir / "株式データ";
    std::filesystem::create_directory(japaneseHome);
    writeFile(japaneseHome / core::Mdl_Start::kConfigFileName, "[DataBase1]=z.db\r\n");
    core::Mdl_Start m(japaneseHome);
    EXPECT_TRUE(m.ReadConfigFile());
    EXPECT_EQ(m.DatabasePath, japaneseHome / "z.db");
}

TEST(ReadConfigFile, LineBufferHolds128Characters)
{
    TempFolder dir;
    // Key (12) + 116 characters of value fit; the rest of the line is lost.
    std::string value(116, 'a');
    EXPECT_EQ(readPath(dir, "[DataBase1]=" + value + "bbb\r\n"), dir / value);
    bool ok = false;
    std::string longLine(10000, 'x');
    EXPECT_EQ(readPath(dir, longLine + "\r\n[DataBase1]=z.db\r\n", &ok), dir / "z.db");
    EXPECT_TRUE(ok);
    // A key beyond the 128th character is never seen.
    EXPECT_TRUE(readPath(dir, std::string(120, ' ') + "[DataBase1]=z.db\r\n").empty());
}

TEST(ReadConfigFile, FailuresReturnFalse)
{
    TempFolder dir;
    core::Mdl_Start m(dir.path());
    EXPECT_FALSE(m.ReadConfigFile());
    EXPECT_EQ(m.ConfigFilePath, dir / core::Mdl_Start::kConfigFileName);
}

TEST(ReadConfigFile, StrayBytesAndAByteOrderMarkAreNoReasonToRefuseTheFile)
{
    TempFolder dir;
    bool ok = false;
    // An invalid code page 932 byte in a comment, and a UTF-8 byte order mark before the key.
    EXPECT_EQ(readPath(dir, "# \x81\x20 \xFF\r\n[DataBase1]=zuvemo.db\r\n", &ok), dir / "zuvemo.db");
    EXPECT_TRUE(ok);
    EXPECT_EQ(readPath(dir, "\xEF\xBB\xBF[DataBase1]=zuvemo.db\r\n", &ok), dir / "zuvemo.db");
    EXPECT_TRUE(ok);
    // Only at the very start is it a mark: later, the three bytes are text of their line.
    EXPECT_EQ(readPath(dir, "\xEF\xBB\xBF# c\r\n[DataBase1]=a.db\r\n"), dir / "a.db");
}

TEST(ReadConfigFile, MessagesOfTheCaller)
{
    EXPECT_EQ(core::Mdl_Start::FileMissingMessage("/p/qen_kanrFile.dsa"),
        "ファイル(/p/qen_kanrFile.dsa)が見当たりません。\r\n管理元にお問い合わせください");
    EXPECT_EQ(core::Mdl_Start::ConnectionRefusedMessage("/p/z.db"),
        "データベースファイル(/p/z.db)が接続を拒否している。\r\n管理元にお問い合わせください");
}
