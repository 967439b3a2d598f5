#include "RuleGrid.h"

#include "FigureRange.h"
#include "FigureTable.h"
#include "ReportText.h"
#include "RuleHistory.h"
#include "core/Value.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace zuvemo::analysis {

namespace {

std::string fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

int decimalsOf(const std::string& text)
{
    const auto dot = text.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

// A value of FROM:TO:STEP as it would be typed: no trailing zeros, no "-0".
std::string typed(double value, int decimals)
{
    std::string text = fixed(value, decimals);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

std::vector<std::string> split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = text.find(by, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

std::optional<int> horizonOf(const std::string& text)
{
    const auto value = core::Value::decimal(text);
    if (!value || *value != std::floor(*value) || *value < 1 || *value > RuleTest::kMaxHold) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

nlohmann::ordered_json orNull(const std::optional<double>& v)
{
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

std::string shown(const std::optional<double>& v, bool sign)
{
    return !v ? std::string("-") : sign ? TrackReport::signedPercent(*v) : TrackReport::percent(*v);
}

nlohmann::ordered_json figuresJson(const WalkForward::Figures& f)
{
    return {{"totalReturn", f.totalReturn}, {"annualReturn", f.annualReturn}, {"maxDrawdown", f.maxDrawdown},
        {"sharpe", orNull(f.sharpe)}};
}

std::string figuresText(const WalkForward::Figures& f)
{
    return "総リターン " + TrackReport::signedPercent(f.totalReturn) + "  年率 "
        + TrackReport::signedPercent(f.annualReturn) + "  最大下落 " + TrackReport::percent(f.maxDrawdown)
        + "  シャープレシオ " + (f.sharpe ? fixed(*f.sharpe, 2) : std::string("-"));
}

} // namespace

std::optional<RuleGrid::Objective> RuleGrid::objectiveOf(const std::string& name)
{
    if (name == "sharpe") {
        return Objective::Sharpe;
    }
    if (name == "return") {
        return Objective::Return;
    }
    if (name == "excess") {
        return Objective::Excess;
    }
    return std::nullopt;
}

const char* RuleGrid::objectiveName(Objective objective)
{
    return objective == Objective::Sharpe ? "sharpe" : objective == Objective::Return ? "return" : "excess";
}

const char* RuleGrid::objectiveHeading(Objective objective)
{
    return objective == Objective::Sharpe ? "シャープレシオ"
        : objective == Objective::Return  ? "総リターン"
                                          : "平均超過リターン";
}

std::optional<double> RuleGrid::score(const Row& row, Objective objective)
{
    return objective == Objective::Sharpe ? row.sharpe
        : objective == Objective::Return  ? row.totalReturn
                                          : row.meanExcess;
}

RuleGrid::Bound RuleGrid::parse(const std::string& text, const StockFinder::Conditions& conditions)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw Refused("名前=値の並び の形で指定してください（" + text + "）。");
    }
    Bound b;
    b.name = text.substr(0, eq);
    const std::string list = text.substr(eq + 1);
    const FigureTable::Figure* figure = nullptr;
    if (b.name != kHorizon) {
        const auto dot = b.name.rfind('.');
        const std::string side = dot == std::string::npos ? std::string() : b.name.substr(dot + 1);
        b.figure = dot == std::string::npos ? b.name : b.name.substr(0, dot);
        figure = FigureTable::figure(b.figure);
        if (!figure || !figure->condition || (side != "min" && side != "max")) {
            throw Refused(b.name + " は範囲の条件の下限（.min）か上限（.max）ではありません。");
        }
        if (conditions.ranges.count(b.figure) == 0) {
            throw Refused(
                b.name + " はこのルールの条件にありません（--" + b.figure + " で範囲を指定してください）。");
        }
        b.upper = side == "max";
    }
    if (list.empty()) {
        throw Refused(b.name + " の値がありません。");
    }
    std::vector<std::string> values;
    if (list.find(':') != std::string::npos) {
        const auto parts = split(list, ':');
        if (parts.size() != 3) {
            throw Refused(b.name + " の範囲は 始め:終わり:刻み の形で指定してください（" + list + "）。");
        }
        const auto from = core::Value::decimal(parts[0]), to = core::Value::decimal(parts[1]),
                   step = core::Value::decimal(parts[2]);
        if (!from || !to || !step) {
            throw Refused(b.name + " の範囲に数字でない値があります（" + list + "）。");
        }
        if (!(*step > 0)) {
            throw Refused(b.name + " の刻みは 0 より大きくしてください（" + parts[2] + "）。");
        }
        if (*from > *to) {
            throw Refused(b.name + " の範囲が逆です（" + parts[0] + " が " + parts[1] + " より大きい）。");
        }
        const double count = std::floor((*to - *from) / *step + 1e-9) + 1;
        if (count > static_cast<double>(kMaxVariants)) {
            throw Refused(b.name + " の値が " + FigureTable::grouped(static_cast<long long>(count))
                + " 個あり、設定は 1,000 通りまでです。");
        }
        const int decimals = std::max({decimalsOf(parts[0]), decimalsOf(parts[1]), decimalsOf(parts[2])});
        for (int i = 0; i < static_cast<int>(count); ++i) {
            values.push_back(typed(*from + i * *step, decimals));
        }
    } else {
        values = split(list, ',');
    }
    for (const auto& v : values) {
        if (v.empty()) {
            throw Refused(b.name + " の値の並びに空の値があります（" + list + "）。");
        }
        if (!figure) {
            if (!horizonOf(v)) {
                throw Refused(b.name + " には 1 から 250 までの日数を指定してください（" + v + "）。");
            }
        } else if (const auto parsed
                   = b.upper ? FigureRange::parse("", v, *figure) : FigureRange::parse(v, "", *figure);
                   !parsed.ok()) {
            throw Refused(b.name + " の値が正しくありません（" + v + "）。" + parsed.error);
        }
        if (std::find(b.values.begin(), b.values.end(), v) == b.values.end()) {
            b.values.push_back(v);
        }
    }
    return b;
}

RuleGrid::Plan RuleGrid::plan(const std::vector<Bound>& bounds, const StockFinder::Conditions& conditions)
{
    if (bounds.size() > kMaxBounds) {
        throw Refused(
            "変える条件は 3 つまでです（" + std::to_string(bounds.size()) + " 個指定されています）。");
    }
    std::size_t count = 1;
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (bounds[j].name == bounds[i].name) {
                throw Refused(bounds[i].name + " が 2 度指定されています。");
            }
        }
        count *= std::max<std::size_t>(1, bounds[i].values.size());
        if (count > kMaxVariants) {
            std::size_t all = 1;
            for (const auto& b : bounds) {
                all *= b.values.size();
            }
            throw Refused("設定の組み合わせが " + FigureTable::grouped(static_cast<long long>(all))
                + " 通りあり、1,000 通りまでです。");
        }
    }
    Plan p;
    std::vector<std::size_t> at(bounds.size(), 0);
    for (std::size_t made = 0; made < count; ++made) {
        RuleTest::Variant v;
        std::vector<std::string> settings;
        for (std::size_t i = 0; i < bounds.size(); ++i) {
            const auto& b = bounds[i];
            const std::string& value = b.values[at[i]];
            settings.push_back(value);
            if (b.figure.empty()) {
                v.horizon = *horizonOf(value);
                continue;
            }
            const auto* figure = FigureTable::figure(b.figure);
            auto [it, fresh] = v.ranges.try_emplace(b.figure, conditions.ranges.at(b.figure));
            const auto parsed
                = b.upper ? FigureRange::parse("", value, *figure) : FigureRange::parse(value, "", *figure);
            (b.upper ? it->second.max : it->second.min) = b.upper ? parsed.range->max : parsed.range->min;
            if (it->second.min && it->second.max && *it->second.min > *it->second.max) {
                throw Refused(
                    b.name + "=" + value + " では " + figure->heading + " の下限が上限を上回ります。");
            }
        }
        p.variants.push_back(std::move(v));
        p.settings.push_back(std::move(settings));
        for (std::size_t i = bounds.size(); i-- > 0;) {
            if (++at[i] < bounds[i].values.size()) {
                break;
            }
            at[i] = 0;
        }
    }
    return p;
}

std::vector<double> RuleGrid::dailyReturns(const RuleSimulation::Result& simulation, double capital)
{
    std::vector<double> out;
    out.reserve(simulation.equity.size());
    double before = capital;
    for (const auto& p : simulation.equity) {
        out.push_back(before > 0 ? p.value / before - 1 : 0);
        before = p.value;
    }
    return out;
}

RuleGrid::Result RuleGrid::run(
    RuleTest& test, const RuleTest::Options& rule, const std::vector<Bound>& bounds, const Options& options)
{
    Result out;
    out.objective = options.objective;
    out.rolling = options.rolling;
    for (const auto& b : bounds) {
        out.bounds.push_back(b.name);
    }
    const Plan plan = RuleGrid::plan(bounds, rule.conditions);
    RuleTest::Options o = rule;
    o.simulate = true;
    o.eachEvent = nullptr;
    const std::size_t n = plan.variants.size();
    out.rows.resize(n);
    out.returns.resize(n);
    out.capital = o.simulation.capital;
    auto sink = [&](std::size_t i, TrackReport&& report) {
        Row& row = out.rows[i];
        row.settings = plan.settings[i];
        row.horizon = report.horizons.empty() ? 0 : report.horizons.back();
        if (!report.groups.empty()) {
            for (const auto& r : report.groups.front().rows) {
                if (r.signal == TrackRecord::Signal::Rule && r.horizon == row.horizon) {
                    row.events = r.count;
                    if (r.count > 0) {
                        row.hitRate = r.hitRate;
                    }
                    row.meanExcess = r.excess;
                }
            }
        }
        if (report.simulation) {
            const auto& sim = *report.simulation;
            row.trades = sim.trades;
            row.totalReturn = sim.totalReturn;
            row.annualReturn = sim.annualReturn;
            row.maxDrawdown = sim.maxDrawdown;
            const auto daily = dailyReturns(sim, out.capital);
            row.sharpe = WalkForward::annualSharpe(daily);
            out.returns[i].assign(daily.begin(), daily.end());
            if (i == 0) {
                double market = out.capital, topix = out.capital;
                for (const auto& p : sim.equity) {
                    out.days.push_back(p.date);
                    out.market.push_back(p.market / market - 1);
                    market = p.market;
                    if (p.topix) {
                        out.topix.push_back(*p.topix / topix - 1);
                        topix = *p.topix;
                    }
                }
                if (out.topix.size() != out.days.size()) {
                    out.topix.clear();
                }
            }
        }
        if (options.each) {
            options.each(i, std::move(report));
        }
    };
    out.common = test.runVariants(o, plan.variants, sink);
    if (!out.common.message.empty()) {
        out.message = out.common.message;
        return out;
    }
    if (out.common.days <= 0) {
        out.message = out.common.note;
        return out;
    }
    const std::size_t days = out.days.size();
    if (options.walkForward > 0) {
        if (const std::size_t span = WalkForward::blockDays(days, options.walkForward);
            span < WalkForward::kMinBlockDays) {
            out.message = "検証した " + FigureTable::grouped(static_cast<long long>(days)) + " 日を "
                + std::to_string(options.walkForward + 1) + " 区間に分けると 1 区間 " + std::to_string(span)
                + " 日で、60 日以上必要です。";
            out.walkForwardRefused = true;
            return out;
        }
    }
    out.order.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.order[i] = i;
    }
    std::stable_sort(out.order.begin(), out.order.end(), [&](std::size_t a, std::size_t b) {
        const auto x = score(out.rows[a], out.objective), y = score(out.rows[b], out.objective);
        if (!x || !y) {
            return x.has_value() && !y.has_value();
        }
        return *x > *y;
    });
    out.odds = OverfitOdds::measure(out.returns);
    if (options.walkForward > 0) {
        auto judge = [&](std::size_t v, std::size_t from, std::size_t to) {
            const auto& r = out.returns[v];
            if (out.objective == Objective::Sharpe) {
                return OverfitOdds::sharpe(r, from, to).value_or(-INFINITY);
            }
            double sum = 0;
            for (std::size_t t = from; t < to; ++t) {
                sum += out.objective == Objective::Return ? std::log1p(static_cast<double>(r[t]))
                                                          : r[t] - out.market[t];
            }
            return sum;
        };
        out.walkForward = WalkForward::run(out.returns, out.market, out.topix, options.walkForward,
            options.rolling, judge, out.order.front(), out.capital);
    }

    RuleHistory::Entry e;
    e.rule = RuleHistory::describe(rule.conditions) + "（" + RuleTest::optionWords(o) + "）";
    for (const auto& b : bounds) {
        e.rule += "、" + b.name + " " + b.values.front() + "〜" + b.values.back();
    }
    e.firstDay = out.common.firstDay;
    e.lastDay = out.common.lastDay;
    e.days = out.common.days;
    e.variants = static_cast<int>(n);
    const Row& best = out.rows[out.order.front()];
    e.result = "最良 ";
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        e.result += (k ? "、" : "") + bounds[k].name + "=" + best.settings[k];
    }
    e.result += std::string("（") + objectiveHeading(out.objective) + "）: 総リターン "
        + shown(best.totalReturn, true) + "、シャープレシオ "
        + (best.sharpe ? fixed(*best.sharpe, 2) : std::string("-"));
    if (out.odds.pbo) {
        e.result += "、PBO " + std::to_string(static_cast<int>(std::lround(*out.odds.pbo * 100))) + " %";
    }
    out.common.historyError = test.remember(std::move(e));
    return out;
}

std::string RuleGrid::Result::text() const
{
    std::string t = "設定 " + FigureTable::grouped(static_cast<long long>(rows.size()))
        + " 通りを検証しました（" + common.firstDay + " 〜 " + common.lastDay + "、"
        + FigureTable::grouped(common.days) + " 日、" + std::to_string(common.stocks)
        + " 銘柄）。並び順: " + objectiveHeading(objective) + "\n";
    std::string head;
    for (const auto& b : bounds) {
        head += b + "  ";
    }
    t += head + "期間（日）  件数  的中率  平均超過  総リターン  年率  最大下落  シャープレシオ  取引\n";
    for (const std::size_t i : order) {
        const Row& r = rows[i];
        std::string line;
        for (const auto& s : r.settings) {
            line += s + "  ";
        }
        line += std::to_string(r.horizon) + "  " + std::to_string(r.events) + "  " + shown(r.hitRate, false)
            + "  " + shown(r.meanExcess, true) + "  " + shown(r.totalReturn, true) + "  "
            + shown(r.annualReturn, true) + "  " + shown(r.maxDrawdown, false) + "  "
            + (r.sharpe ? fixed(*r.sharpe, 2) : std::string("-")) + "  " + std::to_string(r.trades);
        t += line + "\n";
    }
    t += "\n";
    for (const auto& line : OverfitOdds::words(odds)) {
        t += line + "\n";
    }
    if (walkForward) {
        const auto& w = *walkForward;
        t += "\nウォークフォワード（" + std::to_string(w.blocks.size()) + " 回、"
            + (rolling ? "直前の区間で選択" : "それまでの全区間で選択") + "）\n";
        for (const auto& b : w.blocks) {
            std::string chosen;
            for (std::size_t k = 0; k < bounds.size(); ++k) {
                chosen += (k ? "、" : "") + bounds[k] + "=" + rows[b.chosen].settings[k];
            }
            t += "  " + days[b.first] + " 〜 " + days[b.last] + "  " + chosen + "  " + figuresText(b.figures)
                + "\n";
        }
        t += "  検証外の通算: " + figuresText(w.outOfSampleFigures) + "\n";
        t += "  全期間で最良の設定: " + figuresText(w.inSampleBestFigures) + "\n";
        t += "  市場平均: " + figuresText(w.marketFigures) + "\n";
        if (w.topixFigures) {
            t += "  TOPIX: " + figuresText(*w.topixFigures) + "\n";
        }
    }
    return t;
}

std::string RuleGrid::Result::json() const
{
    nlohmann::ordered_json out;
    auto settingsOf = [&](const Row& r) {
        nlohmann::ordered_json s = nlohmann::ordered_json::object();
        for (std::size_t k = 0; k < bounds.size(); ++k) {
            s[bounds[k]] = core::Value::decimal(r.settings[k]).value_or(0);
        }
        return s;
    };
    out["firstDay"] = common.firstDay;
    out["lastDay"] = common.lastDay;
    out["days"] = common.days;
    out["stocks"] = common.stocks;
    auto variants = nlohmann::ordered_json::array();
    for (const std::size_t i : order) {
        const Row& r = rows[i];
        variants.push_back({{"settings", settingsOf(r)}, {"horizon", r.horizon}, {"events", r.events},
            {"hitRate", orNull(r.hitRate)}, {"meanExcess", orNull(r.meanExcess)},
            {"totalReturn", orNull(r.totalReturn)}, {"annualReturn", orNull(r.annualReturn)},
            {"maxDrawdown", orNull(r.maxDrawdown)}, {"sharpe", orNull(r.sharpe)}, {"trades", r.trades}});
    }
    out["variants"] = std::move(variants);
    out["objective"] = objectiveName(objective);
    out["pbo"] = orNull(odds.pbo);
    out["pboLoss"] = orNull(odds.loss);
    out["deflatedSharpe"] = orNull(odds.deflatedSharpe);
    out["trials"] = odds.trials;
    if (!odds.note.empty()) {
        out["oddsNote"] = odds.note;
    }
    if (walkForward) {
        const auto& w = *walkForward;
        nlohmann::ordered_json wf;
        wf["rolling"] = rolling;
        auto blocks = nlohmann::ordered_json::array();
        for (const auto& b : w.blocks) {
            auto block = figuresJson(b.figures);
            nlohmann::ordered_json head{
                {"first", days[b.first]}, {"last", days[b.last]}, {"chosen", settingsOf(rows[b.chosen])}};
            head.update(block);
            blocks.push_back(std::move(head));
        }
        wf["blocks"] = std::move(blocks);
        wf["outOfSample"] = figuresJson(w.outOfSampleFigures);
        wf["inSampleBest"] = figuresJson(w.inSampleBestFigures);
        wf["market"] = figuresJson(w.marketFigures);
        wf["topix"] = w.topixFigures ? figuresJson(*w.topixFigures) : nlohmann::ordered_json(nullptr);
        out["walkForward"] = std::move(wf);
    }
    return out.dump();
}

std::string RuleGrid::Result::csv() const
{
    std::string out = "\xEF\xBB\xBF";
    for (const auto& b : bounds) {
        out += ReportText::csvField(b) + ",";
    }
    out += "期間（日）,件数,的中率,平均超過,総リターン,年率リターン,最大下落,シャープレシオ,取引数\r\n";
    auto number = [](const std::optional<double>& v) { return v ? ReportText::shortest(*v) : std::string(); };
    for (const std::size_t i : order) {
        const Row& r = rows[i];
        for (const auto& s : r.settings) {
            out += s + ",";
        }
        out += std::to_string(r.horizon) + "," + std::to_string(r.events) + "," + number(r.hitRate) + ","
            + number(r.meanExcess) + "," + number(r.totalReturn) + "," + number(r.annualReturn) + ","
            + number(r.maxDrawdown) + "," + number(r.sharpe) + "," + std::to_string(r.trades) + "\r\n";
    }
    return out;
}

} // namespace zuvemo::analysis
