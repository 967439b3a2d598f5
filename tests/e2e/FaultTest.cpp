#include "ModuleFixture.h"
#include "analysis/CSVMDB.h"
#include "core/DatabaseError.h"
#include "core/TextCodec.h"
#include "export/GrafExcel.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DailyQuoteImport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zuvemo;

namespace {

// A small in-memory file system mounted for one test; the test is skipped where mounting is
// not allowed.
class SmallDisk
{
public:
    SmallDisk(const std::filesystem::path& where, const char* size)
        : m_where(where)
    {
        std::filesystem::create_directories(where);
        std::string options = std::string("size=") + size;
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted) {
            ::umount2(m_where.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return m_mounted; }
    // Fills the disk until at most 'leave' bytes are free.
    void fill(std::uintmax_t leave)
    {
        std::ofstream out(m_where / "filler", std::ios::binary);
        std::string block(4096, 'f');
        while (std::filesystem::space(m_where).available > leave + block.size()
            && out.write(block.data(), block.size())) {
            out.flush();
        }
    }

private:
    std::filesystem::path m_where;
    bool m_mounted = false;
};

std::string bigDailyFile(int stocks, const char* date)
{
    std::string text = std::string(date) + " 全銘柄\r\n";
    for (int i = 0; i < stocks; ++i) {
        text += std::to_string(1000 + i) + ",東証プライム,長い銘柄名の株式会社その" + std::to_string(i)
            + ",情報・通信業,1,2,3,4,5,6\r\n";
    }
    return *core::TextCodec::encodeCp932(text);
}

class Faults : public test::ModuleFixture
{
};

} // namespace

TEST_F(Faults, FullDiskDuringDownloadKeepsTheOldFile)
{
    SmallDisk disk(m_dir / "disk", "256k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small disk is not allowed here";
    }
    httplib::Server server;
    server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(1024 * 1024, 'x'), "text/plain");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread t([&] { server.listen_after_bind(); });
    test::writeFile(m_dir / "disk" / "日別.csv", "yesterday");
    marketdata::CurlDownloader d;
    // Said as a full disk, not as a file the server did not have.
    EXPECT_EQ(
        d.DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/big", m_dir / "disk" / "日別.csv"),
        marketdata::CurlDownloader::kDiskFull);
    EXPECT_EQ(test::readFile(m_dir / "disk" / "日別.csv"), "yesterday");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir / "disk")) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    server.stop();
    t.join();
}

TEST_F(Faults, FullDiskDuringImportAndCompactionKeepsTheDatabase)
{
    SmallDisk disk(m_dir / "disk", "1m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small disk is not allowed here";
    }
    m_module->CloseDatabase();
    core::Schema::createDatabaseFile(
        m_dir / "disk" / "z.db", {"http://h/", "http://m/", ".csv", "20240104"}, std::nullopt);
    core::Mdl_Start m(m_dir / "disk");
    m.DatabasePath = m_dir / "disk" / "z.db";
    ASSERT_TRUE(m.OpenDatabase());
    test::writeFile(m_dir / "small.csv", bigDailyFile(50, "2024年01月04日"));
    ASSERT_TRUE(marketdata::CreateMDB(m, m_dir / "small.csv", "2024-01-04"));
    disk.fill(16 * 1024);
    test::writeFile(m_dir / "big.csv", bigDailyFile(20000, "2024年01月05日"));
    EXPECT_FALSE(marketdata::CreateMDB(m, m_dir / "big.csv", "2024-01-05"));
    m.CloseDatabase();

    auto check = [&] {
        auto c = core::Connection::open(m_dir / "disk" / "z.db");
        EXPECT_EQ(c->openRecordset("PRAGMA integrity_check")->field(0).toText(), "ok");
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), 50);
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Url")->field("kabuHdate").toText(), "20240104");
    };
    check();
    // No room for the compacted copy: the compaction fails and the database stays.
    std::string error;
    EXPECT_FALSE(core::CompactDatabaseFile(m_dir / "disk" / "z.db", &error));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "disk" / "z_temp.db"));
    check();
}

TEST_F(Faults, FullDiskAtOpenIsSaidAsAFullDisk)
{
    SmallDisk disk(m_dir / "disk", "1m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small disk is not allowed here";
    }
    const std::string cli = test::cliCommand(m_dir / "disk" / "home");
    ASSERT_EQ(test::runCommand(cli
                  + " init --daily-url http://127.0.0.1:1/d/ --history-url http://127.0.0.1:1/h/ "
                    ">/dev/null 2>&1"),
        0);
    disk.fill(0);
    const std::string before = test::readFile(m_dir / "disk" / "home" / "zuvemo.db");
    for (const char* command : {"find", "screen", "refresh"}) {
        std::string out;
        EXPECT_EQ(test::runCommand(cli + " " + command + " 2>&1", &out), 1) << command;
        EXPECT_EQ(out.rfind(core::DatabaseError::userText(SQLITE_FULL), 0), 0u) << command << ": " << out;
        EXPECT_EQ(out.find("接続を拒否"), std::string::npos) << out;
    }
    EXPECT_EQ(test::readFile(m_dir / "disk" / "home" / "zuvemo.db"), before);
}

TEST_F(Faults, FullDiskDuringWorkbookWritingLeavesNoPartialFile)
{
    SmallDisk disk(m_dir / "disk", "64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small disk is not allowed here";
    }
    std::filesystem::copy_file(test::binFolder() / "雛型EXCEL.xltx", m_dir / "雛型EXCEL.xltx");
    std::string text = "h\r\nh\r\n";
    for (int i = 0; i < 250; ++i) {
        text += "2023-" + std::string(i / 28 + 1 < 10 ? "0" : "") + std::to_string(i / 28 + 1) + "-"
            + (i % 28 + 1 < 10 ? "0" : "") + std::to_string(i % 28 + 1) + ",1,1,1,100,100,100\r\n";
    }
    test::writeFile(m_dir / "h.csv", text);
    analysis::CSVMDB(*m_module, m_dir / "h.csv", 1, analysis::readBounds(*m_module));
    disk.fill(4 * 1024);
    exporting::NoOpener opener;
    exporting::GrafExcel g(*m_module, opener);
    g.setOutput(m_dir / "disk" / "chart.xlsx");
    EXPECT_TRUE(g.run("1301", "x").empty());
    EXPECT_NE(m_messages.recorder().boxes.back().text.find("を書き込めません。"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "disk" / "chart.xlsx"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "disk" / "chart.xlsx.part"));
}

TEST_F(Faults, ReadOnlyProgramFolderIsRefusedWithoutDamage)
{
    m_module->CloseDatabase();
    std::string before = test::readFile(m_dir / "zuvemo.db");
    std::filesystem::permissions(m_dir.path(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec
            | std::filesystem::perms::group_read | std::filesystem::perms::group_exec
            | std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        core::Mdl_Start m(m_dir.path());
        if (!m.ReadConfigFile()) {
            _exit(4);
        }
        _exit(m.OpenDatabase() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::permissions(
        m_dir.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    if (WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "cannot drop privileges here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::readFile(m_dir / "zuvemo.db"), before);
}
