#include "RuleRangeModel.h"

#include "RuleTestDialogModel.h"
#include "analysis/FigureTable.h"
#include "analysis/OverfitOdds.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zuvemo::ui {

namespace {

std::string typed(const analysis::FigureTable::Figure& f, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value / f.scale);
    return text;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string shown(const std::optional<double>& v, bool sign)
{
    return !v  ? std::string("-")
        : sign ? analysis::TrackReport::signedPercent(*v)
               : analysis::TrackReport::percent(*v);
}

std::string scoreText(const std::optional<double>& v, analysis::RuleGrid::Objective objective)
{
    if (!v) {
        return "-";
    }
    return objective == analysis::RuleGrid::Objective::Sharpe ? fixed(*v, 2)
                                                              : analysis::TrackReport::signedPercent(*v);
}

// Red through yellow to green, as grid colours (red in the low byte).
std::uint32_t blend(std::uint32_t a, std::uint32_t b, double t)
{
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double x = static_cast<double>((a >> shift) & 0xFF),
                     y = static_cast<double>((b >> shift) & 0xFF);
        out |= static_cast<std::uint32_t>(std::lround(x + (y - x) * t)) << shift;
    }
    return out;
}

} // namespace

RuleRangeModel::RuleRangeModel(std::filesystem::path programFolder, analysis::RuleTest::Options options)
    : m_folder(std::move(programFolder))
    , m_options(std::move(options))
{
    for (const auto& [name, range] : m_options.conditions.ranges) {
        const auto* f = analysis::FigureTable::figure(name);
        if (!f) {
            continue;
        }
        if (range.min) {
            fields.push_back(
                Field{name + ".min", std::string(f->heading) + " 下限", typed(*f, *range.min), "", ""});
        }
        if (range.max) {
            fields.push_back(
                Field{name + ".max", std::string(f->heading) + " 上限", typed(*f, *range.max), "", ""});
        }
    }
    const int horizon = m_options.horizons.empty()
        ? 20
        : *std::max_element(m_options.horizons.begin(), m_options.horizons.end());
    fields.push_back(Field{analysis::RuleGrid::kHorizon, "日数", std::to_string(horizon), "", ""});
}

RuleRangeModel::~RuleRangeModel()
{
    stop();
}

bool RuleRangeModel::start()
{
    stop();
    message.clear();
    std::vector<analysis::RuleGrid::Bound> bounds;
    for (const auto& f : fields) {
        if (f.to.empty() && f.step.empty()) {
            continue;
        }
        const std::string list = f.from + ":" + f.to + ":" + (f.step.empty() ? "1" : f.step);
        try {
            bounds.push_back(analysis::RuleGrid::parse(f.bound + "=" + list, m_options.conditions));
        } catch (const analysis::RuleGrid::Refused& e) {
            message = f.heading + ": " + e.what();
            return false;
        }
    }
    if (bounds.empty()) {
        message = "変える条件の範囲（始め・終わり・刻み）を 1 つ以上入力してください。";
        return false;
    }
    try {
        m_plan = analysis::RuleGrid::plan(bounds, m_options.conditions);
    } catch (const analysis::RuleGrid::Refused& e) {
        message = e.what();
        return false;
    }
    if (walkForward != 0
        && (walkForward < analysis::WalkForward::kMinSplits
            || walkForward > analysis::WalkForward::kMaxSplits)) {
        message = "ウォークフォワードの区切りは 2 から 10 にしてください。";
        return false;
    }
    m_bounds = bounds;
    m_stop = false;
    m_finished = false;
    m_pending = true;
    progress = "検証中…";
    {
        std::lock_guard lock(m_mutex);
        m_progress.reset();
    }
    auto options = m_options;
    options.progress = [this](const analysis::RuleTest::Progress& p) {
        std::lock_guard lock(m_mutex);
        m_progress = p;
        return !m_stop;
    };
    analysis::RuleGrid::Options grid;
    grid.objective = objective;
    grid.walkForward = walkForward;
    grid.rolling = rolling && walkForward > 0;
    m_thread = std::thread([this, options, grid, bounds] {
        analysis::RuleGrid::Result result;
        std::string error;
        try {
            // A connection of this thread's own: the window's stays free to paint and answer.
            core::Mdl_Start module(m_folder);
            module.setBusyTimeoutMs(5000);
            if (!module.ReadConfigFile() || !module.OpenDatabase()) {
                error = core::Mdl_Start::OpenFailureMessage(module.DatabasePath);
            } else {
                analysis::RuleTest test(module);
                result = analysis::RuleGrid::run(test, options, bounds, grid);
            }
        } catch (const core::DatabaseError& e) {
            error = e.userText();
        } catch (const std::exception&) {
            error = "検証できませんでした。";
        }
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(result);
            m_error = std::move(error);
        }
        m_finished = true;
    });
    return true;
}

void RuleRangeModel::stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool RuleRangeModel::poll()
{
    if (!m_pending) {
        return false;
    }
    if (!m_finished) {
        std::lock_guard lock(m_mutex);
        if (m_progress) {
            progress = RuleTestDialogModel::progressText(*m_progress, -1);
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
        m_grid = std::move(m_result);
        message = m_error.empty() ? m_grid.message : m_error;
        if (!m_grid.common.historyError.empty()) {
            message = analysis::RuleTest::historyNotKept(m_grid.common.historyError);
        }
    }
    fill();
    loadHistory();
    return true;
}

analysis::RuleTest::Options RuleRangeModel::optionsOf(std::size_t variant) const
{
    auto o = m_options;
    o.simulate = true;
    o.progress = nullptr;
    if (variant < m_plan.variants.size()) {
        for (const auto& [name, range] : m_plan.variants[variant].ranges) {
            o.conditions.ranges[name] = range;
        }
        if (m_plan.variants[variant].horizon > 0) {
            o.horizons = {m_plan.variants[variant].horizon};
        }
    }
    return o;
}

void RuleRangeModel::sortBy(int column)
{
    if (m_grid.rows.empty() || column < 0 || column >= grid.cols()) {
        return;
    }
    m_descending = column == m_sortColumn ? !m_descending : true;
    m_sortColumn = column;
    const std::size_t settings = m_grid.bounds.size();
    auto key = [&](const analysis::RuleGrid::Row& r) -> std::optional<double> {
        if (static_cast<std::size_t>(column) < settings) {
            return core::Value::decimal(r.settings[static_cast<std::size_t>(column)]);
        }
        switch (static_cast<std::size_t>(column) - settings) {
        case 0:
            return r.events;
        case 1:
            return r.hitRate;
        case 2:
            return r.meanExcess;
        case 3:
            return r.totalReturn;
        case 4:
            return r.annualReturn;
        case 5:
            return r.maxDrawdown;
        case 6:
            return r.sharpe;
        default:
            return r.trades;
        }
    };
    std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
        const auto x = key(m_grid.rows[a]), y = key(m_grid.rows[b]);
        if (!x || !y) {
            return x.has_value() && !y.has_value();
        }
        return m_descending ? *x > *y : *x < *y;
    });
    fillGrid();
}

void RuleRangeModel::fillGrid()
{
    std::vector<GridData::Column> columns;
    for (const auto& b : m_grid.bounds) {
        columns.push_back({b, 1100, Align::Right});
    }
    for (const char* heading :
        {"件数", "的中率", "平均超過", "総リターン", "年率", "最大下落", "シャープレシオ", "取引"}) {
        columns.push_back({heading, 1100, Align::Right});
    }
    grid.setColumns(columns);
    grid.setRows(static_cast<int>(m_order.size()) + 1);
    const std::size_t best = m_grid.order.empty() ? 0 : m_grid.order.front();
    for (std::size_t k = 0; k < m_order.size(); ++k) {
        const auto& r = m_grid.rows[m_order[k]];
        const int row = static_cast<int>(k) + 1;
        int c = 0;
        for (const auto& s : r.settings) {
            grid.setText(row, c++, s, Align::Right);
        }
        for (const auto& text : {analysis::FigureTable::grouped(r.events), shown(r.hitRate, false),
                 shown(r.meanExcess, true), shown(r.totalReturn, true), shown(r.annualReturn, true),
                 shown(r.maxDrawdown, false), r.sharpe ? fixed(*r.sharpe, 2) : std::string("-"),
                 analysis::FigureTable::grouped(r.trades)}) {
            grid.setText(row, c++, text, Align::Right);
        }
        grid.paintRow(row, m_order[k] == best ? kHighColour : GridColor::kWhite);
    }
}

void RuleRangeModel::fill()
{
    heatMap.reset();
    odds.clear();
    walkDates.clear();
    walkLine.clear();
    marketLine.clear();
    topixLine.clear();
    walkText.clear();
    m_order = m_grid.order;
    m_sortColumn = -1;
    fillGrid();
    if (m_grid.rows.empty() || !message.empty()) {
        return;
    }
    odds = analysis::OverfitOdds::words(m_grid.odds);

    if (m_grid.bounds.size() >= 2) {
        HeatMap h;
        h.xName = m_grid.bounds[0];
        h.yName = m_grid.bounds[1];
        for (const auto& r : m_grid.rows) {
            if (std::find(h.xValues.begin(), h.xValues.end(), r.settings[0]) == h.xValues.end()) {
                h.xValues.push_back(r.settings[0]);
            }
            if (std::find(h.yValues.begin(), h.yValues.end(), r.settings[1]) == h.yValues.end()) {
                h.yValues.push_back(r.settings[1]);
            }
        }
        const std::size_t none = m_grid.rows.size();
        h.variant.assign(h.yValues.size(), std::vector<std::size_t>(h.xValues.size(), none));
        // m_grid.order is best first: the first variant met in a cell is its best.
        for (const std::size_t v : m_grid.order) {
            const auto& r = m_grid.rows[v];
            const auto x = static_cast<std::size_t>(
                std::find(h.xValues.begin(), h.xValues.end(), r.settings[0]) - h.xValues.begin());
            const auto y = static_cast<std::size_t>(
                std::find(h.yValues.begin(), h.yValues.end(), r.settings[1]) - h.yValues.begin());
            if (h.variant[y][x] == none) {
                h.variant[y][x] = v;
            }
        }
        double low = INFINITY, high = -INFINITY;
        for (const auto& r : m_grid.rows) {
            if (const auto s = analysis::RuleGrid::score(r, objective)) {
                low = std::min(low, *s);
                high = std::max(high, *s);
            }
        }
        h.text.assign(h.yValues.size(), std::vector<std::string>(h.xValues.size()));
        h.colour.assign(h.yValues.size(), std::vector<std::uint32_t>(h.xValues.size(), GridColor::kGrey));
        for (std::size_t y = 0; y < h.yValues.size(); ++y) {
            for (std::size_t x = 0; x < h.xValues.size(); ++x) {
                const std::size_t v = h.variant[y][x];
                const auto s = analysis::RuleGrid::score(m_grid.rows[v], objective);
                h.text[y][x] = scoreText(s, objective);
                if (s) {
                    const double t = high > low ? (*s - low) / (high - low) : 1;
                    h.colour[y][x] = t < 0.5 ? blend(kLowColour, kMiddleColour, t * 2)
                                             : blend(kMiddleColour, kHighColour, t * 2 - 1);
                }
                if (v == m_grid.order.front()) {
                    h.bestX = x;
                    h.bestY = y;
                }
            }
        }
        if (low <= high) {
            h.legendLow = scoreText(low, objective);
            h.legendHigh = scoreText(high, objective);
        }
        heatMap = std::move(h);
    }

    if (m_grid.walkForward) {
        const auto& w = *m_grid.walkForward;
        auto compound = [&](const std::vector<double>& returns) {
            std::vector<double> line;
            double value = m_grid.capital;
            for (const double r : returns) {
                value *= 1 + r;
                line.push_back(value);
            }
            return line;
        };
        walkDates.assign(m_grid.days.begin() + static_cast<std::ptrdiff_t>(w.firstDay), m_grid.days.end());
        walkLine = compound(w.outOfSample);
        marketLine = compound(w.market);
        topixLine = compound(w.topix);
        walkText = "ウォークフォワード（" + std::to_string(w.blocks.size()) + " 区間）: 総リターン "
            + analysis::TrackReport::signedPercent(w.outOfSampleFigures.totalReturn)
            + "、全期間で最良の設定は "
            + analysis::TrackReport::signedPercent(w.inSampleBestFigures.totalReturn) + "、市場平均 "
            + analysis::TrackReport::signedPercent(w.marketFigures.totalReturn)
            + (w.topixFigures ? "、TOPIX " + analysis::TrackReport::signedPercent(w.topixFigures->totalReturn)
                              : std::string());
    }
}

void RuleRangeModel::loadHistory()
{
    history.clear();
    historyHeading.clear();
    try {
        core::Mdl_Start module(m_folder);
        if (!module.ReadConfigFile() || !module.OpenDatabase()) {
            return;
        }
        const auto entries = analysis::RuleHistory::list(*module.SharedConnection);
        long long variants = 0;
        for (const auto& e : entries) {
            variants += e.variants;
            history.push_back(e.at + "  " + e.rule + "  " + e.firstDay + " 〜 " + e.lastDay + "  "
                + analysis::FigureTable::grouped(e.variants) + " 通り  " + e.result);
        }
        historyHeading = "検証履歴: " + analysis::FigureTable::grouped(static_cast<double>(entries.size()))
            + " 回、設定 " + analysis::FigureTable::grouped(static_cast<double>(variants)) + " 通り";
    } catch (const core::DatabaseError&) {
        // The history is a help beside the result: a folder that cannot show it shows none.
    }
}

} // namespace zuvemo::ui
