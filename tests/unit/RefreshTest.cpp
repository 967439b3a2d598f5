#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "core/ValueRules.h"
#include "marketdata/CsvFields.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"

#include <chrono>

using namespace zuvemo;
using namespace std::chrono;
using Outcome = marketdata::MarketDataRefresh::Outcome;

namespace {

constexpr year_month_day kComingOfAgeDay{year{2024}, month{1}, day{8}};

class Refresh : public test::ModuleFixture
{
protected:
    marketdata::MarketDataRefresh::Result run(marketdata::Downloader& downloader,
        year_month_day today = kComingOfAgeDay, std::function<bool(const std::string&)> acceptSmaller = {})
    {
        core::FixedClock clock(today);
        marketdata::MarketDataRefresh refresh(*m_module, downloader, clock);
        marketdata::RefreshHooks hooks;
        hooks.acceptSmaller = std::move(acceptSmaller);
        hooks.setDateLabel = [this](const std::string& caption) { m_label = caption; };
        hooks.refillStockLists = [this] { m_refills++; };
        return refresh.run(hooks);
    }
    std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        for (const auto& b : m_messages.recorder().boxes) {
            out.push_back(b.text);
        }
        return out;
    }
    void setDailyUrl(const std::string& url) { db().execute(" UPDATE Table_Url SET kabuHUrl='" + url + "'"); }

    std::string m_label = "<unset>";
    int m_refills = 0;
};

} // namespace

TEST_F(Refresh, LoadsTheNewestTradingDayFromTheSampleServer)
{
    sample::SampleServer::Options options;
    options.market.stocks = 300;
    options.market.days = 30;
    options.market.today = kComingOfAgeDay;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    setDailyUrl(server.dailyBaseUrl());
    std::filesystem::create_directories(m_dir / "csv" / "sub");
    test::writeFile(m_dir / "csv" / "20240104-1301.csv", "old history");
    db().execute(" INSERT INTO WorkKocyu( Wmgcode,Wmgmei) VALUES ( '1301', 'x')");
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1300', 'x')");
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '0001', 'gone')");
    db().execute(" UPDATE Table_KOCYU SET WzuvemoG=77 WHERE Wmgcode='0001'");

    marketdata::CurlDownloader downloader;
    auto result = run(downloader);
    ASSERT_EQ(result.outcome, Outcome::Loaded) << (messages().empty() ? "" : messages()[0]);
    EXPECT_EQ(result.tradingDate, "2024-01-05");
    EXPECT_EQ(m_label, "2024-01-05 状況");
    EXPECT_EQ(m_refills, 1);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240105");
    EXPECT_TRUE(messages().empty());

    // Table_Code holds exactly the stocks that had all six values that day, as the file says.
    auto file = *core::TextCodec::decodeCp932(*server.market().dailyFile(year_month_day{2024y, January, 5d}));
    int traded = 0;
    std::size_t pos = file.find("\r\n") + 2;
    while (pos < file.size()) {
        std::size_t end = file.find("\r\n", pos);
        auto f = marketdata::splitFields(file.substr(pos, end - pos), 10);
        pos = end + 2;
        bool complete
            = f[4] != "-" && f[5] != "-" && f[6] != "-" && f[7] != "-" && f[8] != "-" && f[9] != "-";
        auto rs = db().openRecordset(" SELECT * FROM Table_Code WHERE MgCode='" + core::SqlText(f[0]) + "'");
        ASSERT_EQ(rs->recordCount(), complete ? 1 : 0) << f[0];
        if (complete) {
            ++traded;
            EXPECT_EQ(rs->field("MgMei").toText(), f[2]);
            EXPECT_EQ(rs->field("Wecost").toText(), f[7]);
            EXPECT_EQ(rs->field("Wbcost").toText(), f[9]);
            EXPECT_EQ(rs->field("Achk").toText(), " ");
        }
    }
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), traded);
    EXPECT_GT(traded, 250);

    EXPECT_FALSE(std::filesystem::exists(m_dir / "csv"));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "zip" / "日別.csv"));
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 0);
    EXPECT_EQ(scalar(" SELECT WzuvemoG FROM Table_KOCYU WHERE Wmgcode='1300'"),
        scalar(" SELECT Wecost FROM Table_Code WHERE MgCode='1300'"));
    EXPECT_EQ(scalar(" SELECT WzuvemoG FROM Table_KOCYU WHERE Wmgcode='0001'"), "77");
}

TEST_F(Refresh, TriesTodayThenEachEarlierDay)
{
    test::FakeDownloader fake;
    fake.bodies["http://127.0.0.1:1/d/2024-01-05?download=csv"]
        = *core::TextCodec::encodeCp932("2024年01月05日\r\n1301,M,N,I,1,2,3,4,5,6\r\n");
    // Saturday's address answers with Friday's file: the date check refuses it.
    fake.bodies["http://127.0.0.1:1/d/2024-01-06?download=csv"]
        = fake.bodies["http://127.0.0.1:1/d/2024-01-05?download=csv"];
    auto result = run(fake);
    ASSERT_EQ(result.outcome, Outcome::Loaded);
    EXPECT_EQ(fake.requested,
        (std::vector<std::string>{"http://127.0.0.1:1/d/2024-01-08?download=csv",
            "http://127.0.0.1:1/d/2024-01-07?download=csv", "http://127.0.0.1:1/d/2024-01-06?download=csv",
            "http://127.0.0.1:1/d/2024-01-05?download=csv"}));
}

TEST_F(Refresh, ErrorPagesEverywhereFindNothingAfter101Attempts)
{
    db().execute("INSERT INTO Table_Code(MgCode) VALUES ('1301')");
    db().execute(" UPDATE Table_Url SET kabuHdate=''");
    test::FakeDownloader fake;
    fake.fallback = [](const std::string&) { return std::string("<html>maintenance</html>"); };
    auto result = run(fake);
    EXPECT_EQ(result.outcome, Outcome::NotFound);
    EXPECT_EQ(fake.requested.size(), 101u);
    EXPECT_EQ(fake.requested.back(), "http://127.0.0.1:1/d/2023-09-30?download=csv");
    EXPECT_EQ(messages(), (std::vector<std::string>{"読込してファイルダウンロードできませんでした。"}));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 1);
    EXPECT_EQ(m_label, "<unset>");
}

TEST_F(Refresh, FailedImportShowsTheDateOfTheListKeptAndChangesNothing)
{
    db().execute("INSERT INTO Table_Code(MgCode, Achk, Cchk, Dchk) VALUES ('1301', '買', '売', '取得')");
    db().execute("INSERT INTO WorkKocyu(Wmgcode, Wmgmei) VALUES ('1301', 'a')");
    std::filesystem::create_directories(m_dir / "csv");
    test::writeFile(m_dir / "csv" / "2024-01-04-1301.csv", "the day's history");
    test::FakeDownloader fake;
    fake.bodies["http://127.0.0.1:1/d/2024-01-08?download=csv"] = *core::TextCodec::encodeCp932(
        "2024年01月08日\r\n1401,M,N,I,1,2,3,4,5,6\r\n1401,M,N,I,1,2,3,4,5,6\r\n");
    auto result = run(fake);
    EXPECT_EQ(result.outcome, Outcome::ImportFailed);
    EXPECT_EQ(result.tradingDate, "2024-01-04");
    EXPECT_EQ(m_label, "2024-01-04 状況");
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"データベース書込みに失敗しました。\r\n3 行目: コードが重複しています"}));
    EXPECT_EQ(scalar(" SELECT MgCode FROM Table_Code"), "1301");
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240104");
    // The day's screening, its histories and the candidates are kept with the list.
    EXPECT_EQ(scalar(" SELECT Achk || Cchk || Dchk FROM Table_Code"), "買売取得");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "csv" / "2024-01-04-1301.csv"));
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 1);
}

TEST_F(Refresh, UnusableAddressesDownloadNothing)
{
    for (const std::string url : {"", "   ", "HTTP://x/", "ftp://x/", "htt://x/"}) {
        setDailyUrl(url);
        test::FakeDownloader fake;
        EXPECT_EQ(run(fake).outcome, Outcome::NoAddress) << url;
        EXPECT_TRUE(fake.requested.empty()) << url;
    }
    db().execute(" DELETE FROM Table_Url");
    test::FakeDownloader fake;
    EXPECT_EQ(run(fake).outcome, Outcome::NoAddress);
    for (const auto& m : messages()) {
        EXPECT_EQ(m, "取得するURLが見当たりません。");
    }
    EXPECT_EQ(messages().size(), 6u);
}

TEST_F(Refresh, LeadingBlanksAndTheSecureSchemeAreAccepted)
{
    db().execute(" UPDATE Table_Url SET kabuHUrl='  https://example.invalid/d/', kabuSi=''");
    test::FakeDownloader fake;
    fake.fallback = [](const std::string&) {
        return *core::TextCodec::encodeCp932("2024年01月08日\r\n1301,M,N,I,1,2,3,4,5,6\r\n");
    };
    EXPECT_EQ(run(fake).outcome, Outcome::Loaded);
    EXPECT_EQ(fake.requested.front(), "https://example.invalid/d/2024-01-08?download=csv");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "zip" / "日別"));
}

namespace {

std::string dailyList(const std::string& dateLine, int stocks)
{
    std::string text = dateLine + "\r\n";
    for (int i = 0; i < stocks; ++i) {
        text += std::to_string(2000 + i) + ",M,N,I,1,2,3,4,5,6\r\n";
    }
    return *core::TextCodec::encodeCp932(text);
}

} // namespace

TEST_F(Refresh, AListCutShortIsRefusedUnlessTheUserAcceptsIt)
{
    for (int i = 0; i < 20; ++i) {
        db().execute(
            "INSERT INTO Table_Code(MgCode, Achk) VALUES ('" + std::to_string(1000 + i) + "', '買')");
    }
    std::filesystem::create_directories(m_dir / "csv");
    const std::string url = "http://127.0.0.1:1/d/2024-01-08?download=csv";
    test::FakeDownloader fake;

    // 17 of 20 is under 90 %: refused, and nothing of the day held is touched.
    fake.bodies[url] = dailyList("2024年01月08日", 17);
    auto result = run(fake);
    EXPECT_EQ(result.outcome, Outcome::Incomplete);
    EXPECT_EQ(result.tradingDate, "2024-01-04");
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"銘柄一覧が途中で切れている可能性があります（17 銘柄、前回 20 銘柄）。"}));
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Achk='買'"), 20);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240104");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "csv"));
    EXPECT_EQ(m_label, "<unset>");

    // Asked and declined: no second box.
    std::vector<std::string> questions;
    auto answer = [&](bool yes) {
        return [&questions, yes](const std::string& q) {
            questions.push_back(q);
            return yes;
        };
    };
    EXPECT_EQ(run(fake, kComingOfAgeDay, answer(false)).outcome, Outcome::Incomplete);
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(questions,
        (std::vector<std::string>{"銘柄一覧が途中で切れている可能性があります（17 銘柄、前回 20 銘柄）。"}));

    // A list with only its date line is refused even when smaller lists are accepted.
    fake.bodies[url] = dailyList("2024年01月08日", 0);
    EXPECT_EQ(run(fake, kComingOfAgeDay, answer(true)).outcome, Outcome::Incomplete);
    EXPECT_EQ(messages().back(), "銘柄一覧に銘柄がありません。");
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 20);

    // Accepted, the smaller list loads.
    fake.bodies[url] = dailyList("2024年01月08日", 17);
    EXPECT_EQ(run(fake, kComingOfAgeDay, answer(true)).outcome, Outcome::Loaded);
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 17);
}

TEST_F(Refresh, NinetyPercentOfTheListHeldOrNoListHeldLoadsWithoutAQuestion)
{
    const std::string url = "http://127.0.0.1:1/d/2024-01-08?download=csv";
    test::FakeDownloader fake;
    fake.bodies[url] = dailyList("2024年01月08日", 1);
    auto never = [](const std::string&) -> bool { throw std::logic_error("asked"); };
    ASSERT_EQ(run(fake, kComingOfAgeDay, never).outcome, Outcome::Loaded);

    for (int i = 0; i < 19; ++i) {
        db().execute("INSERT INTO Table_Code(MgCode) VALUES ('" + std::to_string(1000 + i) + "')");
    }
    db().execute(" UPDATE Table_Url SET kabuHdate='20240105'");
    fake.bodies[url] = dailyList("2024年01月08日", 18);
    EXPECT_EQ(run(fake, kComingOfAgeDay, never).outcome, Outcome::Loaded);
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 18);
    EXPECT_TRUE(messages().empty());
}

TEST_F(Refresh, NeverLoadsAListOlderThanTheOneHeld)
{
    db().execute(" UPDATE Table_Url SET kabuHdate='20240105'");
    db().execute("INSERT INTO Table_Code(MgCode, Achk, Cchk, Dchk) VALUES ('1301', '買', '売', '取得')");
    db().execute("INSERT INTO WorkKocyu(Wmgcode, Wmgmei) VALUES ('1301', 'a')");
    std::filesystem::create_directories(m_dir / "csv");
    test::writeFile(m_dir / "csv" / "2024-01-05-1301.csv", "the day's history");
    test::FakeDownloader fake;
    // Today's list fails once; the days before it are all there. A failed transfer of a day that
    // may hold a newer list is no quiet day: said, and nothing changes.
    fake.codes["http://127.0.0.1:1/d/2024-01-08?download=csv"] = 503;
    for (const char* d : {"2024-01-05", "2024-01-04"}) {
        fake.bodies[std::string("http://127.0.0.1:1/d/") + d + "?download=csv"]
            = dailyList(std::string(d).substr(0, 4) + "年" + std::string(d).substr(5, 2) + "月"
                    + std::string(d).substr(8, 2) + "日",
                1);
    }
    auto result = run(fake);
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.tradingDate, "2024-01-05");
    EXPECT_EQ(fake.requested,
        (std::vector<std::string>{"http://127.0.0.1:1/d/2024-01-08?download=csv",
            "http://127.0.0.1:1/d/2024-01-07?download=csv", "http://127.0.0.1:1/d/2024-01-06?download=csv"}));
    EXPECT_EQ(messages(),
        (std::vector<std::string>{
            "最新の銘柄一覧を取得できませんでした（2024-01-08: サーバーのエラー 503）。"}));
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240105");
    EXPECT_EQ(scalar(" SELECT Achk || Cchk || Dchk FROM Table_Code"), "買売取得");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "csv" / "2024-01-05-1301.csv"));
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 1);
    EXPECT_EQ(m_label, "<unset>");

    // Cut and timed out alike; "not found" (a weekend) stays a quiet day.
    for (std::int32_t code : {marketdata::CurlDownloader::kIncomplete, 28}) {
        fake.requested.clear();
        m_messages.recorder().boxes.clear();
        fake.codes["http://127.0.0.1:1/d/2024-01-08?download=csv"] = code;
        EXPECT_EQ(run(fake).outcome, Outcome::Failed) << code;
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_NE(messages()[0].find(code == 28 ? "時間内に応答がありません" : "応答が途中で切れました"),
            std::string::npos);
    }
    fake.codes["http://127.0.0.1:1/d/2024-01-08?download=csv"] = 404;
    m_messages.recorder().boxes.clear();
    EXPECT_EQ(run(fake).outcome, Outcome::UpToDate);
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"新しい銘柄一覧はまだありません（読み込み済み: 2024-01-05）。"}));
    EXPECT_EQ(scalar(" SELECT Achk || Cchk || Dchk FROM Table_Code"), "買売取得");

    // A clock behind the day held asks for nothing.
    test::FakeDownloader none;
    EXPECT_EQ(run(none, year_month_day{2024y, January, 5d}).outcome, Outcome::UpToDate);
    EXPECT_TRUE(none.requested.empty());
}

TEST_F(Refresh, AFullDiskEndsTheWalkWithItsOwnMessage)
{
    test::FakeDownloader fake;
    fake.codes["http://127.0.0.1:1/d/2024-01-08?download=csv"] = marketdata::CurlDownloader::kDiskFull;
    EXPECT_EQ(run(fake).outcome, Outcome::Failed);
    EXPECT_EQ(fake.requested.size(), 1u);
    EXPECT_EQ(messages(), (std::vector<std::string>{marketdata::CurlDownloader::kDiskFullMessage}));
}

TEST_F(Refresh, WeekendNotFoundsDoNotMakeAnUnreachableServerReachable)
{
    db().execute(" UPDATE Table_Url SET kabuHdate=''");
    test::FakeDownloader fake;
    for (const char* d : {"2024-01-08", "2024-01-05", "2024-01-04"}) {
        fake.codes[std::string("http://127.0.0.1:1/d/") + d + "?download=csv"] = 28; // timed out
    }
    EXPECT_EQ(run(fake).outcome, Outcome::NotFound);
    EXPECT_EQ(fake.requested.size(), 5u);
}
