// The monthly files of J-Quants: the streams that read them, a file read by its header, and
// fills of the sample market through the files against fills a day at a time, with the file
// host misbehaving in every way a file can fail.
#include "FaultProxy.h"
#include "RawHttpServer.h"
#include "SampleServer.h"
#include "TestSupport.h"
#include "analysis/CSVMDB.h"
#include "analysis/HistoryFile.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/Statement.h"
#include "marketdata/CsvStream.h"
#include "marketdata/GzipInflater.h"
#include "marketdata/jquants/BulkFileReader.h"
#include "marketdata/jquants/BulkFill.h"
#include "marketdata/jquants/JQuantsAnswer.h"
#include "marketdata/jquants/JQuantsClient.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/StoreDownloader.h"
#include "marketdata/jquants/TopixHistory.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <map>
#include <mutex>
#include <thread>
#include <zlib.h>

using namespace zuvemo;
using namespace std::chrono;
using marketdata::BulkFileReader;
using marketdata::CsvStream;
using marketdata::GzipInflater;
using marketdata::JQuantsClient;
using marketdata::JQuantsRefresh;
using nlohmann::json;

namespace {

std::string gzip(const std::string& text)
{
    struct Deflater
    {
        z_stream z{};
        Deflater() { deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY); }
        ~Deflater() { deflateEnd(&z); }
    } d;
    std::string out(deflateBound(&d.z, static_cast<uLong>(text.size())) + 64, '\0');
    d.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    d.z.avail_in = static_cast<uInt>(text.size());
    d.z.next_out = reinterpret_cast<Bytef*>(out.data());
    d.z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&d.z, Z_FINISH), Z_STREAM_END);
    out.resize(d.z.total_out);
    return out;
}

std::string gunzip(const std::string& packed)
{
    std::string out;
    GzipInflater inflater(
        [&out](std::string_view piece) {
            out.append(piece);
            return true;
        },
        1ll << 30);
    EXPECT_TRUE(inflater.feed(packed.data(), packed.size()));
    EXPECT_TRUE(inflater.complete());
    return out;
}

// Every record of text fed in pieces of step bytes, joined "a|b|c" a line; or the fault.
std::string records(const std::string& text, std::size_t step)
{
    std::string out;
    CsvStream csv([&out](std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += (i ? "|" : "") + fields[i];
        }
        out += "\n";
        return true;
    });
    for (std::size_t at = 0; at < text.size(); at += step) {
        if (!csv.feed(std::string_view(text).substr(at, step))) {
            return "fault: " + csv.fault();
        }
    }
    return csv.finish() ? out : "fault: " + csv.fault();
}

// Each line of a CSV changed by edit (the header is line 0).
std::string eachLine(
    const std::string& text, const std::function<std::string(std::size_t, std::string)>& edit)
{
    std::string out;
    std::size_t n = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto end = text.find('\n', at);
        out += edit(n++, text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// A file's text read whole: its days' rows, or its fault.
std::string readAll(BulkFileReader::Kind kind, const std::string& month, const std::string& text)
{
    BulkFileReader reader(kind, month);
    if (!reader.feed(text) || !reader.finish()) {
        return "fault: " + reader.fault();
    }
    json all = json::object();
    for (const auto& day : reader.days()) {
        all[day] = reader.dayRows(day);
    }
    return all.dump();
}

} // namespace

TEST(BulkFiles, CsvAndGzipStreamsReadTheSameInAnyPiecesAndRefuseBrokenText)
{
    const std::string text = "\xEF\xBB\xBF"
                             "Date,Name,Note\r\n"
                             "2024-03-01,\"A, Inc.\",\"said \"\"hi\"\"\"\r\n"
                             "\r\n"
                             "2024-03-04,\"two\nlines\",\n"
                             "2024-03-05,x,last";
    const std::string expected = "Date|Name|Note\n2024-03-01|A, Inc.|said \"hi\"\n2024-03-04|two\nlines|\n"
                                 "2024-03-05|x|last\n";
    for (std::size_t step : {1u, 2u, 3u, 7u, 1000u}) {
        EXPECT_EQ(records(text, step), expected) << step;
    }
    // Bytes that only begin like a byte order mark are text.
    EXPECT_EQ(records("\xEF\xBB"
                      "x,y\n",
                  1),
        "\xEF\xBB"
        "x|y\n");
    for (const auto& [bad, fault] :
        std::vector<std::pair<std::string, std::string>>{{"a,\"open\n", "引用符が閉じていない列があります"},
            {"a,\"x\"y\n", "引用符の後に文字がある列があります"},
            {"a,b\"c\n", "引用符の位置が正しくない列があります"},
            {"a,b\rc\n", "行の終わりが正しくありません"},
            {"a," + std::string(CsvStream::kMaxFieldBytes + 1, 'x') + "\n", "長すぎる列があります"}}) {
        EXPECT_EQ(records(bad, 3), "fault: " + fault) << bad;
    }

    // gzip in any pieces, two members as one stream; a cut, damaged or swollen one is refused.
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += std::to_string(i * 7919 % 10007) + ",";
    }
    const std::string packed = gzip(big) + gzip("tail");
    for (std::size_t step : {std::size_t{1}, std::size_t{13}, std::size_t{4096}, packed.size()}) {
        std::string out;
        GzipInflater inflater(
            [&out](std::string_view piece) {
                out.append(piece);
                return true;
            },
            1 << 20);
        for (std::size_t at = 0; at < packed.size(); at += step) {
            ASSERT_TRUE(inflater.feed(packed.data() + at, std::min(step, packed.size() - at)));
        }
        EXPECT_TRUE(inflater.complete());
        EXPECT_EQ(out, big + "tail");
    }
    auto inflate = [](const std::string& bytes, std::int64_t max) {
        GzipInflater inflater([](std::string_view) { return true; }, max);
        inflater.feed(bytes.data(), bytes.size());
        return std::pair(inflater.complete(), inflater.fault());
    };
    EXPECT_EQ(
        inflate(packed.substr(0, packed.size() / 2), 1 << 20), std::pair(false, GzipInflater::Fault::None));
    EXPECT_EQ(inflate(gzip(big).substr(0, gzip(big).size() - 3), 1 << 20),
        std::pair(false, GzipInflater::Fault::None)); // its length and check sum cut off
    EXPECT_EQ(inflate("<html>no</html>", 1 << 20), std::pair(false, GzipInflater::Fault::Damaged));
    EXPECT_EQ(inflate(gzip(big) + "<html>", 1 << 20), std::pair(false, GzipInflater::Fault::Damaged));
    EXPECT_EQ(inflate(gzip(big), 1000), std::pair(false, GzipInflater::Fault::TooLarge));
}

TEST(BulkFiles, AFileIsReadByItsHeaderAndRefusedWholeForAMissingColumnAShortRowOrAnotherMonth)
{
    using Kind = BulkFileReader::Kind;
    const std::string plain = "Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor,AdjO,AdjH,AdjL,AdjC,AdjVo\n"
                              "2024-03-01,13010,100.0,110.0,90.0,105.5,0,0,1000.0,105000.0,1.0,100.0,110.0,"
                              "90.0,105.5,1000.0\n"
                              "2024-03-01,13020,,,,,0,0,,,1.0,,,,,\n"
                              "2024-03-04,13010,101.0,111.0,91.0,106.0,0,0,2000.0,212000.0,1.0,101.0,111.0,"
                              "91.0,106.0,2000.0\n";
    const std::string rows = readAll(Kind::Bars, "2024-03", plain);
    ASSERT_EQ(rows.rfind("fault", 0), std::string::npos) << rows;
    const auto parsed = json::parse(rows);
    // As the one-day answer: numbers, null for nothing, texts for the texts.
    EXPECT_EQ(parsed["2024-03-01"][0]["C"], 105.5);
    EXPECT_TRUE(parsed["2024-03-01"][1]["O"].is_null());
    EXPECT_EQ(parsed["2024-03-01"][0]["UL"], "0");
    EXPECT_TRUE(marketdata::JQuantsAnswer::day("2024-03-01", parsed["2024-03-01"]).ok);

    // Columns in another order, more columns, a BOM, CR LF and quotes: the same rows.
    std::string reordered
        = "\xEF\xBB\xBF"
          "Code,Extra,AdjVo,AdjC,AdjL,AdjH,AdjO,AdjFactor,Va,Vo,LL,UL,C,L,H,O,Date,MktCap\r\n";
    for (std::size_t at = plain.find('\n') + 1; at < plain.size();) {
        const auto end = plain.find('\n', at);
        std::vector<std::string> f;
        std::string line = plain.substr(at, end - at) + ",";
        for (std::size_t p = 0, c; (c = line.find(',', p)) != std::string::npos; p = c + 1) {
            f.push_back(line.substr(p, c - p));
        }
        at = end + 1;
        reordered += "\"" + f[1] + "\",\"x,\"\"y\"\"\"";
        for (int i = 15; i >= 2; --i) {
            reordered += "," + f[static_cast<std::size_t>(i)];
        }
        reordered += "," + f[0] + ",123\r\n";
    }
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", reordered), rows);

    auto without = [&plain](const std::string& from, const std::string& to) {
        std::string t = plain;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    EXPECT_EQ(
        readAll(Kind::Bars, "2024-03", without(",AdjC,", ",AdjX,")), "fault: 必要な列 AdjC がありません");
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", without(",1000.0\n2024-03-01", "\n2024-03-01")),
        "fault: 列の数が見出しと違う行があります（1 行目: 15 列）");
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", without("2024-03-04", "2024-04-01")),
        "fault: ファイルの月（2024-03）でない日付の行があります: \"2024-04-01\"");
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", without("2024-03-04", "2024/03/04")),
        "fault: ファイルの月（2024-03）でない日付の行があります: \"2024/03/04\"");
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", ""), "fault: 見出しがありません");
    // A month of lists: each day's rows by their Date, texts as the day's answer gives them, and
    // a list without a name is left to that answer's own check.
    const std::string lists
        = "Date,Code,CoName,CoNameEn,S17,S17Nm,S33,S33Nm,ScaleCat,Mkt,MktNm\n"
          "2024-03-01,13010,極洋,Kyokuyo,1,食品,0050,水産・農林業,TOPIX Small 1,0111,プライム\n"
          "2024-03-04,13010,極洋,Kyokuyo,1,食品,0050,水産・農林業,TOPIX Small 1,0111,プライム\n"
          "2024-03-04,13020,,,1,食品,0050,水産・農林業,,0112,スタンダード\n";
    const auto listed = json::parse(readAll(Kind::Master, "2024-03", lists));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed["2024-03-04"][0]["S33"], "0050");
    EXPECT_EQ(listed["2024-03-04"][0]["MktNm"], "プライム");
    std::string fault;
    EXPECT_TRUE(marketdata::ListingHistory::snapshotOf(listed["2024-03-01"], &fault)) << fault;
    EXPECT_FALSE(marketdata::ListingHistory::snapshotOf(listed["2024-03-04"], &fault));
    EXPECT_EQ(
        readAll(Kind::Master, "2024-03", "Code,CoName\n13010,極洋\n"), "fault: 必要な列 Date がありません");
    // Text that is no UTF-8 (a file written in Shift_JIS, say) is refused as its answer would be,
    // in a column read or passed over, a character cut at the end, or one split between pieces.
    EXPECT_EQ(
        readAll(Kind::Filings, "2024-03", "DiscDate,Code,DiscNo,DocType\n2024-03-01,13010,1,\x8a\x94\n"),
        "fault: UTF-8 でない文字があります");
    auto noted = [&plain](const std::string& note) {
        return eachLine(plain, [&note](std::size_t n, const std::string& line) {
            return line + (n == 0 ? ",Note" : "," + note) + "\n";
        });
    };
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", noted("\x8a\x94")), "fault: UTF-8 でない文字があります");
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", plain + "\xE6\x97"), "fault: UTF-8 でない文字があります");
    {
        const std::string withName = noted("日立");
        for (std::size_t step : {1u, 2u, 3u, 4096u}) {
            BulkFileReader reader(Kind::Bars, "2024-03");
            bool fed = true;
            for (std::size_t at = 0; at < withName.size() && fed; at += step) {
                fed = reader.feed(std::string_view(withName).substr(at, step));
            }
            EXPECT_TRUE(fed && reader.finish()) << step << " " << reader.fault();
        }
    }
    // A day of more rows than a day can hold is refused as it comes, before the month is in memory.
    {
        BulkFileReader reader(Kind::Bars, "2024-03", 3);
        std::string more = plain;
        for (int i = 0; i < 1000000 && reader.fault().empty(); ++i) {
            const std::string row = "2024-03-01," + std::to_string(20000 + i)
                + "0,100.0,110.0,90.0,105.5,0,0,1000.0,105000.0,1.0,100.0,110.0,90.0,105.5,1000.0\n";
            reader.feed(i == 0 ? plain + row : row);
        }
        EXPECT_EQ(reader.fault(), "2024-03-01 の行が多すぎます（3 行まで）");
        EXPECT_EQ(reader.rows(), 5u); // the three before, and no row past the first one too many
    }
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", without("Code,O", "Code,Code")),
        "fault: 見出しに同じ列が 2 度あります: \"Code\"");
    // A file of the disclosures read as bars, and bars read as disclosures.
    EXPECT_EQ(readAll(Kind::Bars, "2024-03", "DiscDate,Code,DiscNo,DocType\n2024-03-01,13010,1,FY\n"),
        "fault: 必要な列 Date がありません");
    EXPECT_EQ(readAll(Kind::Filings, "2024-03", plain), "fault: 必要な列 DiscDate がありません");
    // A price written as text is kept as text, which the day's own check refuses.
    const auto text = json::parse(readAll(Kind::Bars, "2024-03", without("105.5,0", "1O5.5,0")));
    EXPECT_EQ(marketdata::JQuantsAnswer::day("2024-03-01", text["2024-03-01"]).fault,
        "数値でない C があります: \"1O5.5\"");

    EXPECT_EQ(marketdata::BulkFill::monthOfKey(
                  "equities/bars/daily/historical/2025/equities_bars_daily_202501.csv.gz"),
        "2025-01");
    EXPECT_EQ(marketdata::BulkFill::monthOfKey(
                  "equities/bars/daily/daily/2025/equities_bars_daily_20250107.csv.gz"),
        "");
    EXPECT_EQ(marketdata::BulkFill::monthOfKey("x_202513.csv.gz"), "");
}

namespace {

constexpr year_month_day kToday{2026y, December, 8d};

std::unique_ptr<sample::SampleServer> sampleServer(
    int stocks, int days, const std::function<void(sample::JQuantsApi::Options&)>& api = {})
{
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.days = days;
    options.market.today = kToday;
    options.jquants = true;
    if (api) {
        api(options.api);
    }
    auto server = std::make_unique<sample::SampleServer>(options);
    return server->start(0) > 0 ? std::move(server) : nullptr;
}

JQuantsClient::Options clientAt(const std::string& url)
{
    JQuantsClient::Options options;
    options.baseUrl = url;
    options.apiKey = "sample-key";
    options.requestsPerMinute = 0;
    options.rateLimitWait = milliseconds(20);
    options.serverErrorWait = milliseconds(10);
    options.totalTimeoutMs = 1500;
    return options;
}

JQuantsRefresh::Result fill(const std::filesystem::path& dir, const std::string& url, int days,
    const JQuantsRefresh::FileProgress& files = {}, const std::string& plan = "light")
{
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.plan = plan;
    source.days = days;
    const core::FixedClock clock(kToday);
    JQuantsRefresh refresh(dir, source, clientAt(url), clock);
    refresh.setFileProgress(files);
    return refresh.run("", dir / "list.csv");
}

// What a fill stored: every bar, the days marked, every filing and the disclosure days marked.
std::string stored(const std::filesystem::path& dir)
{
    auto c = core::Connection::open(dir / marketdata::PriceStore::kFileName);
    std::string out;
    for (const char* sql : {"SELECT * FROM Table_Bar ORDER BY BarCode, BarDate",
             "SELECT * FROM Table_StoredDay ORDER BY DayDate", "SELECT * FROM Table_Filing ORDER BY 1, 2, 3",
             "SELECT * FROM Table_FilingDay ORDER BY DayDate", "SELECT * FROM Table_Refetch"}) {
        out += std::string(sql) + "\n";
        for (auto rs = c->openRecordset(sql); !rs->isEof(); rs->moveNext()) {
            for (int i = 0; i < rs->columnCount(); ++i) {
                out += rs->field(i).toText() + "|";
            }
            out += "\n";
        }
    }
    return out;
}

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(BulkFiles, AFirstFillThroughTheFilesEqualsOneADayAtATimeAndAStoppedOneGoesOnWithoutAWholeMonthAgain)
{
    // Five years of 25 stocks: a split, a letter code, a fund, losses, days without a trade
    // and filings of every kind among them.
    const int days = 5 * 245;
    auto server = sampleServer(25, days + 10);
    auto perDay = sampleServer(25, days + 10, [](auto& api) { api.bulkFiles = false; });
    ASSERT_TRUE(server && perDay);
    test::TempFolder files;
    test::TempFolder daily;
    const auto started = steady_clock::now();
    auto a = fill(files.path(), server->apiBaseUrl(), days);
    const auto filesTook = steady_clock::now() - started;
    ASSERT_TRUE(a.ok) << a.message;
    auto b = fill(daily.path(), perDay->apiBaseUrl(), days);
    ASSERT_TRUE(b.ok) << b.message;
    EXPECT_EQ(stored(files.path()), stored(daily.path()));
    EXPECT_GT(count(stored(files.path()), "\n"), 25 * days);
    {
        // The months went in oldest first, a month at a time: the bars' pages are nearly full,
        // where newest first left them half empty and the store twice its size.
        auto c = core::Connection::open(files.path() / marketdata::PriceStore::kFileName);
        auto used = c->openRecordset("SELECT sum(payload) * 1.0 / sum(pgsize) FROM dbstat WHERE name = "
                                     "'Table_Bar' AND pagetype = 'leaf'");
        EXPECT_GT(used->field(0).toDouble(), 0.8);
    }
    {
        // A screening reads a stock's newest closes only, as many as its signals use: the same
        // signals and the same newest day as from the whole five years, for every stock.
        marketdata::StoreDownloader store(files.path(), days);
        store.prepare({});
        int deep = 0;
        for (const auto& stock : server->market().stocks()) {
            const std::string url = "jquants:" + stock.code + "?download=csv";
            std::string newestOfFew;
            std::string newestOfAll;
            const auto few
                = analysis::historyRowsOf(*store.storedHistory(url, analysis::kSignalRows), &newestOfFew);
            const auto all = analysis::historyRowsOf(*store.storedHistory(url, 0), &newestOfAll);
            SCOPED_TRACE(url);
            EXPECT_EQ(few.size(), std::min<std::size_t>(all.size(), analysis::kSignalRows));
            EXPECT_EQ(newestOfFew, newestOfAll);
            EXPECT_EQ(analysis::signalCodeOf(few, {0.9, 1.2}), analysis::signalCodeOf(all, {0.9, 1.2}));
            for (std::size_t i = 0; i < few.size(); ++i) {
                EXPECT_EQ(few[i].close, all[i].close);
                EXPECT_EQ(few[i].volume, all[i].volume);
            }
            deep += all.size() > 4 * analysis::kSignalRows;
        }
        EXPECT_GT(deep, 15);
    }
    {
        // A year of five: each stock's bars found by the key equal the same days of one pass.
        marketdata::PriceStore store(files.path());
        const auto all = store.storedDays();
        const std::vector<std::string> year(all.end() - 251, all.end());
        using Bars
            = std::map<std::string, std::vector<std::tuple<std::string, bool, double, double, double>>>;
        auto read = [&store](const std::vector<std::string>& days, const std::string& from) {
            Bars out;
            store.eachStockBars(
                days,
                [&](const std::string& code, const std::vector<marketdata::PriceStore::DayBar>& bars) {
                    for (const auto& bar : bars) {
                        if (days[bar.day] >= from) {
                            out[code].emplace_back(days[bar.day], bar.traded, bar.adjC, bar.adjH, bar.va);
                        }
                    }
                },
                false, "13050", "");
            return out;
        };
        const auto byKey = read(year, "");
        EXPECT_EQ(byKey, read(all, year.front()));
        EXPECT_GT(byKey.size(), 15u);
        EXPECT_GE(byKey.begin()->first, "13050"); // none before the first code asked
    }
    // The months from their files: two lists and a request a file, the current month's days alone.
    EXPECT_GE(a.filesRead, 2 * 58);
    // Each disclosure day a file shows empty is asked once more before it is marked.
    const auto emptyDays = core::Connection::open(files.path() / marketdata::PriceStore::kFileName)
                               ->openRecordset("SELECT * FROM Table_FilingDay WHERE DayDate NOT IN "
                                               "(SELECT DiscDate FROM Table_Filing)")
                               ->recordCount();
    // Five years of the exchange's lists of past days, a month's first day each: those of past
    // months from the lists' monthly files, the same as the lists asked a day at a time.
    const int months = core::Connection::open(files.path() / marketdata::PriceStore::kFileName)
                           ->openRecordset("SELECT DISTINCT substr(DayDate, 1, 7) FROM Table_StoredDay")
                           ->recordCount();
    EXPECT_EQ(a.listsFetched, months);
    EXPECT_EQ(b.listsFetched, months);
    EXPECT_GE(a.listFiles, months - 2);
    EXPECT_LE(a.listFiles, months);
    auto lists = [](const std::filesystem::path& folder) {
        auto c = core::Connection::open(folder / marketdata::PriceStore::kFileName);
        core::Statement s(*c, "SELECT * FROM Table_ListingSnapshot ORDER BY SnapDate, Code");
        std::string text;
        while (s.next()) {
            for (int i = 0; i < 10; ++i) {
                text += s.columnText(i) + "|";
            }
            text += "\n";
        }
        return text;
    };
    EXPECT_EQ(lists(files.path()), lists(daily.path()));
    // A list's file costs a request as its day would: one more lists them. The results' dates
    // have no files: a request a day.
    EXPECT_EQ(a.earningsDaysFetched, days);
    EXPECT_LT(a.requests, 3 + a.filesRead + 3 * 21 + 10 + emptyDays + (months - a.listFiles) + days);
    EXPECT_GT(b.requests, 2 * days);
    EXPECT_EQ(b.notes, std::vector<std::string>{marketdata::BulkFill::kNoFilesNote});
    EXPECT_TRUE(a.notes.empty()) << a.notes.front();
    std::cout << "five years of 25 stocks: " << a.requests << " requests and " << a.filesRead << " files ("
              << a.fileBytes << " bytes) in " << duration_cast<milliseconds>(filesTook).count()
              << " ms; a day at a time " << b.requests << " requests" << std::endl;

    // The key went to the API alone: no header the file host was sent carries it.
    const auto heads = server->api()->fileHeads();
    EXPECT_EQ(static_cast<int>(heads.size()), a.filesRead);
    for (const auto& head : heads) {
        EXPECT_EQ(head.find("sample-key"), std::string::npos) << head;
        EXPECT_EQ(head.find("x-api-key"), std::string::npos) << head;
    }

    // Stopped after five files, and among the disclosures' once the bars' are all stored: the next
    // run counts its files on from the stop over the files of the whole depth, the days each file
    // leaves to the one-day requests after them.
    for (const auto& [stopAt, least] :
        {std::pair{5, 5}, std::pair{a.filesRead - a.listFiles - 3, (a.filesRead - a.listFiles) / 2}}) {
        SCOPED_TRACE(stopAt);
        test::TempFolder stopped;
        std::vector<JQuantsRefresh::FileStep> steps;
        auto record = [&steps](const JQuantsRefresh::FileStep& step) {
            EXPECT_LE(step.done, step.total);
            steps.push_back(step);
            return true;
        };
        auto r = fill(stopped.path(), server->apiBaseUrl(), days,
            [&](const JQuantsRefresh::FileStep& step) { return record(step) && step.done < stopAt; });
        EXPECT_TRUE(r.cancelled);
        ASSERT_EQ(steps.size(), static_cast<std::size_t>(stopAt + 1));
        EXPECT_EQ(r.filesRead, stopAt);
        EXPECT_EQ(steps.front().done, 0);
        EXPECT_EQ(steps.front().total, a.filesRead - a.listFiles);
        // The current month's days have no monthly file.
        EXPECT_GT(steps.front().pricesAfter, 0);
        EXPECT_LT(steps.front().pricesAfter, 23);
        const auto before = server->api()->fileHeads().size();
        steps.clear();
        r = fill(stopped.path(), server->apiBaseUrl(), days, record);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(stored(stopped.path()), stored(files.path()));
        ASSERT_GE(steps.size(), 2u);
        const auto read = static_cast<int>(steps.size()) - 1;
        // The lists' files besides: their progress is that of the lists.
        EXPECT_EQ(server->api()->fileHeads().size() - before, static_cast<std::size_t>(read + r.listFiles));
        EXPECT_GE(steps.front().done, least);
        EXPECT_EQ(steps.front().done + read, a.filesRead - a.listFiles);
        for (const auto& step : steps) {
            EXPECT_EQ(step.total, a.filesRead - a.listFiles);
        }
        EXPECT_EQ(steps.back().pricesAfter, steps.front().pricesAfter);
        if (stopAt == 5) {
            // None of the months stored whole is taken again.
            EXPECT_EQ(read, a.filesRead - a.listFiles - 5);
            // Halfway through the disclosures' files, the days they show without a filing, to be
            // asked once more, are foreseen from the files read: near what the last one leaves.
            const auto firstFiling = std::adjacent_find(steps.begin(), steps.end(),
                                         [](const auto& x, const auto& y) { return y.month < x.month; })
                + 1;
            ASSERT_LT(firstFiling, steps.end());
            const auto& half = *(firstFiling + (steps.end() - firstFiling) / 2);
            EXPECT_NEAR(half.filingsAfter, steps.back().filingsAfter, steps.back().filingsAfter / 4.0)
                << half.month;
        }
    }

    // A next day: no list, no file.
    const auto next = fill(files.path(), server->apiBaseUrl(), days);
    ASSERT_TRUE(next.ok) << next.message;
    EXPECT_EQ(next.filesRead, 0);
    EXPECT_LE(next.requests, 6);
}

namespace {

// A file host of the test's own behind the API: /bulk/get's addresses lead to it, it fetches
// the real file and hands it to a scenario, and it keeps every request head it is sent.
class SpoiltFiles
{
public:
    // Sends the answer for one file: the key it stands for and the real packed bytes.
    using Scenario = std::function<void(int socket, const std::string& key, const std::string& packed)>;

    explicit SpoiltFiles(sample::SampleServer& server)
        : m_proxy(server.apiBaseUrl(), [this](test::FaultProxy::Exchange& e) { rewrite(e); })
        , m_host([this](int socket, const std::string& head) { serve(socket, head); })
    {
    }
    std::string url() const { return m_proxy.url(); }
    void setScenario(Scenario scenario, int roomInList = 0)
    {
        std::lock_guard lock(m_mutex);
        m_scenario = std::move(scenario);
        m_room = roomInList;
    }
    // Spoils the API's own answers besides.
    void setApiFault(std::function<void(test::FaultProxy::Exchange&)> fault)
    {
        std::lock_guard lock(m_mutex);
        m_apiFault = std::move(fault);
    }
    std::vector<std::string> heads()
    {
        std::lock_guard lock(m_mutex);
        return m_heads;
    }
    static void send(int socket, int status, const std::string& type, const std::string& body)
    {
        test::RawHttpServer::sendAll(socket,
            "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: " + type
                + "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"
                + body);
    }

private:
    void rewrite(test::FaultProxy::Exchange& e)
    {
        std::lock_guard lock(m_mutex);
        if (m_apiFault) {
            m_apiFault(e);
        }
        if (e.path == "/bulk/list" && e.status == 200 && m_room > 0) {
            // Room for a file the scenario packs anew, a little larger than the real one.
            auto body = json::parse(e.body);
            for (auto& row : body["data"]) {
                row["Size"] = row["Size"].get<std::int64_t>() * 2 + m_room;
            }
            e.body = body.dump();
        }
        if (e.path == "/bulk/get" && e.status == 200) {
            auto body = json::parse(e.body);
            m_real.push_back({e.query.at("key"), body["url"].get<std::string>()});
            body["url"] = m_host.url("/file/" + std::to_string(m_real.size() - 1));
            e.body = body.dump();
        }
    }
    void serve(int socket, const std::string& head)
    {
        std::pair<std::string, std::string> real;
        Scenario scenario;
        {
            std::lock_guard lock(m_mutex);
            m_heads.push_back(head);
            const auto at = head.find("/file/");
            real = m_real.at(std::stoul(head.substr(at + 6)));
            scenario = m_scenario;
        }
        const auto slash = real.second.find('/', 7);
        httplib::Client client(real.second.substr(0, slash));
        const auto answer = client.Get(real.second.substr(slash));
        const std::string packed = answer ? answer->body : std::string();
        if (scenario) {
            scenario(socket, real.first, packed);
        } else {
            send(socket, 200, "application/gzip", packed);
        }
    }

    std::mutex m_mutex;
    Scenario m_scenario;
    std::function<void(test::FaultProxy::Exchange&)> m_apiFault;
    int m_room = 0;
    std::vector<std::pair<std::string, std::string>> m_real; // key, address
    std::vector<std::string> m_heads;
    test::FaultProxy m_proxy;
    test::RawHttpServer m_host;
};

} // namespace

TEST(BulkFiles, AFileThatFailsIsNamedStoresNothingAndItsDaysComeOneByOne)
{
    // Enough stocks for filings in every month, as in the real market.
    auto server = sampleServer(20, 140);
    ASSERT_TRUE(server);
    SpoiltFiles host(*server);
    test::TempFolder clean;
    const auto referenceStarted = steady_clock::now();
    const auto reference = fill(clean.path(), host.url(), 130);
    const auto referenceTook = steady_clock::now() - referenceStarted;
    ASSERT_TRUE(reference.ok) << reference.message;
    ASSERT_GE(reference.filesRead, 8);
    const std::string expected = stored(clean.path());
    // One month's bars (or disclosures) spoilt; the others as sent.
    const std::string month = "202609";
    std::string stem = "equities_bars_daily_";
    auto spoilt
        = [&month, &stem](const std::string& key) { return key.find(stem + month) != std::string::npos; };
    auto edited = [&](const std::function<std::string(const std::string&)>& edit) {
        return [&spoilt, edit](int socket, const std::string& key, const std::string& packed) {
            SpoiltFiles::send(
                socket, 200, "application/gzip", spoilt(key) ? gzip(edit(gunzip(packed))) : packed);
        };
    };
    struct Case
    {
        std::string name;
        SpoiltFiles::Scenario scenario;
        std::string reason; // in the note; empty: the file is good
        int room = 0;
        bool filings = false;
    };
    // A line of the file changed by edit: the header is line 0.
    auto lines = [&](const std::function<std::string(std::size_t, const std::string&)>& edit) {
        return edited([edit](const std::string& csv) {
            return eachLine(csv, [&edit](std::size_t n, const std::string& line) { return edit(n, line); });
        });
    };
    const std::vector<Case> cases{
        {"403 expired",
            [&](int s, const std::string& key, const std::string& packed) {
                if (spoilt(key)) {
                    SpoiltFiles::send(s, 403, "application/xml", "<Error><Code>AccessDenied</Code></Error>");
                } else {
                    SpoiltFiles::send(s, 200, "application/gzip", packed);
                }
            },
            "403"},
        {"404",
            [&](int s, const std::string& key, const std::string& packed) {
                SpoiltFiles::send(s, spoilt(key) ? 404 : 200, "application/gzip", spoilt(key) ? "" : packed);
            },
            "404"},
        {"HTML",
            [&](int s, const std::string& key, const std::string& packed) {
                SpoiltFiles::send(
                    s, 200, "text/html", spoilt(key) ? "<html><body>maintenance</body></html>" : packed);
            },
            "gzip として読めません"},
        {"stall",
            [&](int s, const std::string& key, const std::string& packed) {
                if (!spoilt(key)) {
                    SpoiltFiles::send(s, 200, "application/gzip", packed);
                    return;
                }
                // The head, then nothing: libcurl's speed is an average of the last seconds,
                // so bytes sent before the stall would hide it for a while.
                test::RawHttpServer::sendAll(
                    s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n");
                std::this_thread::sleep_for(seconds(3));
            },
            "応答が止まりました"},
        {"cut transfer",
            [&](int s, const std::string& key, const std::string& packed) {
                test::RawHttpServer::sendAll(s,
                    "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(packed.size())
                        + "\r\n\r\n" + packed.substr(0, spoilt(key) ? packed.size() / 2 : packed.size()));
            },
            "途中で切れました"},
        {"cut gzip",
            [&](int s, const std::string& key, const std::string& packed) {
                SpoiltFiles::send(
                    s, 200, "application/gzip", spoilt(key) ? packed.substr(0, packed.size() - 8) : packed);
            },
            "gzip が途中で切れています"},
        {"larger than listed",
            [&](int s, const std::string& key, const std::string& packed) {
                SpoiltFiles::send(s, 200, "application/gzip", spoilt(key) ? packed + gzip("") : packed);
            },
            "一覧の大きさ"},
        {"another endpoint",
            [&](int s, const std::string& key, const std::string& packed) {
                std::string other = packed;
                if (spoilt(key)) {
                    httplib::Client api(server->apiBaseUrl().substr(0, server->apiBaseUrl().size() - 3));
                    const auto fins = api.Get(
                        "/v2/fins/summary?date=2026-09-01", httplib::Headers{{"x-api-key", "sample-key"}});
                    std::string csv = "DiscDate,Code,DiscNo,DocType\n";
                    for (const auto& row : json::parse(fins->body)["data"]) {
                        csv += row["DiscDate"].get<std::string>() + "," + row["Code"].get<std::string>() + ","
                            + row["DiscNo"].get<std::string>() + "," + row["DocType"].get<std::string>()
                            + "\n";
                    }
                    other = gzip(csv);
                }
                SpoiltFiles::send(s, 200, "application/gzip", other);
            },
            "必要な列 Date がありません", 4096},
        {"short row", edited([](const std::string& csv) {
             return eachLine(csv, [](std::size_t n, std::string line) {
                 return (n == 40 ? line.substr(0, line.rfind(',')) : line) + "\n";
             });
         }),
            "列の数が見出しと違う行があります（40 行目: 15 列）", 4096},
        {"row of another month", edited([](const std::string& csv) {
             return eachLine(csv, [](std::size_t n, std::string line) {
                 return (n == 7 ? "2026-10-01" + line.substr(10) : line) + "\n";
             });
         }),
            "ファイルの月（2026-09）でない日付の行があります", 4096},
        {"a stock twice in a day", edited([](const std::string& csv) {
             return eachLine(csv,
                 [](std::size_t n, std::string line) { return line + "\n" + (n == 3 ? line + "\n" : ""); });
         }),
            "同じ銘柄が 2 度あります", 4096},
        {"the key in a field", edited([](const std::string& csv) {
             return eachLine(csv, [](std::size_t n, std::string line) {
                 if (n == 5) {
                     const auto ul = line.find(",0,0,");
                     line.replace(ul, 5, ",sample-key,0,");
                 }
                 return line + "\n";
             });
         }),
            "APIキーの一部が含まれています", 4096},
        {"no row", lines([](std::size_t n, const std::string& line) { return n == 0 ? line + "\n" : ""; }),
            "内容が正しくありません: 行が 1 行もありません", 4096},
        {"disclosures of no row",
            lines([](std::size_t n, const std::string& line) { return n == 0 ? line + "\n" : ""; }),
            "内容が正しくありません: 行が 1 行もありません", 4096, true},
        {"the key in a column passed over", lines([](std::size_t n, const std::string& line) {
             return line + (n == 0 ? ",Note" : n == 9 ? ",sample-key" : ",") + "\n";
         }),
            "APIキーの一部が含まれています", 4096},
        {"no UTF-8 in a column passed over", lines([](std::size_t n, const std::string& line) {
             return line + (n == 0 ? ",Note" : n == 9 ? ",\x93\xfa\x97\xa7" : ",") + "\n";
         }),
            "UTF-8 でない文字があります", 4096},
        {"more rows in a day than a day holds", lines([](std::size_t n, const std::string& line) {
             // Twice the day's stocks and more, under codes of their own.
             std::string out = line + "\n";
             for (int i = 0; n == 1 && i < 21; ++i) {
                 const auto comma = line.find(',');
                 out += line.substr(0, comma) + "," + std::to_string(90000 + 10 * i)
                     + line.substr(line.find(',', comma + 1)) + "\n";
             }
             return out;
         }),
            "の行が多すぎます（40 行まで）", 4096},
        {"drip",
            [&](int s, const std::string& key, const std::string& packed) {
                if (!spoilt(key)) {
                    SpoiltFiles::send(s, 200, "application/gzip", packed);
                    return;
                }
                // A byte every 50 ms: never a stall, never done within the time-out.
                test::RawHttpServer::sendAll(
                    s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n");
                for (char c : packed) {
                    std::this_thread::sleep_for(milliseconds(50));
                    if (!test::RawHttpServer::sendAll(s, std::string(1, c))) {
                        return;
                    }
                }
            },
            "応答が止まりました"},
        {"reordered and extra columns, BOM, CR LF, quotes", edited([](const std::string& csv) {
             return "\xEF\xBB\xBF" + eachLine(csv, [](std::size_t n, std::string line) {
                 const auto comma = line.find(',');
                 const std::string date = line.substr(0, comma);
                 const std::string rest = line.substr(comma + 1);
                 return "\"" + rest.substr(0, rest.find(',')) + "\"," + (n == 0 ? "Note" : "\"a, \"\"b\"\"\"")
                     + rest.substr(rest.find(',')) + "," + date + "\r\n";
             });
         }),
            "", 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        stem = c.filings ? "fins_summary_" : "equities_bars_daily_";
        host.setScenario(c.scenario, c.room);
        test::TempFolder dir;
        const auto started = steady_clock::now();
        const auto r = fill(dir.path(), host.url(), 130);
        // A file host that stalls or drips costs the client's time-out, 1.5 s here, and no more.
        EXPECT_LT(steady_clock::now() - started, referenceTook + seconds(3));
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(stored(dir.path()), expected);
        if (c.reason.empty()) {
            EXPECT_TRUE(r.notes.empty());
            EXPECT_EQ(r.filesRead, reference.filesRead);
            EXPECT_EQ(r.requests, reference.requests);
            continue;
        }
        // Named once, with its month, its kind and why; its days came one at a time.
        EXPECT_EQ(r.notes.size(), 1u);
        if (r.notes.size() != 1) {
            continue;
        }
        EXPECT_EQ(r.notes[0].rfind(std::string("履歴ファイル 2026-09（") + (c.filings ? "開示" : "株価")
                          + "）を使えません: ",
                      0),
            0u)
            << r.notes[0];
        EXPECT_NE(r.notes[0].find(c.reason), std::string::npos) << r.notes[0];
        EXPECT_NE(r.notes[0].find("その月は 1 日ずつ取得します。"), std::string::npos) << r.notes[0];
        EXPECT_EQ(r.filesRead, reference.filesRead - 1);
        EXPECT_GT(r.requests, reference.requests + 15);
    }
    // A day of filings missing from its file, as a day without any: asked once more of the API,
    // whose answer is kept, so no month loses a day of filings.
    stem = "fins_summary_";
    std::string firstDay;
    host.setScenario(lines([&firstDay](std::size_t n, const std::string& line) {
        firstDay = n == 1 ? line.substr(0, 10) : firstDay;
        return n > 0 && line.rfind(firstDay, 0) == 0 ? std::string() : line + "\n";
    }),
        4096);
    {
        test::TempFolder dir;
        const auto r = fill(dir.path(), host.url(), 130);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(stored(dir.path()), expected);
        EXPECT_TRUE(r.notes.empty()) << r.notes.front();
        EXPECT_EQ(r.filesRead, reference.filesRead);
        EXPECT_EQ(r.requests, reference.requests + 1);
    }
    // Every file stalled: two in a row end the files, said once, and every month comes a day at
    // a time, within the time-out of those two.
    host.setScenario([](int s, const std::string&, const std::string& packed) {
        test::RawHttpServer::sendAll(
            s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n");
        std::this_thread::sleep_for(seconds(3));
    });
    {
        test::TempFolder dir;
        const auto started = steady_clock::now();
        const auto r = fill(dir.path(), host.url(), 130);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_LT(steady_clock::now() - started, referenceTook + seconds(2 * 2 + 3));
        EXPECT_EQ(stored(dir.path()), expected);
        EXPECT_EQ(r.filesRead, 0);
        ASSERT_EQ(r.notes.size(), 3u);
        EXPECT_NE(r.notes[1].find("応答が止まりました"), std::string::npos) << r.notes[1];
        EXPECT_EQ(r.notes[2], marketdata::BulkFill::kHostStalledNote);
    }

    // The API's /bulk/get: a key gone since the list costs its file alone; the API failing ends
    // the files, and every day left comes one at a time.
    stem = "equities_bars_daily_";
    host.setScenario({});
    for (const int status : {404, 500}) {
        host.setApiFault([&spoilt, status](test::FaultProxy::Exchange& e) {
            if (e.path == "/bulk/get" && spoilt(e.query.at("key"))) {
                e.status = status;
                e.body = R"({"message":"The specified key does not exist."})";
            }
        });
        test::TempFolder dir;
        const auto r = fill(dir.path(), host.url(), 130);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(stored(dir.path()), expected) << status;
        ASSERT_EQ(r.notes.size(), 1u) << status;
        EXPECT_EQ(r.notes[0].rfind(status == 404
                          ? "履歴ファイル 2026-09（株価）を使えません: 一覧にあるのにありません（404）"
                          : "履歴ファイル 2026-09（株価）のアドレスを取得できません: ",
                      0),
            0u)
            << r.notes[0];
        EXPECT_EQ(r.filesRead, status == 404 ? reference.filesRead - 1 : 3)
            << status; // the prices of the three months before it, the oldest first
    }
    host.setApiFault({});

    // Not one of them was sent the key.
    for (const auto& head : host.heads()) {
        EXPECT_EQ(head.find("sample-key"), std::string::npos) << head;
        EXPECT_EQ(head.find("x-api-key"), std::string::npos) << head;
    }

    // A plan without files reads a day at a time, as does one whose server lists none, which
    // it says once.
    host.setScenario({});
    auto noFiles = sampleServer(20, 140, [](auto& api) { api.bulkFiles = false; });
    for (const auto& [url, plan, notes] : {std::tuple{noFiles->apiBaseUrl(), std::string("light"),
                                               std::vector<std::string>{marketdata::BulkFill::kNoFilesNote}},
             std::tuple{host.url(), std::string("free"), std::vector<std::string>{}}}) {
        test::TempFolder dir;
        const auto r = fill(dir.path(), url, 130, {}, plan);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.notes, notes);
        EXPECT_EQ(r.filesRead, 0);
        // TOPIX for every stored day where the plan has it (one request), none on Free.
        marketdata::PriceStore store(dir.path());
        const auto days = store.storedDays();
        marketdata::TopixHistory topix(store.connection());
        EXPECT_EQ(topix.firstMissing(days), plan == "free" ? days.front() : std::string()) << plan;
        EXPECT_EQ(r.topixDaysFetched, plan == "free" ? 0 : static_cast<int>(days.size())) << plan;
    }
}

TEST(BulkFiles, AStockThatSplitAfterItsFileWasMadeIsFetchedAgainWhole)
{
    // The last day is 2026-12-02, so the split three trading days before it lies in November's
    // file: the older files, if made before it, hold the split stocks on the old basis.
    sample::SampleServer::Options options;
    options.market.stocks = 25;
    options.market.days = 140;
    options.market.today = year_month_day{2026y, December, 2d};
    options.jquants = true;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    const auto& days = server.market().tradingDays();
    ASSERT_EQ(year_month_day{days[days.size() - 3]}.month(), November);
    std::optional<std::string> modified;
    test::FaultProxy proxy(server.apiBaseUrl(), [&modified](test::FaultProxy::Exchange& e) {
        if (e.path == "/bulk/list" && modified) {
            auto body = json::parse(e.body);
            for (auto& row : body["data"]) {
                row["LastModified"] = *modified;
            }
            e.body = body.dump();
        }
    });
    auto fillOn = [&](const std::filesystem::path& dir) {
        marketdata::DataSource source;
        source.kind = marketdata::DataSource::kJQuants;
        source.plan = "light";
        source.days = 130;
        const core::FixedClock clock(options.market.today);
        return JQuantsRefresh(dir, source, clientAt(proxy.url()), clock).run("", dir / "list.csv");
    };
    test::TempFolder fresh;
    auto r = fillOn(fresh.path());
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.stocksRefetched, 0); // made after the split, as the list says
    const std::string expected = stored(fresh.path());
    // Made as each month ended: stock 21's older days come again on the new basis.
    for (const std::string lastModified : {"2026-10-01T03:00:00Z", "", "not a date"}) {
        modified = lastModified;
        test::TempFolder dir;
        r = fillOn(dir.path());
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.stocksRefetched, 1) << lastModified;
        EXPECT_EQ(stored(dir.path()), expected) << lastModified;
    }
}

TEST(BulkFiles, TheKeyFollowsNoRedirectOfTheApi)
{
    std::atomic<int> reached{0};
    std::string seen;
    std::mutex mutex;
    test::RawHttpServer elsewhere([&](int socket, const std::string& head) {
        ++reached;
        std::lock_guard lock(mutex);
        seen += head;
        SpoiltFiles::send(socket, 200, "application/json", R"({"data": []})");
    });
    test::RawHttpServer api([&](int socket) {
        test::RawHttpServer::sendAll(socket,
            "HTTP/1.1 302 Found\r\nLocation: " + elsewhere.url("/v2/equities/master")
                + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    });
    JQuantsClient client(clientAt(api.url("/v2")));
    EXPECT_FALSE(client.getAll("/equities/master", {}));
    EXPECT_EQ(client.lastFailure().status, 302);
    EXPECT_EQ(reached.load(), 0) << seen;
}

TEST(BulkFiles, EachPlanReachesItsYearsAndADepthPastThemIsRefused)
{
    using marketdata::DataSource;
    EXPECT_EQ(DataSource::maxDays("free"), 490);
    EXPECT_EQ(DataSource::maxDays("light"), 1225);
    EXPECT_EQ(DataSource::maxDays("standard"), 2450);
    EXPECT_EQ(DataSource::maxDays("premium"), 4410);
    EXPECT_EQ(DataSource::daysProblem("light", 1225), "");
    EXPECT_EQ(DataSource::daysProblem("light", 1226), "Light プランの取得日数は 20〜1225 日（5 年）です。");
    EXPECT_EQ(DataSource::daysProblem("free", 19), "Free プランの取得日数は 20〜490 日（2 年）です。");
    // Five years on Light: about 170 requests at 60 a minute and the results' dates of every
    // day; 300 days on Free a request a day, and the disclosures and results' dates of 130 days,
    // at 5 a minute.
    EXPECT_EQ(DataSource::firstFillMinutes("light", 1225), 24);
    EXPECT_EQ(DataSource::firstFillMinutes("premium", 4410), 12);
    EXPECT_EQ(DataSource::firstFillMinutes("free", 300), 113);

    // The tool refuses a depth past the plan's window, naming the plan and its limit.
    test::TempFolder dir;
    const std::string cli = test::cliCommand(dir / "home");
    std::string out;
    EXPECT_EQ(test::runCommand(cli + " init --source jquants --plan light --days 1300 2>&1", &out), 2);
    EXPECT_NE(out.find("Light プランの取得日数は 20〜1225 日（5 年）です。"), std::string::npos) << out;
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --plan standard --days 2400 2>&1", &out), 0)
        << out;
    EXPECT_EQ(test::runCommand(cli + " source set jquants --plan light 2>&1", &out), 2);
    EXPECT_NE(out.find("Light プランの取得日数は"), std::string::npos) << out;
}
