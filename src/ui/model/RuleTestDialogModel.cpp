#include "RuleTestDialogModel.h"

#include "analysis/FigureTable.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zuvemo::ui {

namespace {

using analysis::TrackReport;

std::vector<GridData::Column> ruleColumns()
{
    return {{"区分", 900, Align::Left}, {"日数", 500, Align::Right}, {"件数", 900, Align::Right},
        {"的中", 900, Align::Right}, {"的中率", 800, Align::Right}, {"95%区間", 1700, Align::Right},
        {"平均", 900, Align::Right}, {"中央値", 900, Align::Right}, {"同日平均", 900, Align::Right},
        {"同日上昇率", 1000, Align::Right}, {"超過", 900, Align::Right}, {"判定", 1300, Align::Left}};
}

std::vector<GridData::Column> moneyColumns()
{
    return {{"", 1300, Align::Left}, {"この条件", 1300, Align::Right},
        {"市場（全銘柄均等）", 1900, Align::Right}};
}

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

bool RuleTestDialogModel::setHorizons(const std::string& text)
{
    std::vector<int> horizons;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto comma = std::min(text.find_first_of(",、", from), text.size());
        std::string part = text.substr(from, comma - from);
        part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
        int value = 0;
        bool digits = !part.empty() && part.size() <= 3;
        for (char c : part) {
            digits = digits && c >= '0' && c <= '9';
            value = value * 10 + (c - '0');
        }
        if (!digits || value < 1 || value > 250) {
            message = "日数には 1〜250 の営業日数を、カンマで区切って 3 つまで入力してください。";
            return false;
        }
        horizons.push_back(value);
        // "、" is three bytes.
        from = comma + (comma < text.size() && text[comma] != ',' ? 3 : 1);
    }
    std::sort(horizons.begin(), horizons.end());
    horizons.erase(std::unique(horizons.begin(), horizons.end()), horizons.end());
    if (horizons.size() > 3) {
        message = "日数には 1〜250 の営業日数を、カンマで区切って 3 つまで入力してください。";
        return false;
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
    m_done = 0;
    m_total = 0;
    message.clear();
    progress = "検証中…";
    m_pending = true;
    auto options = m_options;
    options.progress = [this](std::size_t done, std::size_t total) {
        m_done = done;
        m_total = total;
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
        const std::size_t total = m_total;
        progress = total > 0 ? "検証中… " + count(static_cast<double>(m_done.load())) + " / "
                + count(static_cast<double>(total))
                             : "検証中…";
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

std::string RuleTestDialogModel::describe(const analysis::StockFinder::Conditions& c)
{
    std::vector<std::string> parts;
    if (!c.market.empty()) {
        parts.push_back("市場 " + c.market);
    }
    if (!c.industry.empty()) {
        parts.push_back("業種 " + c.industry);
    }
    if (!c.signal.empty()) {
        parts.push_back(std::string(c.confirmed ? "中期シグナル " : "短期シグナル ") + c.signal);
    } else if (c.confirmed) {
        parts.emplace_back("中期シグナルあり");
    }
    auto number = [](const analysis::FigureTable::Figure& f, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", value / f.scale);
        return std::string(text) + (f.unit == analysis::FigureTable::Unit::Percent ? "%" : "");
    };
    for (const auto& f : analysis::FigureTable::figures()) {
        const auto it = c.ranges.find(f.name);
        if (it == c.ranges.end()) {
            continue;
        }
        const auto& r = it->second;
        parts.push_back(std::string(f.heading) + " " + (r.min ? number(f, *r.min) : "") + "〜"
            + (r.max ? number(f, *r.max) : ""));
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        if (c.flags.count(flag.name)) {
            parts.emplace_back(flag.heading);
        }
    }
    if (c.cross != 0) {
        parts.emplace_back(c.cross > 0 ? "ゴールデンクロス" : "デッドクロス");
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "、") + part;
    }
    return text;
}

std::string RuleTestDialogModel::limitsOf(const TrackReport& r)
{
    int figureDays = r.days;
    for (const auto& [key, days] : r.figureDays) {
        figureDays = std::min(figureDays, days);
    }
    char cost[32];
    std::snprintf(cost, sizeof cost, "%g", r.simulationSettings.cost * 100);
    return "株価 " + count(r.days) + " 日分、指標は " + count(figureDays) + " 日分で検証。手数料片道 " + cost
        + " %。過去の結果は将来を保証しません。";
}

void RuleTestDialogModel::fill()
{
    const auto& r = m_report;
    grid.setRows(1);
    money.setRows(1);
    dates.clear();
    equity.clear();
    market.clear();
    heading.clear();
    limits.clear();
    if (r.empty()) {
        return;
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
            grid.setText(line, 3, count(row.hits));
            if (row.count > 0) {
                grid.setText(line, 4, TrackReport::percent(row.hitRate));
                grid.setText(line, 5, TrackReport::percent(row.low) + "〜" + TrackReport::percent(row.high));
                grid.setText(line, 6, TrackReport::signedPercent(row.mean));
                grid.setText(line, 7, TrackReport::signedPercent(row.median));
                grid.setText(line, 8, TrackReport::signedPercent(row.sameDayMean.value_or(0)));
                grid.setText(line, 9, TrackReport::percent(row.sameDayRise.value_or(0)));
                grid.setText(line, 10, TrackReport::signedPercent(row.excess.value_or(0)));
                if (!row.chance) {
                    grid.paintRow(line, row.low > row.baseHigh ? kHigherColour : kLowerColour);
                }
            }
            grid.setText(line, 11, TrackReport::verdict(row));
            ++line;
        }
    }
    if (r.simulation) {
        const auto& s = *r.simulation;
        const std::vector<std::tuple<std::string, std::string, std::string>> lines{
            {"保有", std::to_string(r.simulationSettings.horizon) + " 日", ""},
            {"損益", shown(s.totalReturn, true), shown(s.marketReturn, true)},
            {"年率", shown(s.annualReturn, true), shown(s.marketAnnualReturn, true)},
            {"最大下落", shown(s.maxDrawdown, false), shown(s.marketMaxDrawdown, false)},
            {"売買回数", count(s.trades), ""}, {"勝率", shown(s.winRate, false), ""},
            {"保有日率", shown(s.exposure, false), ""},
            {"最終資産", s.equity.empty() ? "" : count(s.equity.back().value) + " 円",
                s.equity.empty() ? "" : count(s.equity.back().market) + " 円"}};
        money.setRows(static_cast<int>(lines.size()) + 1);
        int m = 1;
        for (const auto& [name, mine, all] : lines) {
            money.setText(m, 0, name);
            money.setText(m, 1, mine);
            money.setText(m, 2, all);
            ++m;
        }
        for (const auto& p : s.equity) {
            dates.push_back(p.date);
            equity.push_back(p.value);
            market.push_back(p.market);
        }
    }
}

} // namespace zuvemo::ui
