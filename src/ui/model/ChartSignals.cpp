#include "ChartSignals.h"

#include "analysis/TrackRecord.h"
#include "analysis/TrackReport.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"

#include <algorithm>

namespace zuvemo::ui {

using analysis::Indicators::Mark;

ChartSignals::ChartSignals(std::vector<double> close, const std::vector<double>& volume, int chartDays)
    : m_close(std::move(close))
{
    const int n = static_cast<int>(std::min(m_close.size(), volume.size()));
    m_close.resize(static_cast<std::size_t>(n));
    m_days = std::clamp(chartDays, 0, n);
    m_short.resize(m_close.size());
    m_volume.resize(m_close.size());
    analysis::Indicators::signalsByDay(
        m_close.data(), volume.data(), n, analysis::TrackRecord::kWindow, m_short.data(), m_volume.data());
}

ChartSignals ChartSignals::read(core::Mdl_Start& module, int chartDays)
{
    std::vector<double> close;
    std::vector<double> volume;
    auto rs = module.SharedConnection->openRecordset(" SELECT Wen,Wdk FROM WorkTemp ORDER BY Wcount DESC");
    for (; !rs->isEof(); rs->moveNext()) {
        close.push_back(rs->field(0).toDouble());
        volume.push_back(rs->field(1).toDouble());
    }
    return ChartSignals(std::move(close), volume, chartDays);
}

std::size_t ChartSignals::storedIndex(int day) const
{
    return m_close.size() - static_cast<std::size_t>(m_days) + static_cast<std::size_t>(day);
}

Mark ChartSignals::shortMark(int day) const
{
    return day >= 0 && day < m_days ? m_short[storedIndex(day)] : Mark::None;
}

Mark ChartSignals::volumeMark(int day) const
{
    return day >= 0 && day < m_days ? m_volume[storedIndex(day)] : Mark::None;
}

bool ChartSignals::returnAfter(int day, int horizon, double* value) const
{
    if (day < 0 || day >= m_days || horizon < 1) {
        return false;
    }
    const std::size_t from = storedIndex(day);
    const std::size_t to = from + static_cast<std::size_t>(horizon);
    if (to >= m_close.size() || m_close[from] == 0 || m_close[to] == 0) {
        return false;
    }
    *value = (m_close[to] - m_close[from]) / m_close[from];
    return true;
}

std::string ChartSignals::returnsLine(int day) const
{
    std::string line = "その後";
    for (int h : kHorizons) {
        double r = 0;
        line += " " + std::to_string(h) + "日 "
            + (returnAfter(day, h, &r) ? analysis::TrackReport::signedPercent(r) : std::string("-"));
    }
    return line;
}

} // namespace zuvemo::ui
