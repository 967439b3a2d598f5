#include "RawHttpServer.h"
#include "TestSupport.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/TempFiles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zuvemo;
using test::RawHttpServer;
using test::TempFolder;

namespace {

class HttpFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server.Get("/ok", [this](const httplib::Request& req, httplib::Response& res) {
            m_noCache = req.get_header_value("Cache-Control") == "no-cache"
                && req.get_header_value("Pragma") == "no-cache";
            res.set_content("line1\r\nline2\r\n", "text/csv");
        });
        m_server.Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        m_server.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("error page", "text/html");
        });
        m_server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(2 * 1024 * 1024, 'x'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        test::writeFile(m_target, "previous file");
    }
    void TearDown() override
    {
        m_server.stop();
        m_thread.join();
    }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // Only the target itself may remain in the folder: no temporary file survives.
    void expectNoLeftovers()
    {
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.path())) {
            (void)e;
            ++files;
        }
        EXPECT_EQ(files, 1);
    }

    TempFolder m_dir;
    std::filesystem::path m_target = m_dir / "日別.csv";
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    bool m_noCache = false;
};

} // namespace

TEST_F(HttpFixture, SuccessReplacesTheFileAndAsksForNoCachedCopy)
{
    marketdata::CurlDownloader d;
    EXPECT_EQ(d.DownloadToFile(url("/ok?download=csv"), m_target), 0);
    EXPECT_EQ(test::readFile(m_target), "line1\r\nline2\r\n");
    EXPECT_TRUE(m_noCache);
    // The same handle serves the next request.
    EXPECT_EQ(d.DownloadToFile(url("/ok"), m_target), 0);
    expectNoLeftovers();
}

TEST_F(HttpFixture, ErrorStatusesFailAndKeepTheOldFile)
{
    marketdata::CurlDownloader d;
    EXPECT_EQ(d.DownloadToFile(url("/missing"), m_target), 404);
    EXPECT_EQ(d.DownloadToFile(url("/broken"), m_target), 500);
    EXPECT_EQ(test::readFile(m_target), "previous file");
    expectNoLeftovers();
}

TEST_F(HttpFixture, OversizeBodyFails)
{
    marketdata::CurlDownloader::Options options;
    options.maxBytes = 1024 * 1024;
    marketdata::CurlDownloader d(options);
    EXPECT_EQ(d.DownloadToFile(url("/big"), m_target), marketdata::CurlDownloader::kTooLarge);
    EXPECT_EQ(test::readFile(m_target), "previous file");
    expectNoLeftovers();
}

TEST_F(HttpFixture, UnwritableTargetFolderFails)
{
    marketdata::CurlDownloader d;
    EXPECT_NE(d.DownloadToFile(url("/ok"), m_dir / "no-such-folder" / "x.csv"), 0);
}

TEST(Download, ConnectionRefusedFails)
{
    TempFolder dir;
    int port = 0;
    {
        RawHttpServer s([](int) {});
        port = s.port();
    }
    marketdata::CurlDownloader d;
    EXPECT_NE(d.DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/x", dir / "f"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(Download, TruncatedBodyFails)
{
    TempFolder dir;
    test::writeFile(dir / "f", "old");
    RawHttpServer s([](int sock) {
        RawHttpServer::sendAll(
            sock, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n2024年01月05日 only part");
    });
    marketdata::CurlDownloader d;
    EXPECT_NE(d.DownloadToFile(s.url(), dir / "f"), 0);
    EXPECT_EQ(test::readFile(dir / "f"), "old");
}

TEST(Download, ServerThatNeverAnswersTimesOut)
{
    TempFolder dir;
    RawHttpServer s([](int sock) {
        // Hold the connection open, silent, until the client gives up.
        for (int i = 0; i < 100; ++i) {
            pollfd p{sock, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char c;
                if (::recv(sock, &c, 1, 0) <= 0) {
                    return;
                }
            }
        }
    });
    marketdata::CurlDownloader::Options options;
    options.lowSpeedTimeS = 1;
    marketdata::CurlDownloader d(options);
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(d.DownloadToFile(s.url(), dir / "f"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(Download, HundredMegabyteBodyWithoutLengthIsCutAtTheCap)
{
    TempFolder dir;
    RawHttpServer s([](int sock) {
        RawHttpServer::sendAll(sock, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        std::string chunk(1024 * 1024, 'z');
        for (int i = 0; i < 100; ++i) {
            if (!RawHttpServer::sendAll(sock, chunk)) {
                return;
            }
        }
    });
    marketdata::CurlDownloader d;
    EXPECT_EQ(d.DownloadToFile(s.url(), dir / "f"), marketdata::CurlDownloader::kTooLarge);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Download, BodyCutShortWithoutItsLineBreakIsIncomplete)
{
    TempFolder dir;
    // Closed mid-line with no length, and a length that ends inside a number: both look whole
    // to HTTP. An empty body has no date line at all.
    const std::vector<std::string> replies = {
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n2024年01月05日\r\n1301,東証,x,水産,1,2,3,4,409874",
        "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n2024年01月05日\r\n1301,東証,x\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
    };
    for (const auto& reply : replies) {
        test::writeFile(dir / "f", "old");
        RawHttpServer s([&](int sock) { RawHttpServer::sendAll(sock, reply); });
        marketdata::CurlDownloader d;
        EXPECT_EQ(d.DownloadToFile(s.url(), dir / "f"), marketdata::CurlDownloader::kIncomplete) << reply;
        EXPECT_EQ(test::readFile(dir / "f"), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
    // The same reply with its last line ended is whole.
    RawHttpServer s([](int sock) {
        RawHttpServer::sendAll(
            sock, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n2024年01月05日\r\n1301,x\r\n");
    });
    marketdata::CurlDownloader d;
    EXPECT_EQ(d.DownloadToFile(s.url(), dir / "f"), 0);
}

TEST(Download, ADripFeedEndsAtTheTotalDeadlineAndAStopWithinASecond)
{
    TempFolder dir;
    std::atomic<bool> stop{false};
    RawHttpServer s([&](int sock) {
        RawHttpServer::sendAll(sock, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        // One byte every 200 ms: fast enough for the low-speed limit, never done.
        for (int i = 0; i < 100 && RawHttpServer::sendAll(sock, "x"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    marketdata::CurlDownloader::Options options;
    options.totalTimeoutMs = 1500;
    options.cancel = &stop;
    marketdata::CurlDownloader d(options);
    auto start = std::chrono::steady_clock::now();
    std::int32_t code = d.DownloadToFile(s.url(), dir / "f");
    EXPECT_TRUE(marketdata::Downloader::isTransportFailure(code)) << code;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    start = std::chrono::steady_clock::now();
    options.totalTimeoutMs = 60000;
    marketdata::CurlDownloader d2(options);
    EXPECT_EQ(d2.DownloadToFile(s.url(), dir / "f"), marketdata::CurlDownloader::kCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    stopper.join();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TempFiles, StaleFilesOfEndedProcessesGoAndLiveOnesStay)
{
    TempFolder dir;
    using marketdata::TempFiles;
    EXPECT_EQ(TempFiles::ownerOf("日別.csv.part-4242-7"), 4242);
    EXPECT_EQ(TempFiles::ownerOf("20240105-1301.csv.ahead-77"), 77);
    EXPECT_EQ(TempFiles::ownerOf("20240105-1301.csv.ahead"), 0);
    EXPECT_EQ(TempFiles::ownerOf("20240105-1301.csv"), -1);
    EXPECT_EQ(TempFiles::ownerOf("ahead.csv"), -1);

    // A child that has ended stands for a run that was killed.
    pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);
    const std::string live = std::to_string(getpid());
    for (const auto& name : {"a.csv.part-" + dead + "-0", "b.csv.ahead-" + dead, std::string("c.csv.ahead"),
             "d.csv.part-" + live + "-3", "e.csv.ahead-" + live, std::string("f.csv")}) {
        test::writeFile(dir / name, "x");
    }
    EXPECT_EQ(TempFiles::removeStale(dir.path()), 3);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(e.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"d.csv.part-" + live + "-3", "e.csv.ahead-" + live, "f.csv"}));

    // A workbook's leftovers in a folder of the user's: only names that start with its own go,
    // with the earlier versions' names that carried no process.
    TempFolder out;
    for (const auto& name : {std::string("x.xlsx.part"), std::string("x.xlsx.part.AbC123"),
             "x.xlsx.part-" + dead + "-0", "x.xlsx.part-" + dead + "-0.XyZ789", "x.xlsx.part-" + live + "-1",
             "y.xlsx.part-" + dead + "-0", std::string("x.xlsx.partial"), std::string("x.xlsx")}) {
        test::writeFile(out / name, "x");
    }
    EXPECT_EQ(TempFiles::removeStaleOf(out / "x.xlsx"), 4);
    left.clear();
    for (const auto& e : std::filesystem::directory_iterator(out.path())) {
        left.push_back(e.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
        (std::vector<std::string>{
            "x.xlsx", "x.xlsx.part-" + live + "-1", "x.xlsx.partial", "y.xlsx.part-" + dead + "-0"}));
    EXPECT_NE(TempFiles::partPath(out / "x.xlsx"), TempFiles::partPath(out / "x.xlsx"));
    EXPECT_EQ(TempFiles::ownerOf(TempFiles::partPath(out / "x.xlsx").filename().string()), getpid());
}
