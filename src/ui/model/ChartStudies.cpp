#include "ChartStudies.h"

#include "analysis/PriceStudies.h"
#include "analysis/TechnicalFigures.h"
#include "core/ValueRules.h"
#include "export/ChartData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zuvemo::ui {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::string number(double value, const char* pattern)
{
    if (!std::isfinite(value)) {
        return "-";
    }
    std::string text = core::FormatNumber(value, pattern);
    return text.empty() ? "0" : text;
}

std::string price(double value)
{
    return exporting::ChartData::priceText(value);
}

std::string fixed(double value, int decimals)
{
    if (!std::isfinite(value)) {
        return "-";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

double valueOf(const std::optional<double>& v)
{
    return v ? *v : kNone;
}

double at(const ChartStudies::Series& s, int i)
{
    return i >= 0 && i < static_cast<int>(s.size()) ? s[static_cast<std::size_t>(i)] : kNone;
}

} // namespace

ChartStudies::ChartStudies(const exporting::ChartData& data, const ChartChoice& choice)
    : m_bars(analysis::PeriodBars::of(data.dailyBars(), choice.period))
    , m_period(choice.period)
{
    volume.reserve(m_bars.size());
    for (const auto& b : m_bars) {
        volume.push_back(b.traded ? b.volume : kNone);
    }
    computeMeans(choice);
    computeStudies();
    computeRsi();
    topix.assign(m_bars.size(), kNone);
    for (std::size_t i = 0; i < m_bars.size(); ++i) {
        const int last = m_bars[i].lastDay;
        if (last >= 0 && static_cast<std::size_t>(last) < data.topix.size()) {
            topix[i] = data.topix[static_cast<std::size_t>(last)];
        }
    }
}

ChartStudies::Series ChartStudies::topixFrom(int from) const
{
    Series out(topix.size(), kNone);
    std::size_t first = static_cast<std::size_t>(std::max(from, 0));
    while (
        first < m_bars.size() && !(m_bars[first].traded && std::isfinite(topix[first]) && topix[first] > 0)) {
        ++first;
    }
    if (first >= m_bars.size()) {
        return out;
    }
    const double scale = m_bars[first].close / topix[first];
    for (std::size_t i = 0; i < topix.size(); ++i) {
        out[i] = topix[i] * scale;
    }
    return out;
}

void ChartStudies::computeMeans(const ChartChoice& choice)
{
    // Of the close carried over untraded bars, from the first traded one, as the figures' means.
    meanLengths = choice.meanLengths();
    for (std::size_t m = 0; m < means.size(); ++m) {
        const auto span = static_cast<std::size_t>(meanLengths[m]);
        auto& out = means[m];
        out.assign(m_bars.size(), kNone);
        double carried = kNone;
        std::vector<double> closes;
        closes.reserve(m_bars.size());
        double sum = 0;
        for (std::size_t i = 0; i < m_bars.size(); ++i) {
            carried = m_bars[i].traded ? m_bars[i].close : carried;
            if (!std::isfinite(carried)) {
                continue;
            }
            closes.push_back(carried);
            sum += carried;
            if (closes.size() > span) {
                sum -= closes[closes.size() - 1 - span];
            }
            if (closes.size() >= span) {
                out[i] = sum / static_cast<double>(span);
            }
        }
    }
}

void ChartStudies::computeStudies()
{
    const std::size_t n = m_bars.size();
    for (auto* s : {&bbMid, &bbSigma, &tenkan, &kijun, &lagging, &macd, &macdSignal, &macdHist, &stochK,
             &stochD, &slowD}) {
        s->assign(n, kNone);
    }
    span1.assign(n + kShift, kNone);
    span2.assign(n + kShift, kNone);
    std::size_t first = 0;
    while (first < n && !m_bars[first].traded) {
        ++first;
    }
    if (first == n) {
        return;
    }
    std::vector<analysis::TechnicalFigures::Bar> bars;
    bars.reserve(n - first);
    for (std::size_t i = first; i < n; ++i) {
        const auto& b = m_bars[i];
        if (b.traded) {
            bars.push_back({b.close, b.high, b.low, b.volume, b.turnover, true});
        } else {
            const double c = bars.back().c;
            bars.push_back({c, c, c, 0, 0, false});
        }
    }
    const auto studies = analysis::PriceStudies::eachBar(bars.data(), bars.size());
    for (std::size_t k = 0; k < studies.size(); ++k) {
        const auto& s = studies[k];
        const std::size_t i = first + k;
        bbMid[i] = valueOf(s.bbMid);
        bbSigma[i] = valueOf(s.bbSigma);
        tenkan[i] = valueOf(s.tenkan);
        kijun[i] = valueOf(s.kijun);
        span1[i + kShift] = valueOf(s.span1);
        span2[i + kShift] = valueOf(s.span2);
        macd[i] = valueOf(s.macd);
        macdSignal[i] = valueOf(s.macdSignal);
        macdHist[i] = valueOf(s.macdHist);
        stochK[i] = valueOf(s.stochK);
        stochD[i] = valueOf(s.stochD);
        slowD[i] = valueOf(s.slowD);
        if (i >= kShift && m_bars[i].traded) {
            lagging[i - kShift] = m_bars[i].close;
        }
    }
}

void ChartStudies::computeRsi()
{
    rsi.assign(m_bars.size(), kNone);
    std::vector<analysis::TechnicalFigures::Bar> bars;
    std::size_t first = 0;
    while (first < m_bars.size() && !m_bars[first].traded) {
        ++first;
    }
    for (std::size_t i = first; i < m_bars.size(); ++i) {
        const auto& b = m_bars[i];
        const double c = b.traded ? b.close : bars.back().c;
        bars.push_back({c, b.traded ? b.high : c, b.traded ? b.low : c, 0, 0, b.traded});
    }
    const unsigned need = analysis::TechnicalFigures::needOf("rsi");
    for (std::size_t k = 0; k < bars.size(); ++k) {
        const std::size_t w = std::min(k + 1, analysis::TechnicalFigures::kLookBack);
        marketdata::Fundamentals::Figures f;
        analysis::TechnicalFigures::compute(bars.data() + k + 1 - w, w, f, need);
        rsi[first + k] = valueOf(f.rsi);
    }
}

std::string ChartStudies::topLine(int bar, const ChartChoice& choice, const exporting::ChartData& data) const
{
    if (bar < 0 || bar >= count()) {
        return {};
    }
    const auto& b = m_bars[static_cast<std::size_t>(bar)];
    std::string line;
    switch (m_period) {
    case ChartChoice::Period::Day:
        line = b.date;
        break;
    case ChartChoice::Period::Week:
        line = b.date + "の週";
        break;
    case ChartChoice::Period::Month:
        line = b.date.substr(0, 7);
        break;
    }
    if (!b.traded) {
        line += "  取引なし";
    } else {
        line += "  始値 " + price(b.open) + " 高値 " + price(b.high) + " 安値 " + price(b.low) + " 終値 "
            + price(b.close) + "  出来高 " + number(b.volume, "#,##0");
    }
    if (choice.means) {
        line += " ";
        for (std::size_t m = 0; m < means.size(); ++m) {
            line += " MA" + std::to_string(meanLengths[m]) + " " + price(at(means[m], bar));
        }
    }
    if (choice.bollinger) {
        line += "  BB中心 " + price(at(bbMid, bar)) + " σ " + fixed(at(bbSigma, bar), 2);
    }
    if (choice.ichimoku) {
        line += "  転換線 " + price(at(tenkan, bar)) + " 基準線 " + price(at(kijun, bar)) + " 先行1 "
            + price(at(span1, bar)) + " 先行2 " + price(at(span2, bar));
    }
    if (choice.topix) {
        line += "  TOPIX " + price(at(topix, bar));
    }
    if (choice.macd) {
        line += "  MACD " + fixed(at(macd, bar), 2) + " シグナル " + fixed(at(macdSignal, bar), 2)
            + " ヒスト " + fixed(at(macdHist, bar), 2);
    }
    if (choice.rsi) {
        line += "  RSI " + fixed(at(rsi, bar), 1);
    }
    if (choice.stochastics) {
        line += "  %K " + fixed(at(stochK, bar), 1) + " %D " + fixed(at(stochD, bar), 1) + " S%D "
            + fixed(at(slowD, bar), 1);
    }
    if (m_period == ChartChoice::Period::Day && choice.zones && bar < data.days()) {
        line += "  " + data.signalsText(bar);
    }
    return line;
}

ChartStudies::Extent ChartStudies::priceExtent(int from, int to, const ChartChoice& choice) const
{
    Extent e{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), false};
    auto add = [&e](double v) {
        if (std::isfinite(v)) {
            e.lo = std::min(e.lo, v);
            e.hi = std::max(e.hi, v);
            e.any = true;
        }
    };
    from = std::max(from, 0);
    const Series scaledTopix = choice.topix ? topixFrom(from) : Series();
    for (int i = from; i <= to && i < count(); ++i) {
        add(at(scaledTopix, i));
        const auto& b = m_bars[static_cast<std::size_t>(i)];
        if (b.traded) {
            add(b.high);
            add(b.low);
        }
        if (choice.means) {
            for (const auto& m : means) {
                add(at(m, i));
            }
        }
        if (choice.bollinger) {
            add(at(bbMid, i) + 3 * at(bbSigma, i));
            add(at(bbMid, i) - 3 * at(bbSigma, i));
        }
        if (choice.ichimoku) {
            for (const auto* s : {&tenkan, &kijun, &span1, &span2, &lagging}) {
                add(at(*s, i));
            }
        }
    }
    // The cloud ahead of the last bar.
    if (choice.ichimoku && to >= count()) {
        for (int i = std::max(from, count()); i <= to; ++i) {
            add(at(span1, i));
            add(at(span2, i));
        }
    }
    return e;
}

} // namespace zuvemo::ui
