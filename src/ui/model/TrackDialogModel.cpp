#include "TrackDialogModel.h"

#include "MainWindowModel.h"
#include "analysis/TrackRun.h"
#include "core/CommandLock.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/FileLock.h"
#include "core/Mdl_Start.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"

#include <memory>
#include <string_view>

namespace zuvemo::ui {

namespace {

std::vector<GridData::Column> columns()
{
    return {{"シグナル", 1800, Align::Left}, {"日数", 600, Align::Right}, {"件数", 1000, Align::Right},
        {"的中", 1000, Align::Right}, {"的中率", 900, Align::Right}, {"95%区間", 1900, Align::Right},
        {"平均", 1000, Align::Right}, {"中央値", 1000, Align::Right}, {"判定", 1500, Align::Left}};
}

// The windows' name of the volume-confirmed signal: "中期買" for "出来高確認買".
std::string signalName(analysis::TrackRecord::Signal signal)
{
    std::string name = analysis::TrackRecord::signalName(signal);
    const std::string_view cli = "出来高確認";
    if (name.rfind(cli, 0) == 0) {
        name = MainWindowModel::kMidTermHeading + name.substr(cli.size());
    }
    return name;
}

std::string orAll(const std::string& text)
{
    const std::string trimmed = core::Utf8::trim(text);
    return trimmed.empty() ? "すべて" : trimmed;
}

} // namespace

TrackDialogModel::TrackDialogModel(core::Mdl_Start& module, std::string market, std::string industry)
    : caption("成績  市場: " + orAll(market) + "  業種: " + orAll(industry))
    , grid(columns())
    , m_module(module)
    , m_market(std::move(market))
    , m_industry(std::move(industry))
{
}

bool TrackDialogModel::load(const std::function<void()>& whileWaiting)
{
    message.clear();
    heading.clear();
    grid.setRows(1);
    // A CSV folder's refresh deletes the history files this reads. A J-Quants folder's store
    // is read up to the list's day, as find reads it: the fill writes beside it.
    std::unique_ptr<core::FileLock> lock;
    if (!marketdata::DataSource::read(*m_module.SharedConnection).isJQuants()) {
        lock = core::CommandLock::acquire(
            m_module.programFolder(), &message, core::CommandLock::kWaitMs, whileWaiting);
        if (!lock) {
            return false;
        }
    }
    analysis::TrackRun::Options options;
    options.market = m_market;
    options.industry = m_industry;
    try {
        m_report = analysis::TrackRun(m_module).run(options);
    } catch (const core::DatabaseError& e) {
        message = e.userText();
        return false;
    }
    if (m_report.empty()) {
        message = m_report.message;
        // Before the fill has stored a list and its prices, there is nothing to do but wait.
        if (fillRunning
            && (message == analysis::TrackRun::kNoStocksMessage
                || message == analysis::TrackRun::kNoStoreMessage)) {
            message = kFillRunningMessage;
        }
        return false;
    }
    fill();
    return true;
}

void TrackDialogModel::fill()
{
    const auto& r = m_report;
    std::string horizons;
    for (std::size_t i = 0; i < r.horizons.size(); ++i) {
        horizons += (i ? ", " : "") + std::to_string(r.horizons[i]);
    }
    auto grouped = [](long n) { return core::FormatNumber(static_cast<double>(n), "#,##0"); };
    heading = "基準日 " + r.tradingDate + "  銘柄 " + grouped(r.stocks) + "  (" + horizons
        + " 営業日後の終値と比べて)";
    const auto& rows = r.groups.front().rows;
    grid.setRows(static_cast<int>(rows.size()) + 1);
    int line = 1;
    for (const auto& row : rows) {
        grid.setText(line, 0, signalName(row.signal));
        grid.setText(line, 1, std::to_string(row.horizon));
        grid.setText(line, 2, grouped(row.count));
        grid.setText(line, 3, grouped(row.hits));
        if (row.count > 0) {
            grid.setText(line, 4, analysis::TrackReport::percent(row.hitRate));
            grid.setText(line, 5,
                analysis::TrackReport::percent(row.low) + "〜" + analysis::TrackReport::percent(row.high));
            grid.setText(line, 6, analysis::TrackReport::signedPercent(row.mean));
            grid.setText(line, 7, analysis::TrackReport::signedPercent(row.median));
        }
        grid.setText(line, 8, analysis::TrackReport::verdict(row));
        // The base line and the signals set apart from it stand out, above it in one colour and
        // below it in another; chance stays plain.
        if (row.signal == analysis::TrackRecord::Signal::AllDays) {
            grid.paintRow(line, GridColor::kLightOrange);
        } else if (row.count > 0 && !row.chance) {
            grid.paintRow(line, row.low > row.baseHigh ? kHigherColour : kLowerColour);
        }
        ++line;
    }
}

} // namespace zuvemo::ui
