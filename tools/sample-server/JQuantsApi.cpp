#include "JQuantsApi.h"

#include "TradingCalendar.h"
#include "core/Clock.h"
#include "core/Value.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <httplib.h>
#include <map>
#include <nlohmann/json.hpp>
#include <zlib.h>

namespace zuvemo::sample {

using namespace std::chrono;
using nlohmann::json;

namespace {

const std::map<std::string, std::string> kIndustryCodes = {{"水産・農林業", "0050"}, {"鉱業", "1050"},
    {"建設業", "2050"}, {"食料品", "3050"}, {"繊維製品", "3100"}, {"パルプ・紙", "3150"}, {"化学", "3200"},
    {"医薬品", "3250"}, {"石油・石炭製品", "3300"}, {"ゴム製品", "3350"}, {"ガラス・土石製品", "3400"},
    {"鉄鋼", "3450"}, {"非鉄金属", "3500"}, {"金属製品", "3550"}, {"機械", "3600"}, {"電気機器", "3650"},
    {"輸送用機器", "3700"}, {"精密機器", "3750"}, {"その他製品", "3800"}, {"電気・ガス業", "4050"},
    {"陸運業", "5050"}, {"海運業", "5100"}, {"空運業", "5150"}, {"倉庫・運輸関連業", "5200"},
    {"情報・通信業", "5250"}, {"卸売業", "6050"}, {"小売業", "6100"}, {"銀行業", "7050"},
    {"証券、商品先物取引業", "7100"}, {"保険業", "7150"}, {"その他金融業", "7200"}, {"不動産業", "8050"},
    {"サービス業", "9050"}};

// The API writes some industry names with half-width punctuation.
std::string halfWidthPunctuation(std::string text)
{
    for (auto [from, to] : {std::pair<const char*, const char*>{"・", "･"}, {"、", "､"}}) {
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
            text.replace(at, std::strlen(from), to);
        }
    }
    return text;
}

// A market's code and name; before the markets took today's names, those of the old ones:
// プライム was 東証一部, グロース マザーズ, スタンダード 東証二部 (even stock indexes) or JASDAQ
// スタンダード (odd ones).
std::pair<std::string, std::string> marketOf(const std::string& market, bool renamed, std::size_t index)
{
    using Market = std::pair<std::string, std::string>;
    if (market == "東証プライム") {
        return renamed ? Market{"0111", "プライム"} : Market{"0101", "東証一部"};
    }
    if (market == "東証スタンダード") {
        if (renamed) {
            return {"0112", "スタンダード"};
        }
        return index % 2 == 0 ? Market{"0102", "東証二部"} : Market{"0106", "JASDAQ スタンダード"};
    }
    if (market == "東証グロース") {
        return renamed ? Market{"0113", "グロース"} : Market{"0104", "マザーズ"};
    }
    return {"0109", "その他"};
}

std::optional<sys_days> parseDate(const std::string& text)
{
    std::string t = text;
    if (t.size() == 8) {
        t = t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2);
    }
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    if (t.size() != 10 || std::sscanf(t.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) {
        return std::nullopt;
    }
    year_month_day ymd{year{y}, month{m}, day{d}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    return sys_days{ymd};
}

double halfStep(double v, bool decimal)
{
    return decimal ? std::floor(v) + 0.5 : std::round(v);
}

double tenth(double v)
{
    return std::round(v * 10) / 10;
}

// The numbers of a bar, in the order of the answer and its file.
constexpr std::array<const char*, 12> kBarNumbers
    = {"O", "H", "L", "C", "Vo", "Va", "AdjFactor", "AdjO", "AdjH", "AdjL", "AdjC", "AdjVo"};

struct BarFigures
{
    bool traded = false;
    std::array<double, 12> values{}; // of kBarNumbers
};

const std::vector<const char*> kBarFields = {"Date", "Code", "O", "H", "L", "C", "UL", "LL", "Vo", "Va",
    "AdjFactor", "AdjO", "AdjH", "AdjL", "AdjC", "AdjVo"};
const std::vector<const char*> kDividendFields = {"PubDate", "PubTime", "Code", "RefNo", "CARefNo",
    "StatCode", "BoardDate", "IFCode", "FRCode", "IFTerm", "DivRate", "RecDate", "ExDate", "ActRecDate",
    "PayDate", "CommSpecCode", "CommDivRate", "SpecDivRate"};
const std::vector<const char*> kMasterFields = {"Date", "Code", "CoName", "CoNameEn", "S17", "S17Nm", "S33",
    "S33Nm", "ScaleCat", "Mkt", "MktNm", "Mrgn", "MrgnNm", "ProdCat"};
const std::vector<const char*> kFilingFields = {"DiscDate", "DiscTime", "Code", "DiscNo", "DocType",
    "CurPerType", "CurFYSt", "CurFYEn", "DivAnn", "FDivAnn", "NxFDivAnn", "EPS", "FEPS", "NxFEPS", "Sales",
    "FSales", "NxFSales", "OP", "FOP", "NxFOP", "NP", "FNP", "NxFNP", "EqAR"};

// A row of an answer as a line of its monthly file: a number as the answer writes it, null
// as nothing, a text quoted when it must be.
std::string csvLine(const json& row, const std::vector<const char*>& fields)
{
    std::string line;
    for (const char* field : fields) {
        if (!line.empty() || field != fields.front()) {
            line.push_back(',');
        }
        const auto it = row.find(field);
        if (it == row.end() || it->is_null()) {
            continue;
        }
        const std::string value = it->is_string() ? it->get<std::string>() : it->dump();
        if (value.find_first_of(",\"\r\n") == std::string::npos) {
            line += value;
            continue;
        }
        line.push_back('"');
        for (char c : value) {
            line += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        line.push_back('"');
    }
    return line + "\n";
}

// The text packed as gzip, the same bytes for the same text.
std::string gzipped(const std::string& text)
{
    struct Deflater
    {
        z_stream z{};
        bool open = deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        ~Deflater()
        {
            if (open) {
                deflateEnd(&z);
            }
        }
    } d;
    if (!d.open) {
        return {};
    }
    std::string out(deflateBound(&d.z, static_cast<uLong>(text.size())) + 64, '\0');
    d.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    d.z.avail_in = static_cast<uInt>(text.size());
    d.z.next_out = reinterpret_cast<Bytef*>(out.data());
    d.z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&d.z, Z_FINISH) != Z_STREAM_END) {
        return {};
    }
    out.resize(d.z.total_out);
    return out;
}

std::string twoDigits(unsigned v)
{
    return (v < 10 ? "0" : "") + std::to_string(v);
}

void answer(httplib::Response& res, int status, const json& body)
{
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

} // namespace

JQuantsApi::JQuantsApi(SyntheticMarket& market, const Options& options)
    : m_market(market)
    , m_options(options)
{
}

double JQuantsApi::dividendBase(const SyntheticMarket::Stock& stock)
{
    // A yield of 1 to 4 % on the first day's close, in whole yen.
    const double firstClose = stock.bars.empty() ? 100.0 : stock.bars.front().close;
    unsigned sum = 0;
    for (char c : stock.code) {
        sum += static_cast<unsigned char>(c);
    }
    const double percent = 1.0 + static_cast<double>(sum % 7) * 0.5;
    return std::max(1.0, std::round(firstClose * percent / 100.0));
}

std::string JQuantsApi::codeOf(const SyntheticMarket::Stock& stock, std::size_t index)
{
    if (index % 61 == 9) {
        return stock.code.substr(0, 3) + "A0";
    }
    return stock.code + "0";
}

// Every request: the key, then the rate; an answer is a function of the query alone.
bool JQuantsApi::guardRequest(const httplib::Request& req, httplib::Response& res)
{
    m_requests++;
    if (req.get_header_value("x-api-key") != m_options.apiKey) {
        answer(res, 403, {{"message", "The incoming api key is invalid or expired."}});
        return false;
    }
    // Counted as a request arrives, over a sliding window.
    const auto now = steady_clock::now();
    std::lock_guard lock(m_rateMutex);
    auto over = [&](std::deque<steady_clock::time_point>& recent, int limit) {
        while (!recent.empty() && now - recent.front() >= m_options.rateWindow) {
            recent.pop_front();
        }
        return limit > 0 && static_cast<int>(recent.size()) >= limit;
    };
    const bool fins = req.path.rfind("/v2/fins/", 0) == 0;
    if (over(m_recent, m_options.rateLimit) || (fins && over(m_recentFins, m_options.finsRateLimit))) {
        m_rateLimited++;
        answer(res, 429, {{"message", "Rate limit exceeded"}});
        return false;
    }
    if (m_options.rateLimit > 0) {
        m_recent.push_back(now);
    }
    if (fins && m_options.finsRateLimit > 0) {
        m_recentFins.push_back(now);
    }
    return true;
}

const std::vector<SyntheticMarket::Bar>& JQuantsApi::topix()
{
    std::call_once(m_topixOnce, [this] {
        const auto& days = m_market.tradingDays();
        const auto& stocks = m_market.stocks();
        m_topix.resize(days.size());
        auto cent = [](double v) { return std::round(v * 100) / 100; };
        double level = 2000;
        for (std::size_t t = 0; t < days.size(); ++t) {
            double open = 0, close = 0;
            int n = 0;
            for (const auto& stock : stocks) {
                const int day = static_cast<int>(t);
                if (t == 0 || !stock.tradedOn(day) || !stock.tradedOn(day - 1) || stock.bars[t].volume == 0
                    || stock.bars[t - 1].close <= 0) {
                    continue;
                }
                open += stock.bars[t].open / stock.bars[t - 1].close;
                close += stock.bars[t].close / stock.bars[t - 1].close;
                ++n;
            }
            auto& b = m_topix[t];
            b.open = cent(n > 0 ? level * open / n : level);
            level = n > 0 ? level * close / n : level;
            b.close = cent(level);
            b.high = cent(std::max(b.open, b.close) * 1.002);
            b.low = cent(std::min(b.open, b.close) * 0.998);
            b.volume = 1;
        }
    });
    return m_topix;
}

const std::vector<json>& JQuantsApi::dividendNotices()
{
    std::call_once(m_noticesOnce, [this] {
        const auto& stocks = m_market.stocks();
        auto dashed = [](sys_days d) { return core::Clock::dashed(year_month_day{d}); };
        auto tradingDayFrom = [](sys_days d) {
            while (!TradingCalendar::isTradingDay(year_month_day{d})) {
                d += days{1};
            }
            return d;
        };
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            const auto kind = SyntheticMarket::noticesOf(static_cast<int>(s));
            const auto& stock = stocks[s];
            for (std::size_t i = 0; i < stock.dividends.size(); ++i) {
                const auto& d = stock.dividends[i];
                const year_month_day record{d.recordDate};
                auto notice = [&](sys_days pub, int serial, const char* stat, const char* fr, json rate) {
                    const std::string day = dashed(pub);
                    const std::string refNo = day.substr(0, 4) + day.substr(5, 2) + day.substr(8, 2)
                        + std::to_string(100000 + s) + std::to_string(10 * serial + static_cast<int>(i % 10));
                    return json{{"PubDate", day}, {"PubTime", "15:30"}, {"Code", codeOf(stock, s)},
                        {"RefNo", refNo}, {"CARefNo", refNo}, {"StatCode", stat}, {"BoardDate", day},
                        {"IFCode", d.interim ? "1" : "2"}, {"FRCode", fr},
                        {"IFTerm",
                            std::to_string(static_cast<int>(record.year())) + "-"
                                + twoDigits(static_cast<unsigned>(record.month()))},
                        {"DivRate", std::move(rate)}, {"RecDate", dashed(d.recordDate)},
                        {"ExDate", dashed(d.exDate)}, {"ActRecDate", dashed(d.recordDate)},
                        {"PayDate", *fr == '1' ? dashed(tradingDayFrom(d.recordDate + days{70})) : ""},
                        {"CommSpecCode", "0"}, {"CommDivRate", ""}, {"SpecDivRate", ""}};
                };
                const bool undecided = kind == SyntheticMarket::Notices::ForecastUndecided && d.interim;
                m_notices.push_back(notice(tradingDayFrom(d.exDate - days{100}), 1, "1", "2",
                    undecided ? json("-") : json(d.perShare)));
                const sys_days decided = tradingDayFrom(
                    d.exDate + days{kind == SyntheticMarket::Notices::DecidedLate ? 90 : 45});
                if (kind == SyntheticMarket::Notices::Corrected) {
                    // A wrong figure, then its correction a week later.
                    const json wrong = notice(decided, 2, "1", "1", d.perShare + 1);
                    json right = notice(tradingDayFrom(decided + days{7}), 3, "2", "1", d.perShare);
                    right["CARefNo"] = wrong["RefNo"];
                    m_notices.push_back(wrong);
                    m_notices.push_back(right);
                    continue;
                }
                m_notices.push_back(notice(decided, 2, "1", "1", d.perShare));
                if (kind == SyntheticMarket::Notices::Deleted) {
                    // A special dividend sent in error, deleted after five days.
                    json error = notice(decided, 4, "1", "1", d.perShare + 10);
                    error["CommSpecCode"] = "2";
                    error["SpecDivRate"] = 10;
                    json deletion = notice(tradingDayFrom(decided + days{5}), 5, "3", "1", d.perShare + 10);
                    deletion["CARefNo"] = error["RefNo"];
                    m_notices.push_back(error);
                    m_notices.push_back(deletion);
                }
            }
        }
        std::sort(m_notices.begin(), m_notices.end(), [](const json& a, const json& b) {
            return std::pair(a["PubDate"].get<std::string>(), a["RefNo"].get<std::string>())
                < std::pair(b["PubDate"].get<std::string>(), b["RefNo"].get<std::string>());
        });
    });
    return m_notices;
}

void JQuantsApi::install(httplib::Server& server)
{
    auto guard
        = [this](const httplib::Request& req, httplib::Response& res) { return guardRequest(req, res); };
    // Rows, paged by their offset.
    auto paged = [this](const httplib::Request& req, httplib::Response& res, const json& rows) {
        std::size_t from = 0;
        if (req.has_param("pagination_key")) {
            from = static_cast<std::size_t>(std::stoul(req.get_param_value("pagination_key").substr(1)));
        }
        const std::size_t size = static_cast<std::size_t>(m_options.pageSize);
        json page = json::array();
        for (std::size_t i = from; i < rows.size() && i < from + size; ++i) {
            page.push_back(rows[i]);
        }
        json body = {{"data", page}};
        if (from + size < rows.size()) {
            body["pagination_key"] = "p" + std::to_string(from + size);
        }
        answer(res, 200, body);
    };
    const std::vector<sys_days>* dayList = &m_market.tradingDays();
    const sys_days present
        = m_options.windowTo ? std::min(*m_options.windowTo, dayList->back()) : dayList->back();
    // The market has no day before its first: older days answer as a plan's window does, the
    // way the real API answers for days before its data begin.
    const sys_days first
        = m_options.windowFrom ? std::max(*m_options.windowFrom, dayList->front()) : dayList->front();
    auto outside = [this, first, present](sys_days from, sys_days to, httplib::Response& res) {
        if (from < first || (m_options.windowTo && to > *m_options.windowTo)) {
            answer(res, 400,
                {{"message",
                    "Your subscription covers the following dates: "
                        + core::Clock::dashed(year_month_day{first}) + " ~ "
                        + core::Clock::dashed(year_month_day{m_options.windowTo.value_or(present)})
                        + ". If you want more data, please check other plans:  https://jpx-jquants.com/"}});
            return true;
        }
        return false;
    };
    // The bar of stock s on trading day t, as J-Quants gives it.
    // The figures of stock s on trading day t, as J-Quants gives them (kBarNumbers), the six
    // prices and volumes and their adjusted values null on a day without a trade.
    auto figures = [this, dayList, present](std::size_t s, std::size_t t) {
        const auto& days = *dayList;
        const auto& b = m_market.stocks()[s].bars[t];
        // A split stock halves its raw prices on its split day; adjusted days before it are
        // halved as of the latest readable day.
        const std::size_t split = days.size() - 3;
        const bool splits = s % 67 == 21 && split < days.size();
        const double raw = splits && t < split ? 2.0 : 1.0;
        const double adjust = splits && t < split && days[split] <= present ? 0.5 : 1.0;
        BarFigures f;
        f.traded = b.volume != 0;
        const double factor = splits && t == split ? 0.5 : 1.0;
        f.values[6] = factor;
        if (!f.traded) {
            return f;
        }
        const double o = halfStep(b.open, b.decimal) * raw;
        const double h = halfStep(b.high, false) * raw;
        const double l = halfStep(b.low, false) * raw;
        const double c = halfStep(b.close, b.decimal) * raw;
        const double vo = static_cast<double>(b.volume) / raw;
        f.values
            = {o, h, l, c, vo, std::floor(b.close * static_cast<double>(b.volume)), factor, tenth(o * adjust),
                tenth(h * adjust), tenth(l * adjust), tenth(c * adjust), std::round(vo / adjust)};
        return f;
    };
    auto bar = [this, dayList, figures](std::size_t s, std::size_t t) {
        const auto& b = m_market.stocks()[s].bars[t];
        json row = {{"Date", core::Clock::dashed(year_month_day{(*dayList)[t]})},
            {"Code", codeOf(m_market.stocks()[s], s)}, {"UL", b.upperLimit ? "1" : "0"},
            {"LL", b.lowerLimit ? "1" : "0"}};
        const auto f = figures(s, t);
        for (std::size_t i = 0; i < kBarNumbers.size(); ++i) {
            row[kBarNumbers[i]] = f.traded || i == 6 ? json(f.values[i]) : json(nullptr);
        }
        return row;
    };
    auto dayIndex = [dayList](sys_days d) -> std::optional<std::size_t> {
        const auto& days = *dayList;
        auto it = std::lower_bound(days.begin(), days.end(), d);
        if (it == days.end() || *it != d) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(it - days.begin());
    };

    server.Get("/v2/markets/calendar", [=](const httplib::Request& req, httplib::Response& res) {
        if (!guard(req, res)) {
            return;
        }
        auto from = parseDate(req.get_param_value("from"));
        auto to = parseDate(req.get_param_value("to"));
        if (!from || !to || *to < *from || *to - *from > std::chrono::days{7000}) {
            answer(res, 400, {{"message", "from and to are required."}});
            return;
        }
        json rows = json::array();
        for (sys_days d = *from; d <= *to; d += std::chrono::days{1}) {
            rows.push_back({{"Date", core::Clock::dashed(year_month_day{d})},
                {"HolDiv", TradingCalendar::isTradingDay(year_month_day{d}) ? "1" : "0"}});
        }
        paged(req, res, rows);
    });
    // The exchange's list as of a day: of the next trading day for a holiday, of the newest for
    // a day after it; a stock delisted before, or away from the list, is not on it.
    auto masterOf = [=, this](sys_days date) {
        const auto& days = *dayList;
        const auto at = std::lower_bound(days.begin(), days.end(), date);
        const auto t = static_cast<std::size_t>(at == days.end() ? days.size() - 1 : at - days.begin());
        const sys_days listDay = at == days.end() ? date : days[t];
        const bool renamed = !m_market.marketsRenamedOn() || days[t] >= *m_market.marketsRenamedOn();
        json rows = json::array();
        const auto& stocks = m_market.stocks();
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            const int day = static_cast<int>(t);
            if (!stocks[s].listedOn(day)) {
                continue;
            }
            const auto [mkt, mktName] = marketOf(stocks[s].marketOn(day), renamed, s);
            auto industry = kIndustryCodes.find(stocks[s].industry);
            rows.push_back(
                {{"Date", core::Clock::dashed(year_month_day{listDay})}, {"Code", codeOf(stocks[s], s)},
                    {"CoName", stocks[s].nameOn(day)}, {"CoNameEn", "Sample Co."}, {"S17", "1"},
                    {"S17Nm", "食品"}, {"S33", industry == kIndustryCodes.end() ? "9999" : industry->second},
                    {"S33Nm", halfWidthPunctuation(stocks[s].industry)}, {"ScaleCat", "-"}, {"Mkt", mkt},
                    {"MktNm", mktName}, {"Mrgn", "1"}, {"MrgnNm", "信用"},
                    {"ProdCat", isFund(s) ? "014" : "011"}});
        }
        return rows;
    };
    server.Get("/v2/equities/master", [=](const httplib::Request& req, httplib::Response& res) {
        if (!guard(req, res)) {
            return;
        }
        auto date = req.has_param("date") ? parseDate(req.get_param_value("date")) : std::optional(present);
        if (!date) {
            answer(res, 400, {{"message", "date is invalid."}});
            return;
        }
        if (outside(*date, *date, res)) {
            return;
        }
        paged(req, res, masterOf(*date));
    });
    server.Get("/v2/equities/bars/daily", [=, this](const httplib::Request& req, httplib::Response& res) {
        if (!guard(req, res)) {
            return;
        }
        const auto& days = *dayList;
        const auto& stocks = m_market.stocks();
        json rows = json::array();
        if (req.has_param("date")) {
            auto date = parseDate(req.get_param_value("date"));
            if (!date) {
                answer(res, 400, {{"message", "date is invalid."}});
                return;
            }
            if (outside(*date, *date, res)) {
                return;
            }
            if (auto t = dayIndex(*date)) {
                for (std::size_t s = 0; s < stocks.size(); ++s) {
                    if (stocks[s].tradedOn(static_cast<int>(*t))) {
                        rows.push_back(bar(s, *t));
                    }
                }
            }
            paged(req, res, rows);
            return;
        }
        const std::string code = req.get_param_value("code");
        auto from
            = req.has_param("from") ? parseDate(req.get_param_value("from")) : std::optional(days.front());
        auto to = req.has_param("to") ? parseDate(req.get_param_value("to")) : std::optional(present);
        if (code.empty() || !from || !to) {
            answer(res, 400, {{"message", "code or date is required."}});
            return;
        }
        if (outside(*from, *to, res)) {
            return;
        }
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            const std::string c = codeOf(stocks[s], s);
            if (c != code && c.substr(0, 4) != code) {
                continue;
            }
            for (std::size_t t = 0; t < days.size() && static_cast<int>(t) <= stocks[s].lastDay; ++t) {
                if (days[t] >= *from && days[t] <= *to && stocks[s].tradedOn(static_cast<int>(t))) {
                    rows.push_back(bar(s, t));
                }
            }
        }
        paged(req, res, rows);
    });
    // TOPIX: the market's mean daily move, chained from 2,000 on its first day; served whatever
    // the plan, as the client asks only where its plan has it.
    server.Get(
        "/v2/indices/bars/daily/topix", [=, this](const httplib::Request& req, httplib::Response& res) {
            if (!guard(req, res)) {
                return;
            }
            if (!m_options.light) {
                answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
                return;
            }
            const auto& days = *dayList;
            auto from = req.has_param("from") ? parseDate(req.get_param_value("from"))
                                              : std::optional(days.front());
            auto to = req.has_param("to") ? parseDate(req.get_param_value("to")) : std::optional(present);
            if (!from || !to) {
                answer(res, 400, {{"message", "from or to is invalid."}});
                return;
            }
            if (outside(*from, *to, res)) {
                return;
            }
            const auto& index = topix();
            json rows = json::array();
            for (std::size_t t = 0; t < days.size() && days[t] <= present; ++t) {
                if (days[t] >= *from && days[t] <= *to) {
                    const auto& b = index[t];
                    rows.push_back({{"Date", core::Clock::dashed(year_month_day{days[t]})}, {"O", b.open},
                        {"H", b.high}, {"L", b.low}, {"C", b.close}});
                }
            }
            paged(req, res, rows);
        });
    // The day a one-day query asks for, once the key, the rate and the plan's window let it through.
    auto askedDay = [=](const httplib::Request& req, httplib::Response& res) -> std::optional<sys_days> {
        if (!guard(req, res)) {
            return std::nullopt;
        }
        auto date = parseDate(req.get_param_value("date"));
        if (!date) {
            answer(res, 400, {{"message", "date is invalid."}});
            return std::nullopt;
        }
        return outside(*date, *date, res) ? std::nullopt : date;
    };
    server.Get("/v2/equities/valuation", [=, this](const httplib::Request& req, httplib::Response& res) {
        const auto date = askedDay(req, res);
        if (!date) {
            return;
        }
        json rows = json::array();
        const auto& stocks = m_market.stocks();
        if (auto t = dayIndex(*date)) {
            for (std::size_t s = 0; s < stocks.size(); ++s) {
                if (!stocks[s].tradedOn(static_cast<int>(*t))) {
                    continue;
                }
                json row
                    = {{"Date", core::Clock::dashed(year_month_day{*date})}, {"Code", codeOf(stocks[s], s)}};
                const json b = bar(s, *t);
                // The base price of a day without a trade: the close before it.
                const double close = b["C"].is_number() ? b["C"].get<double>() : stocks[s].bars[*t].close;
                if (isFund(s)) {
                    for (const char* k :
                        {"EPS", "FwdEPS", "BPS", "ROE", "FwdROE", "PER", "FwdPER", "PBR", "MktCap"}) {
                        row[k] = nullptr;
                    }
                    rows.push_back(row);
                    continue;
                }
                const double per = 5.0 + static_cast<double>((s * 37) % 40); // 5 to 44
                const double pbr = 0.4 + static_cast<double>((s * 13) % 30) / 10.0; // 0.4 to 3.3
                const double shares = 1e6 * static_cast<double>(10 + s % 90);
                const double eps = std::round(close / per * 100) / 100;
                const double bps = std::round(close / pbr * 100) / 100;
                row["EPS"] = makesLosses(s) ? -eps : eps;
                row["PER"] = makesLosses(s) ? -per : per;
                row["FwdEPS"] = makesLosses(s) ? json(nullptr) : json(std::round(eps * 110) / 100);
                row["FwdPER"] = makesLosses(s) ? json(nullptr) : json(std::round(per / 1.1 * 100) / 100);
                row["BPS"] = bps;
                row["PBR"] = pbr;
                row["ROE"] = std::round((makesLosses(s) ? -pbr : pbr) / per * 10000) / 10000;
                row["FwdROE"] = makesLosses(s) ? json(nullptr) : json(std::round(pbr / per * 11000) / 10000);
                row["MktCap"] = std::round(close * shares / 1e6);
                rows.push_back(row);
            }
        }
        paged(req, res, rows);
    });
    // The dividend notices published from … to, of one code or all, as far as the newest day.
    auto noticesOf = [=, this](sys_days from, sys_days to, const std::string& code) {
        json rows = json::array();
        const std::string low = core::Clock::dashed(year_month_day{std::max(from, first)});
        const std::string high = core::Clock::dashed(year_month_day{std::min(to, present)});
        for (const auto& notice : dividendNotices()) {
            const std::string pub = notice["PubDate"].get<std::string>();
            const std::string c = notice["Code"].get<std::string>();
            if (pub >= low && pub <= high && (code.empty() || c == code || c.substr(0, 4) == code)) {
                rows.push_back(notice);
            }
        }
        return rows;
    };
    server.Get("/v2/fins/dividend", [=, this](const httplib::Request& req, httplib::Response& res) {
        if (!guard(req, res)) {
            return;
        }
        if (!m_options.premium) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        const std::string code = req.get_param_value("code");
        if (req.has_param("date")) {
            const auto date = parseDate(req.get_param_value("date"));
            if (!date) {
                answer(res, 400, {{"message", "date is invalid."}});
                return;
            }
            if (!outside(*date, *date, res)) {
                paged(req, res, noticesOf(*date, *date, code));
            }
            return;
        }
        const auto from
            = req.has_param("from") ? parseDate(req.get_param_value("from")) : std::optional(first);
        const auto to = req.has_param("to") ? parseDate(req.get_param_value("to")) : std::optional(present);
        if ((code.empty() && !req.has_param("from") && !req.has_param("to")) || !from || !to) {
            answer(res, 400, {{"message", "code or date is required."}});
            return;
        }
        if (!outside(*from, *to, res)) {
            paged(req, res, noticesOf(*from, *to, code));
        }
    });
    // The filings disclosed on a day.
    auto filingsOf = [=, this](sys_days date) {
        json rows = json::array();
        const auto& days = *dayList;
        const auto& stocks = m_market.stocks();
        auto t = dayIndex(date);
        for (std::size_t s = 0; t && s < stocks.size(); ++s) {
            if (isFund(s) || !stocks[s].tradedOn(static_cast<int>(*t))) {
                continue;
            }
            const int phase = filingPhase(s, *t);
            const bool revision = (phase == 20 && revisesDividend(s)) || (phase == 30 && revisesEarnings(s));
            if (phase != 0 && !revision) {
                continue;
            }
            const std::size_t split = days.size() - 3;
            const double basis = splits(s) && *t < split ? 2.0 : 1.0;
            const double dividend = dividendBase(stocks[s]) * basis;
            const std::string disc = core::Clock::dashed(year_month_day{date});
            const int quarter = static_cast<int>(((*t + 3 * s) / 60) % 4); // 0: the year end
            auto yen = [](double v) { return core::Value::numberText(std::round(v * 10) / 10); };
            json row = {{"DiscDate", disc}, {"DiscTime", "15:00:00"}, {"Code", codeOf(stocks[s], s)},
                {"DiscNo",
                    disc.substr(0, 4) + disc.substr(5, 2) + disc.substr(8, 2)
                        + std::to_string(100000 + s * 10 + phase / 10)},
                {"CurPerType", quarter == 0 ? "FY" : std::to_string(quarter) + "Q"},
                {"CurFYSt", "2026-04-01"}, {"CurFYEn", "2027-03-31"}, {"DivAnn", ""}, {"FDivAnn", ""},
                {"NxFDivAnn", ""}, {"EPS", ""}, {"FEPS", ""}, {"NxFEPS", ""}, {"Sales", ""}, {"FSales", ""},
                {"NxFSales", ""}, {"OP", ""}, {"FOP", ""}, {"NxFOP", ""}, {"NP", ""}, {"FNP", ""},
                {"NxFNP", ""}, {"EqAR", ""}};
            const double eps = std::round(stocks[s].bars[*t].close / 20 * basis * 100) / 100;
            const double sales = eps * 1000;
            const double forecastSales = sales * (1 + salesGrowth(s));
            const double forecastOp = forecastSales * forecastMargin(s);
            const std::string equity = core::Value::numberText(equityRatio(s));
            if (phase == 20) {
                row["DocType"] = "DividendForecastRevision";
                row["FDivAnn"] = yen(dividend * 1.2);
            } else if (phase == 30) {
                row["DocType"] = "EarnForecastRevision";
                row["FEPS"] = yen(eps * 1.05);
                row["FOP"] = yen(forecastOp * 1.1);
                row["FNP"] = yen(forecastOp * 1.1 * 0.7);
            } else if (quarter == 0) {
                row["DocType"] = "FYFinancialStatements_Consolidated_JP";
                row["DivAnn"] = yen(dividend);
                row["NxFDivAnn"] = yen(dividend * 1.1);
                row["EPS"] = yen(makesLosses(s) ? -eps : eps);
                row["NxFEPS"] = yen(eps * 1.1);
                row["Sales"] = yen(sales);
                row["NxFSales"] = s % 17 == 4 ? "-" : yen(forecastSales);
                row["OP"] = s % 31 == 12 ? "" : yen(sales * opMargin(s));
                row["NxFOP"] = s % 17 == 4 ? "-" : yen(forecastOp);
                row["NP"] = yen(sales * opMargin(s) * 0.7);
                row["NxFNP"] = yen(forecastOp * 0.7);
                row["EqAR"] = equity;
            } else {
                row["DocType"] = std::to_string(quarter) + "QFinancialStatements_Consolidated_JP";
                row["FDivAnn"] = yen(dividend);
                row["EPS"] = yen(makesLosses(s) ? -eps : eps);
                row["FEPS"] = s % 17 == 4 ? "-" : yen(eps);
                row["Sales"] = yen(sales);
                row["FSales"] = yen(forecastSales);
                row["OP"] = yen(sales * opMargin(s));
                row["FOP"] = yen(forecastOp);
                row["NP"] = yen(sales * opMargin(s) * 0.7);
                row["FNP"] = yen(forecastOp * 0.7);
                row["EqAR"] = s % 5 == 2 ? "" : equity;
            }
            rows.push_back(row);
        }
        return rows;
    };
    server.Get("/v2/fins/summary", [=](const httplib::Request& req, httplib::Response& res) {
        const auto date = askedDay(req, res);
        if (date) {
            paged(req, res, filingsOf(*date));
        }
    });
    // Every bar of a trading day, as the one-day answer has them.
    // The lines of a day's bars in a file, written straight from the figures: a file of a month
    // of 4,000 stocks in a tenth of the time the answers' rows would take.
    auto barLines = [=, this](std::size_t t, std::string& csv) {
        const std::string date = core::Clock::dashed(year_month_day{(*dayList)[t]});
        const auto& stocks = m_market.stocks();
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            if (!stocks[s].tradedOn(static_cast<int>(t))) {
                continue;
            }
            const auto f = figures(s, t);
            csv += date + "," + codeOf(stocks[s], s);
            const auto& b = stocks[s].bars[t];
            const std::string limits
                = std::string(",") + (b.upperLimit ? "1" : "0") + "," + (b.lowerLimit ? "1" : "0") + ",";
            for (std::size_t i = 0; i < kBarNumbers.size(); ++i) {
                csv += i == 4 ? limits : ","; // UL and LL after the four prices
                if (f.traded || i == 6) {
                    char text[32];
                    const auto end = std::to_chars(text, text + sizeof text, f.values[i]).ptr;
                    csv.append(text, end);
                }
            }
            csv += "\n";
        }
    };
    installBulk(
        server,
        [=](FileKind kind, sys_days from, sys_days to) {
            const auto& days = *dayList;
            const std::vector<const char*>& fields = kind == FileKind::Bars ? kBarFields
                : kind == FileKind::Filings                                 ? kFilingFields
                : kind == FileKind::Dividends                               ? kDividendFields
                                                                            : kMasterFields;
            std::string csv;
            for (const char* field : fields) {
                csv += std::string(csv.empty() ? "" : ",") + field;
            }
            csv += "\n";
            if (kind == FileKind::Dividends) {
                for (const auto& row : noticesOf(from, to, {})) {
                    csv += csvLine(row, fields);
                }
                return csv;
            }
            for (auto it = std::lower_bound(days.begin(), days.end(), std::max(from, first));
                 it != days.end() && *it <= to && *it <= present; ++it) {
                if (kind == FileKind::Bars) {
                    barLines(static_cast<std::size_t>(it - days.begin()), csv);
                    continue;
                }
                for (const auto& row : kind == FileKind::Filings ? filingsOf(*it) : masterOf(*it)) {
                    csv += csvLine(row, fields);
                }
            }
            return csv;
        },
        first, present);

    // The trading day t of the market, and past its newest day the calendar's next ones: a
    // results date may lie ahead.
    auto tradingDay = [dayList](std::size_t t) {
        const auto& days = *dayList;
        if (t < days.size()) {
            return days[t];
        }
        sys_days d = days.back();
        for (std::size_t n = days.size() - 1; n < t;) {
            d += std::chrono::days{1};
            n += TradingCalendar::isTradingDay(year_month_day{d}) ? 1 : 0;
        }
        return d;
    };
    auto dashed = [](sys_days d) { return core::Clock::dashed(year_month_day{d}); };
    // The results' dates published on trading day t: each stock's announcement on a day of its
    // 60-day cycle is first published 20 trading days ahead; some move it later, some publish
    // 未定 first, one publishes a date before its own day.
    auto earningsOf = [=, this](std::size_t t) {
        json rows = json::array();
        const auto& stocks = m_market.stocks();
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            if (isFund(s) || !stocks[s].listedOn(static_cast<int>(t))) {
                continue;
            }
            for (const std::size_t ahead : {20, 10, 5}) {
                const std::size_t announced = t + ahead;
                if (earningsPhase(s, announced) != 0) {
                    continue;
                }
                const std::size_t cycle = (announced + 7 * s) / 60;
                std::string scheduled;
                if (ahead == 20) {
                    scheduled = undecidedEarnings(s)     ? ""
                        : impossibleEarnings(s) && t > 0 ? dashed(tradingDay(t - 1))
                                                         : dashed(tradingDay(announced));
                } else if (ahead == 10 && movesEarnings(s) && !undecidedEarnings(s)) {
                    scheduled = dashed(tradingDay(announced + 2));
                } else if (ahead == 5 && undecidedEarnings(s)) {
                    scheduled = dashed(tradingDay(announced));
                } else {
                    continue;
                }
                static constexpr const char* kQuarters[] = {"FY", "1Q", "2Q", "3Q"};
                rows.push_back({{"PubDate", dashed(tradingDay(t))}, {"SchDate", scheduled},
                    {"FQName", kQuarters[cycle % 4]},
                    {"FYE", std::to_string(2000 + (cycle + 3) / 4) + "-03-31"},
                    {"Code", codeOf(stocks[s], s)}, {"CoName", stocks[s].nameOn(static_cast<int>(t))},
                    {"CoNameEn", "Sample Co."}});
            }
        }
        return rows;
    };
    server.Get("/v2/fins/earnings-date", [=](const httplib::Request& req, httplib::Response& res) {
        const auto date = askedDay(req, res);
        if (!date) {
            return;
        }
        const auto t = dayIndex(*date);
        paged(req, res, t ? earningsOf(*t) : json::array());
    });
    // The margin balances of 申込日 t: weekly (a week's last trading day, published the second
    // trading day after) before 2026-09-25, then daily with their PubDate (the next trading day),
    // and the values; none before they are published.
    auto marginOf = [=, this](std::size_t t) {
        json rows = json::array();
        const auto& days = *dayList;
        const bool daily = days[t] >= sys_days{2026y / September / 25d};
        const std::size_t published = t + (daily ? 1 : 2);
        if (published >= days.size() || days[published] > present) {
            return rows;
        }
        // Weeks from Monday.
        const bool weekEnd = floor<weeks>(days[t + 1] - std::chrono::days{4})
            != floor<weeks>(days[t] - std::chrono::days{4});
        if (!daily && !weekEnd) {
            return rows;
        }
        const auto& stocks = m_market.stocks();
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            if (!stocks[s].tradedOn(static_cast<int>(t))) {
                continue;
            }
            const auto [longVol, shortVol] = marginBalance(s, t);
            const double longNeg = std::round(longVol * 0.3 / 100) * 100;
            const double shortNeg = std::round(shortVol * 0.2 / 100) * 100;
            json row = {{"Date", dashed(days[t])}, {"Code", codeOf(stocks[s], s)}, {"LongVol", longVol},
                {"ShrtVol", shortVol}, {"LongNegVol", longNeg}, {"ShrtNegVol", shortNeg},
                {"LongStdVol", longVol - longNeg}, {"ShrtStdVol", shortVol - shortNeg},
                {"IssType", s % 3 == 0 ? "2" : "1"}};
            if (daily) {
                const double close = stocks[s].bars[t].close;
                row["PubDate"] = dashed(tradingDay(published));
                row["LongVal"] = std::round(longVol * close);
                row["ShrtVal"] = std::round(shortVol * close);
                row["LongNegVal"] = std::round(longNeg * close);
                row["ShrtNegVal"] = std::round(shortNeg * close);
                row["LongStdVal"] = std::round((longVol - longNeg) * close);
                row["ShrtStdVal"] = std::round((shortVol - shortNeg) * close);
            } else {
                for (const char* k :
                    {"LongVal", "ShrtVal", "LongNegVal", "ShrtNegVal", "LongStdVal", "ShrtStdVal"}) {
                    row[k] = nullptr;
                }
            }
            rows.push_back(row);
        }
        return rows;
    };
    server.Get("/v2/markets/margin-interest", [=, this](const httplib::Request& req, httplib::Response& res) {
        if (!guard(req, res)) {
            return;
        }
        if (!m_options.standard) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        auto date = parseDate(req.get_param_value("date"));
        if (!date) {
            answer(res, 400, {{"message", "date is invalid."}});
            return;
        }
        if (outside(*date, *date, res)) {
            return;
        }
        const auto t = dayIndex(*date);
        paged(req, res, t ? marginOf(*t) : json::array());
    });
}

std::pair<double, double> JQuantsApi::marginBalance(std::size_t index, std::size_t t)
{
    const double longVol = 1000.0 * static_cast<double>(10 + (index * 7 + t / 5) % 90);
    double shortVol = noShortBalance(index) ? 0 : 1000.0 * static_cast<double>(5 + (index * 3 + t / 7) % 40);
    if (negativeBalance(index, t)) {
        shortVol = -100;
    }
    return {longVol, shortVol};
}

} // namespace zuvemo::sample

namespace zuvemo::sample {

std::string JQuantsApi::endpointOf(FileKind kind)
{
    switch (kind) {
    case FileKind::Bars:
        return "/equities/bars/daily";
    case FileKind::Filings:
        return "/fins/summary";
    case FileKind::Dividends:
        return "/fins/dividend";
    case FileKind::Master:
        break;
    }
    return "/equities/master";
}

std::string JQuantsApi::keyOf(FileKind fileKind, const std::string& period)
{
    const std::string kind = endpointOf(fileKind).substr(1);
    std::string stem = kind + "_";
    std::replace(stem.begin(), stem.end(), '/', '_');
    return kind + (period.size() == 6 ? "/historical/" : "/daily/") + period.substr(0, 4) + "/" + stem
        + period + ".csv.gz";
}

void JQuantsApi::installBulk(httplib::Server& server, CsvOf csvOf, sys_days first, sys_days present)
{
    m_csvOf = std::move(csvOf);
    m_modified = core::Clock::dashed(year_month_day{present}) + "T09:00:00Z";
    // Whole months up to the one before the newest day's; that month's days each a file.
    std::vector<std::pair<FileKind, std::string>> periods; // (kind, YYYYMM or YYYYMMDD)
    constexpr FileKind kKinds[] = {FileKind::Bars, FileKind::Filings, FileKind::Dividends, FileKind::Master};
    const year_month_day newest{present};
    for (year_month m = year_month_day{first}.year() / year_month_day{first}.month();
         m < newest.year() / newest.month(); m += months{1}) {
        const std::string period
            = std::to_string(static_cast<int>(m.year())) + twoDigits(unsigned(m.month()));
        for (const auto kind : kKinds) {
            periods.emplace_back(kind, period);
        }
    }
    for (sys_days d = sys_days{newest.year() / newest.month() / 1}; d <= present; d += days{1}) {
        if (TradingCalendar::isTradingDay(year_month_day{d})) {
            const std::string period = core::Clock::dashed(year_month_day{d});
            const std::string compact = period.substr(0, 4) + period.substr(5, 2) + period.substr(8, 2);
            for (const auto kind : kKinds) {
                periods.emplace_back(kind, compact);
            }
        }
    }
    for (const auto& [kind, period] : periods) {
        m_periods[keyOf(kind, period)] = {kind, period};
    }

    server.Get("/v2/bulk/list", [this](const httplib::Request& req, httplib::Response& res) {
        if (!guardRequest(req, res)) {
            return;
        }
        if (!m_options.bulkFiles) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        const std::string endpoint = req.get_param_value("endpoint");
        std::optional<FileKind> kind;
        for (const auto k : {FileKind::Bars, FileKind::Filings, FileKind::Dividends, FileKind::Master}) {
            kind = endpointOf(k) == endpoint ? std::optional(k) : kind;
        }
        if (!kind) {
            answer(res, 400, {{"message", "endpoint or date is required."}});
            return;
        }
        if (kind == FileKind::Dividends && !m_options.premium) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        json rows = json::array();
        for (const auto& [key, period] : m_periods) {
            if (period.first == *kind) {
                // Made anew each day: adjusted as of the newest day, as the one-day answers are.
                rows.push_back({{"Key", key}, {"LastModified", m_modified}, {"Size", sizeOf(key)}});
            }
        }
        answer(res, 200, {{"data", rows}});
    });
    server.Get("/v2/bulk/get", [this](const httplib::Request& req, httplib::Response& res) {
        if (!guardRequest(req, res)) {
            return;
        }
        if (!m_options.bulkFiles) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        const std::string key = req.get_param_value("key");
        if (!m_periods.count(key)) {
            answer(res, 404, {{"message", "The specified key does not exist."}});
            return;
        }
        if (m_periods.at(key).first == FileKind::Dividends && !m_options.premium) {
            answer(res, 403, {{"message", "This API is not available on your subscription plan."}});
            return;
        }
        // A name of its own for each answer, good for one download before it expires.
        std::lock_guard lock(m_fileMutex);
        const std::uint64_t serial = ++m_signed;
        const std::string token = std::to_string(serial) + "-"
            + std::to_string(
                std::hash<std::string>{}(m_options.apiKey + "|" + key + "|" + std::to_string(serial)));
        m_tokens[token] = {key, steady_clock::now() + m_options.fileLifetime};
        answer(res, 200, {{"url", m_fileBase + "/" + key + "?signature=" + token}});
    });
}

void JQuantsApi::installFiles(httplib::Server& files, const std::string& base)
{
    m_fileBase = base;
    files.Get(R"(/(.+\.csv\.gz))", [this](const httplib::Request& req, httplib::Response& res) {
        std::string key;
        std::string refusal;
        {
            std::lock_guard lock(m_fileMutex);
            std::string head;
            for (const auto& [name, value] : req.headers) {
                head += name;
                head += ": ";
                head += value;
                head += "\n";
            }
            m_fileHeads.push_back(head);
            const auto token = m_tokens.find(req.get_param_value("signature"));
            if (token == m_tokens.end() || token->second.first != req.matches[1].str()) {
                refusal = "AccessDenied";
            } else {
                if (steady_clock::now() > token->second.second) {
                    refusal = "Request has expired";
                }
                key = token->second.first;
                m_tokens.erase(token); // one use
            }
        }
        if (!refusal.empty()) {
            res.status = 403;
            res.set_content("<?xml version=\"1.0\"?><Error><Code>AccessDenied</Code><Message>" + refusal
                    + "</Message></Error>",
                "application/xml");
            return;
        }
        res.set_content(fileOf(key), "application/gzip");
    });
}

std::string JQuantsApi::fileOf(const std::string& key)
{
    const auto period = m_periods.at(key);
    const std::string& p = period.second;
    const year_month_day from = p.size() == 6
        ? year{std::stoi(p.substr(0, 4))} / month{unsigned(std::stoi(p.substr(4, 2)))} / 1
        : year{std::stoi(p.substr(0, 4))} / month{unsigned(std::stoi(p.substr(4, 2)))}
            / day{unsigned(std::stoi(p.substr(6, 2)))};
    const sys_days to
        = p.size() == 6 ? sys_days{from.year() / from.month() / std::chrono::last} : sys_days{from};
    return gzipped(m_csvOf(period.first, sys_days{from}, to));
}

std::int64_t JQuantsApi::sizeOf(const std::string& key)
{
    {
        std::lock_guard lock(m_fileMutex);
        if (const auto it = m_sizes.find(key); it != m_sizes.end()) {
            return it->second;
        }
    }
    const auto size = static_cast<std::int64_t>(fileOf(key).size());
    std::lock_guard lock(m_fileMutex);
    m_sizes[key] = size;
    return size;
}

std::vector<std::string> JQuantsApi::fileHeads() const
{
    std::lock_guard lock(m_fileMutex);
    return m_fileHeads;
}

} // namespace zuvemo::sample
