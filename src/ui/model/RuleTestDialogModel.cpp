#include "RuleTestDialogModel.h"

#include "KeptSettings.h"
#include "analysis/FigureTable.h"
#include "analysis/RuleHistory.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Utf8.h"
#include "core/Value.h"
#include "marketdata/jquants/BackgroundFill.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

namespace zuvemo::ui {

namespace {

using analysis::TrackReport;

std::vector<GridData::Column> ruleColumns()
{
    return {{"区分", 900, Align::Left}, {"日数", 500, Align::Right}, {"件数", 900, Align::Right},
        {"約定せず", 900, Align::Right}, {"的中", 900, Align::Right}, {"的中率", 800, Align::Right},
        {"95%区間", 1700, Align::Right}, {"平均", 900, Align::Right}, {"中央値", 900, Align::Right},
        {"同日平均", 900, Align::Right}, {"同日上昇率", 1000, Align::Right}, {"超過", 900, Align::Right},
        {"TOPIX平均", 1000, Align::Right}, {"TOPIX超過", 1000, Align::Right}, {"判定", 1300, Align::Left}};
}

// With TOPIX's column where the simulation has it.
std::vector<GridData::Column> moneyColumns(bool topix = false)
{
    std::vector<GridData::Column> columns{{"", 1900, Align::Left}, {"この条件", 1300, Align::Right},
        {"市場（全銘柄均等）", 1900, Align::Right}};
    if (topix) {
        columns.push_back({"TOPIX", 1100, Align::Right});
    }
    return columns;
}

// A whole number typed in a box, full-width digits and grouping commas taken; none for other text.
std::optional<int> wholeNumber(const std::string& text)
{
    const std::string digits = core::Utf8::asciiNumber(text);
    int value = 0;
    const auto end = digits.data() + digits.size();
    const auto res = std::from_chars(digits.data(), end, value);
    if (digits.empty() || digits[0] == '-' || res.ec != std::errc() || res.ptr != end) {
        return std::nullopt;
    }
    return value;
}

// A number typed in a box, a unit after it left out.
std::optional<double> decimalNumber(const std::string& text, const std::string& unit)
{
    std::string digits = core::Utf8::asciiNumber(text);
    if (digits.size() >= unit.size() && digits.compare(digits.size() - unit.size(), unit.size(), unit) == 0) {
        digits = core::Utf8::trim(digits.substr(0, digits.size() - unit.size()));
    }
    return core::Value::decimal(digits);
}

std::string shortest(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

constexpr const char* kBadHorizons
    = "日数には 1〜250 の営業日数を、カンマで区切って 3 つまで入力してください。";

std::string count(double n)
{
    return analysis::FigureTable::grouped(std::round(n));
}

// A figure of the simulation, blank for none as a row's rate without a count.
std::string shown(const std::optional<double>& v, bool sign)
{
    if (!v) {
        return {};
    }
    return sign ? TrackReport::signedPercent(*v) : TrackReport::percent(*v);
}

std::string yen(double value)
{
    return count(value) + " 円";
}

} // namespace

RuleTestDialogModel::RuleTestDialogModel(std::filesystem::path programFolder,
    analysis::RuleTest::Options options, const std::string& conditionsText)
    : caption("成績  条件: " + (conditionsText.empty() ? std::string("なし") : conditionsText))
    , grid(ruleColumns())
    , money(moneyColumns())
    , m_folder(std::move(programFolder))
    , m_options(std::move(options))
{
    m_options.simulate = true;
}

RuleTestDialogModel::~RuleTestDialogModel()
{
    stop();
}

bool RuleTestDialogModel::refuse(Box box, const std::string& text)
{
    fault = box;
    message = text;
    return false;
}

RuleTestDialogModel::Boxes RuleTestDialogModel::boxes() const
{
    const auto& o = m_options;
    const auto& sim = o.simulation;
    Boxes b;
    for (const int h : o.horizons) {
        b.horizons += (b.horizons.empty() ? "" : ",") + std::to_string(h);
    }
    b.nextOpen = o.nextOpen;
    b.byYear = o.by == analysis::RuleTest::GroupBy::Year;
    b.everyDay = o.everyDay;
    const int longest = o.horizons.empty() ? 1 : *std::max_element(o.horizons.begin(), o.horizons.end());
    b.hold = std::to_string(o.hold > 0 ? o.hold : longest);
    b.slotCount = std::to_string(sim.slotCount);
    b.capital = count(sim.capital);
    b.lot = sim.lot;
    b.cost = shortest(sim.cost * 100);
    b.dividends = o.dividends.value_or(true);
    b.tax = o.tax;
    b.market = o.conditions.market;
    return b;
}

bool RuleTestDialogModel::take(const Boxes& b)
{
    const auto kept = m_options;
    const bool ok = setHorizons(b.horizons) && setHold(b.hold) && setSlots(b.slotCount)
        && setCapital(b.capital) && setLot(b.lot) && setCost(b.cost);
    if (!ok) {
        m_options = kept;
        return false;
    }
    setNextOpen(b.nextOpen);
    setByYear(b.byYear);
    setEveryDay(b.everyDay);
    setDividends(b.dividends);
    setTax(b.tax);
    setMarket(b.market);
    fault = Box::None;
    return true;
}

void RuleTestDialogModel::setDividends(bool dividends)
{
    if (dividendsStored) {
        // On asks for none where the store keeps none, rather than refusing the test.
        m_options.dividends = dividends ? std::nullopt : std::optional<bool>(false);
    }
}

void RuleTestDialogModel::setMarket(const std::string& market)
{
    if (market == m_options.conditions.market) {
        return;
    }
    m_options.conditions.market = market;
    caption = "成績  条件: " + describe(m_options.conditions);
}

bool RuleTestDialogModel::setHold(const std::string& text)
{
    if (core::Utf8::asciiNumber(text).empty()) {
        m_options.hold = 0;
        return true;
    }
    const auto days = wholeNumber(text);
    if (!days || *days < 1 || *days > analysis::RuleTest::kMaxHold) {
        return refuse(Box::Hold,
            "保有日数には 1〜" + std::to_string(analysis::RuleTest::kMaxHold)
                + " の営業日数を入力してください。");
    }
    m_options.hold = *days;
    return true;
}

bool RuleTestDialogModel::setSlots(const std::string& text)
{
    const auto slots = wholeNumber(text);
    if (!slots || *slots < 1 || *slots > analysis::RuleSimulation::kMaxSlots) {
        return refuse(Box::Slots,
            "枠数には 1〜" + count(analysis::RuleSimulation::kMaxSlots) + " の整数を入力してください。");
    }
    m_options.simulation.slotCount = *slots;
    return true;
}

bool RuleTestDialogModel::setCapital(const std::string& text)
{
    const auto yen = decimalNumber(text, "円");
    if (!yen || !(*yen >= analysis::RuleSimulation::kMinCapital)
        || *yen > analysis::RuleSimulation::kMaxCapital) {
        return refuse(Box::Capital,
            "元手には " + count(analysis::RuleSimulation::kMinCapital)
                + " 円以上、1,000 兆円以下の金額を入力してください。");
    }
    m_options.simulation.capital = *yen;
    return true;
}

bool RuleTestDialogModel::setLot(int lot)
{
    if (lot != 1 && lot != 100) {
        return refuse(Box::None, "単元には 1 株か 100 株を選んでください。");
    }
    m_options.simulation.lot = lot;
    return true;
}

bool RuleTestDialogModel::setCost(const std::string& text)
{
    const auto percent = decimalNumber(text, "%");
    if (!percent || !(*percent >= 0) || *percent > kMaxCostPercent) {
        return refuse(
            Box::Cost, "手数料には片道 0〜" + shortest(kMaxCostPercent) + " % を入力してください。");
    }
    m_options.simulation.cost = *percent / 100;
    return true;
}

void RuleTestDialogModel::load()
{
    std::map<std::string, std::string> kept;
    try {
        core::Mdl_Start module(m_folder);
        if (!module.ReadConfigFile() || !module.OpenDatabase()) {
            return;
        }
        kept = KeptSettings::read(*module.SharedConnection, kTable);
        markets = analysis::RuleTest(module).marketNames();
    } catch (const core::DatabaseError&) {
        return;
    }
    auto value = [&kept](const char* name) -> const std::string* {
        const auto it = kept.find(name);
        return it != kept.end() ? &it->second : nullptr;
    };
    if (const auto* v = value("horizons")) {
        setHorizons(*v);
    }
    if (const auto* v = value("entry")) {
        setNextOpen(*v == "next-open");
    }
    if (const auto* v = value("byYear")) {
        setByYear(*v == "1");
    }
    if (const auto* v = value("everyDay")) {
        setEveryDay(*v == "1");
    }
    if (const auto* v = value("hold")) {
        setHold(*v);
    }
    if (const auto* v = value("slots")) {
        setSlots(*v);
    }
    if (const auto* v = value("capital")) {
        setCapital(*v);
    }
    if (const auto* v = value("lot")) {
        setLot(wholeNumber(*v).value_or(0));
    }
    if (const auto* v = value("cost")) {
        setCost(*v);
    }
    if (const auto* v = value("dividends")) {
        setDividends(*v == "1");
    }
    if (const auto* v = value("tax")) {
        setTax(*v == "1");
    }
    message.clear();
    fault = Box::None;
}

void RuleTestDialogModel::save()
{
    const auto b = boxes();
    try {
        core::Mdl_Start module(m_folder);
        if (!module.ReadConfigFile() || !module.OpenDatabase()) {
            return;
        }
        KeptSettings::write(*module.SharedConnection, kTable,
            {{"horizons", b.horizons}, {"entry", b.nextOpen ? "next-open" : "close"},
                {"byYear", b.byYear ? "1" : "0"}, {"everyDay", b.everyDay ? "1" : "0"},
                {"hold", m_options.hold > 0 ? b.hold : std::string()}, {"slots", b.slotCount},
                {"capital", b.capital}, {"lot", std::to_string(b.lot)}, {"cost", b.cost},
                {"dividends", b.dividends ? "1" : "0"}, {"tax", b.tax ? "1" : "0"}});
    } catch (const core::DatabaseError&) {
        // Kept only for convenience: a locked database must not stop the test.
    }
}

bool RuleTestDialogModel::setHorizons(const std::string& text)
{
    // Any of the commas an input method types between them.
    std::string list = text;
    for (const std::string_view comma : {"、", "，"}) {
        for (auto at = list.find(comma); at != std::string::npos; at = list.find(comma, at)) {
            list.replace(at, comma.size(), ",");
        }
    }
    std::vector<int> horizons;
    std::size_t from = 0;
    while (from <= list.size()) {
        const auto comma = std::min(list.find(',', from), list.size());
        const auto value = wholeNumber(list.substr(from, comma - from));
        if (!value || *value < 1 || *value > 250) {
            return refuse(Box::Horizons, kBadHorizons);
        }
        horizons.push_back(*value);
        from = comma + 1;
    }
    std::sort(horizons.begin(), horizons.end());
    horizons.erase(std::unique(horizons.begin(), horizons.end()), horizons.end());
    if (horizons.size() > 3) {
        return refuse(Box::Horizons, kBadHorizons);
    }
    m_options.horizons = horizons;
    return true;
}

void RuleTestDialogModel::setByYear(bool byYear)
{
    m_options.by = byYear ? analysis::RuleTest::GroupBy::Year : analysis::RuleTest::GroupBy::None;
}

void RuleTestDialogModel::start()
{
    stop();
    m_stop = false;
    m_finished = false;
    message.clear();
    progress = "検証中…";
    progressShare = -1;
    m_pending = true;
    m_started = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(m_mutex);
        m_progress.reset();
        m_pace = RuleTestPace();
    }
    auto options = m_options;
    options.progress = [this](const analysis::RuleTest::Progress& p) {
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        std::lock_guard lock(m_mutex);
        m_progress = p;
        m_pace.observe(p, seconds);
        return !m_stop;
    };
    m_thread = std::thread([this, options] {
        analysis::TrackReport report;
        std::string error;
        try {
            // A connection of this thread's own: the window's stays free to paint and answer.
            core::Mdl_Start module(m_folder);
            module.setBusyTimeoutMs(5000);
            if (!module.ReadConfigFile() || !module.OpenDatabase()) {
                error = core::Mdl_Start::OpenFailureMessage(module.DatabasePath);
            } else {
                report = analysis::RuleTest(module).run(options);
            }
        } catch (const core::DatabaseError& e) {
            error = e.userText();
        } catch (const std::exception&) {
            error = "検証できませんでした。";
        }
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(report);
            m_error = std::move(error);
        }
        m_finished = true;
    });
}

bool RuleTestDialogModel::run(const Boxes& b)
{
    if (!take(b)) {
        return false;
    }
    save();
    start();
    return true;
}

void RuleTestDialogModel::stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool RuleTestDialogModel::poll()
{
    if (!m_pending) {
        return false;
    }
    if (!m_finished) {
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        std::lock_guard lock(m_mutex);
        if (m_progress) {
            // Between two steps the pace of the new one is not known yet: the old estimate runs on.
            double left = m_pace.secondsLeft(seconds);
            if (left < 0 && progressShare >= 0) {
                left = std::max(0.0, (1 - progressShare) / progressShare * m_shareAt - (seconds - m_shareAt));
            }
            if (const double share = m_pace.share(seconds); share >= 0) {
                progressShare = share;
                m_shareAt = seconds;
            }
            progress = progressText(*m_progress, left);
        }
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_pending = false;
    progress.clear();
    {
        std::lock_guard lock(m_mutex);
        m_report = std::move(m_result);
        message = m_error.empty() ? m_report.message : m_error;
    }
    fill();
    return true;
}

void RuleTestDialogModel::show(analysis::TrackReport report)
{
    m_report = std::move(report);
    message = m_report.message;
    fill();
}

std::string RuleTestDialogModel::describe(const analysis::StockFinder::Conditions& c)
{
    return analysis::RuleHistory::describe(c);
}

std::string RuleTestDialogModel::limitsOf(const TrackReport& r)
{
    std::string text = "株価 " + count(r.days) + " 日分";
    // A rule of signals alone reads no figure.
    if (!r.figureDays.empty()) {
        int figureDays = r.days;
        for (const auto& [key, days] : r.figureDays) {
            figureDays = std::min(figureDays, days);
        }
        text += "、指標は " + count(figureDays) + " 日分";
    }
    text += "で検証。";
    for (const auto& line : r.limitLines()) {
        text += line + "。";
    }
    return text + "過去の結果は将来を保証しません。";
}

std::string RuleTestDialogModel::progressText(const analysis::RuleTest::Progress& p, double secondsLeft)
{
    using Step = analysis::RuleTest::Progress::Step;
    const std::string counted
        = count(static_cast<double>(p.done)) + " / " + count(static_cast<double>(p.total));
    std::string text = p.step == Step::Prices ? "株価を読み込み中… " + counted + " 銘柄"
        : p.step == Step::Figures             ? "指標を読み込み中… " + counted + " 日"
        : p.step == Step::Variants            ? "設定ごとに集計中… " + counted + " 通り"
                                              : "検証中… " + counted + " 銘柄";
    if (secondsLeft >= 0) {
        text += "  "
            + marketdata::BackgroundFill::timeLeftText(static_cast<long>(std::ceil(secondsLeft / 60)));
    }
    return text;
}

void RuleTestDialogModel::fill()
{
    const auto& r = m_report;
    grid.setRows(1);
    money.setRows(1);
    dates.clear();
    equity.clear();
    market.clear();
    topix.clear();
    heading.clear();
    limits.clear();
    moneyHeading.clear();
    if (r.empty()) {
        return;
    }
    // Off says nothing of the store.
    if (r.dividends != TrackReport::Dividends::Off) {
        dividendsStored = r.dividends == TrackReport::Dividends::Included;
    }
    heading = "基準日 " + r.tradingDate + "  銘柄 " + count(r.stocks) + "  検証 "
        + (r.days > 0 ? r.firstDay + "〜" + r.lastDay : std::string("-"))
        + "  買い: " + (r.nextOpen ? "翌日始値" : "当日終値") + "  "
        + (r.everyDay ? "成り立った日ごと" : "成り立った初日ごと");
    if (!r.note.empty()) {
        heading += "  " + r.note;
    }
    limits = limitsOf(r);
    int rows = 0;
    for (const auto& g : r.groups) {
        rows += static_cast<int>(g.rows.size());
    }
    grid.setRows(rows + 1);
    int line = 1;
    for (const auto& g : r.groups) {
        for (const auto& row : g.rows) {
            grid.setText(line, 0, g.name);
            grid.setText(line, 1, std::to_string(row.horizon));
            grid.setText(line, 2, count(row.count));
            grid.setText(line, 3, count(row.unfilled));
            grid.setText(line, 4, count(row.hits));
            if (row.count > 0) {
                grid.setText(line, 5, TrackReport::percent(row.hitRate));
                grid.setText(line, 6, TrackReport::percent(row.low) + "〜" + TrackReport::percent(row.high));
                grid.setText(line, 7, TrackReport::signedPercent(row.mean));
                grid.setText(line, 8, TrackReport::signedPercent(row.median));
                grid.setText(line, 9, TrackReport::signedPercent(row.sameDayMean.value_or(0)));
                grid.setText(line, 10, TrackReport::percent(row.sameDayRise.value_or(0)));
                grid.setText(line, 11, TrackReport::signedPercent(row.excess.value_or(0)));
                auto shown
                    = [](const std::optional<double>& v) { return v ? TrackReport::signedPercent(*v) : "-"; };
                grid.setText(line, 12, shown(row.topixMean));
                grid.setText(line, 13, shown(row.excessTopix));
                if (!row.chance) {
                    grid.paintRow(line, row.low > row.baseHigh ? kHigherColour : kLowerColour);
                }
            }
            grid.setText(line, 14, TrackReport::verdict(row));
            ++line;
        }
    }
    if (r.simulation) {
        const auto& s = *r.simulation;
        const auto& st = r.simulationSettings;
        const bool topixShown = s.topixReturn.has_value();
        std::vector<std::vector<std::string>> lines{{"保有", std::to_string(st.horizon) + " 日", ""},
            {"損益", shown(s.totalReturn, true), shown(s.marketReturn, true), shown(s.topixReturn, true)},
            {"年率", shown(s.annualReturn, true), shown(s.marketAnnualReturn, true),
                shown(s.topixAnnualReturn, true)},
            {"最大下落", shown(s.maxDrawdown, false), shown(s.marketMaxDrawdown, false),
                shown(s.topixMaxDrawdown, false)},
            {"売買回数", count(s.trades), ""}, {"約定せず", count(s.unfilled), ""},
            {"勝率", shown(s.winRate, false), ""}, {"終値時点の保有日率", shown(s.exposure, false), ""},
            {"最終資産", s.equity.empty() ? "" : yen(s.equity.back().value),
                s.equity.empty() ? "" : yen(s.equity.back().market),
                s.equity.empty() || !s.equity.back().topix ? "" : yen(*s.equity.back().topix)}};
        const bool dividends = st.dividends || s.dividends != 0, tax = st.tax || s.tax != 0;
        if (dividends) {
            lines.push_back({"受取配当", yen(s.dividends), ""});
        }
        if (tax) {
            lines.push_back({"税金", yen(s.tax), ""});
        }
        if (m_options.by == analysis::RuleTest::GroupBy::Year && !s.years.empty()) {
            lines.push_back({"年ごとの損益", "", ""});
            for (const auto& year : s.years) {
                lines.push_back({year.year + " 年", TrackReport::signedPercent(year.totalReturn),
                    TrackReport::signedPercent(year.marketReturn), shown(year.topixReturn, true)});
            }
            // The money's own: the market lines neither receive nor pay.
            for (const auto& [name, shownHere, of] :
                std::vector<std::tuple<std::string, bool, double analysis::RuleSimulation::Year::*>>{
                    {"年ごとの受取配当", dividends, &analysis::RuleSimulation::Year::dividends},
                    {"年ごとの税金", tax, &analysis::RuleSimulation::Year::tax}}) {
                if (!shownHere) {
                    continue;
                }
                lines.push_back({name, "", ""});
                for (const auto& year : s.years) {
                    lines.push_back({year.year + " 年", yen(year.*of), ""});
                }
            }
        }
        moneyHeading = "運用: " + TrackReport::simulationTerms(st);
        if (money.cols() != (topixShown ? 4 : 3)) {
            money.setColumns(moneyColumns(topixShown));
        }
        money.setRows(static_cast<int>(lines.size()) + 1);
        int m = 1;
        for (const auto& cells : lines) {
            for (int c = 0; c < money.cols() && c < static_cast<int>(cells.size()); ++c) {
                money.setText(m, c, cells[static_cast<std::size_t>(c)]);
            }
            ++m;
        }
        const bool anyTopix = std::any_of(
            s.equity.begin(), s.equity.end(), [](const auto& p) { return p.topix.has_value(); });
        for (const auto& p : s.equity) {
            dates.push_back(p.date);
            equity.push_back(p.value);
            market.push_back(p.market);
            if (anyTopix) {
                topix.push_back(p.topix.value_or(std::numeric_limits<double>::quiet_NaN()));
            }
        }
    }
}

} // namespace zuvemo::ui
