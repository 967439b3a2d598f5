#include "TrackReport.h"

#include "FigureTable.h"
#include "ReportText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace zuvemo::analysis {

namespace {

// Columns a text takes on a terminal: East Asian characters take two.
std::size_t displayWidth(const std::string& text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
        width += length >= 3 ? 2 : 1;
        i += length;
    }
    return width;
}

std::string padRight(const std::string& text, std::size_t width)
{
    const std::size_t w = displayWidth(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

std::string padLeft(const std::string& text, std::size_t width)
{
    const std::size_t w = displayWidth(text);
    return w >= width ? text : std::string(width - w, ' ') + text;
}

std::string fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

using ReportText::csvField;

std::string fraction(double value)
{
    return ReportText::shortest(value);
}

nlohmann::ordered_json orNull(const std::optional<double>& v)
{
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

// A figure of the simulation, "-" for none as a row's rate without a count.
std::string shown(const std::optional<double>& v, bool sign)
{
    if (!v) {
        return "-";
    }
    return sign ? TrackReport::signedPercent(*v) : TrackReport::percent(*v);
}

} // namespace

std::string TrackReport::percent(double fraction, int decimals)
{
    return fixed(fraction * 100, decimals) + "%";
}

std::string TrackReport::signedPercent(double fraction, int decimals)
{
    return (fraction > 0 ? "+" : "") + fixed(fraction * 100, decimals) + "%";
}

std::string TrackReport::simulationTerms(const RuleSimulation::Settings& st)
{
    return std::to_string(st.slotCount) + " 枠、手数料片道 " + fixed(st.cost * 100, 3) + "%、元手 "
        + FigureTable::grouped(st.capital) + " 円、単元 " + std::to_string(st.lot) + " 株、"
        + std::to_string(st.horizon) + " 日保有";
}

std::string TrackReport::verdict(const TrackRecord::Row& row)
{
    if (row.signal == TrackRecord::Signal::AllDays) {
        return "基準";
    }
    if (row.count == 0) {
        return "";
    }
    if (row.chance) {
        return "偶然の範囲";
    }
    // Above the base line's interval, or below it: a signal can also be reliably wrong.
    return row.low > row.baseHigh ? "基準より高い" : "基準より低い";
}

std::string TrackReport::topixLine() const
{
    if (topixEvents == 0) {
        return "TOPIX との比較なし（J-Quants のライトプラン以上）";
    }
    if (topixEvents < returnEvents) {
        return "TOPIX のある " + std::to_string(topixEvents) + " / " + std::to_string(returnEvents)
            + " 件で TOPIX と比較";
    }
    return "TOPIX と同じ買いの日・売りの日で比較";
}

std::vector<std::string> TrackReport::limitLines() const
{
    return {topixLine()};
}

std::string TrackReport::text() const
{
    if (empty()) {
        return message + "\n";
    }
    std::string out = "基準日 " + tradingDate + "  銘柄 " + std::to_string(stocks);
    if (rule) {
        out += "  検証 " + (days > 0 ? firstDay + "〜" + lastDay : std::string("-")) + "（"
            + std::to_string(days) + " 日）  買い: " + (nextOpen ? "翌日始値" : "当日終値") + "  "
            + (everyDay ? "成り立った日ごと" : "成り立った初日ごと");
    }
    out += "  日数: 何営業日後の終値か\n";
    if (!figureDays.empty()) {
        out += "指標のあった日:";
        for (std::size_t i = 0; i < figureDays.size(); ++i) {
            out += (i == 0 ? " " : "、") + figureHeadings[i] + " " + std::to_string(figureDays[i].second)
                + " 日";
        }
        out += "\n";
    }
    const bool topix = rule && topixEvents > 0;
    if (rule) {
        out += topixLine() + "\n";
    }
    if (!note.empty()) {
        out += note + "\n";
    }
    std::vector<std::pair<std::string, std::size_t>> columns{{"シグナル", 14}, {"日数", 5}, {"件数", 9},
        {"的中", 9}, {"的中率", 8}, {"95%区間", 17}, {"平均", 10}, {"中央値", 10}};
    if (rule) {
        columns.insert(columns.end(), {{"同日平均", 10}, {"同日上昇率", 10}, {"超過", 10}});
    }
    if (topix) {
        columns.insert(columns.end(), {{"TOPIX平均", 10}, {"TOPIX超過", 10}});
    }
    columns.emplace_back("判定", 0);
    for (const auto& group : groups) {
        out += "\n■ " + group.name + "\n";
        std::string heading;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& [title, width] = columns[c];
            heading += c == 0 ? padRight(title, width) : "  " + padLeft(title, width);
        }
        out += heading + "\n";
        for (const auto& row : group.rows) {
            std::string line = padRight(TrackRecord::signalName(row.signal), columns[0].second);
            line += "  " + padLeft(std::to_string(row.horizon), columns[1].second);
            line += "  " + padLeft(std::to_string(row.count), columns[2].second);
            line += "  " + padLeft(std::to_string(row.hits), columns[3].second);
            if (row.count > 0) {
                line += "  " + padLeft(percent(row.hitRate), columns[4].second);
                line += "  " + padLeft(percent(row.low) + "〜" + percent(row.high), columns[5].second);
                line += "  " + padLeft(signedPercent(row.mean), columns[6].second);
                line += "  " + padLeft(signedPercent(row.median), columns[7].second);
                if (rule) {
                    line += "  " + padLeft(signedPercent(row.sameDayMean.value_or(0)), columns[8].second);
                    line += "  " + padLeft(percent(row.sameDayRise.value_or(0)), columns[9].second);
                    line += "  " + padLeft(signedPercent(row.excess.value_or(0)), columns[10].second);
                }
                if (topix) {
                    auto shown = [](const std::optional<double>& v) { return v ? signedPercent(*v) : "-"; };
                    line += "  " + padLeft(shown(row.topixMean), columns[11].second);
                    line += "  " + padLeft(shown(row.excessTopix), columns[12].second);
                }
                line += "  " + verdict(row);
            } else {
                line += "  " + padLeft("-", columns[4].second);
            }
            while (!line.empty() && line.back() == ' ') {
                line.pop_back();
            }
            out += line + "\n";
        }
    }
    if (simulation) {
        const auto& r = *simulation;
        const auto& st = simulationSettings;
        out += "\n■ 運用（" + simulationTerms(st) + "）\n";
        out += "期間 " + std::to_string(r.days) + " 日  売買 " + std::to_string(r.trades) + " 回  勝率 "
            + shown(r.winRate, false) + "  損益 " + shown(r.totalReturn, true) + "  年率 "
            + shown(r.annualReturn, true) + "  最大下落 " + shown(r.maxDrawdown, false) + "  保有日率 "
            + shown(r.exposure, false) + "\n";
        out += "市場（全銘柄均等）  損益 " + shown(r.marketReturn, true) + "  年率 "
            + shown(r.marketAnnualReturn, true) + "  最大下落 " + shown(r.marketMaxDrawdown, false) + "\n";
        if (!r.equity.empty()) {
            out += "最終資産 " + FigureTable::grouped(std::round(r.equity.back().value)) + " 円（市場 "
                + FigureTable::grouped(std::round(r.equity.back().market)) + " 円）\n";
        }
    }
    return out;
}

std::string TrackReport::json() const
{
    nlohmann::ordered_json out;
    out["tradingDate"] = tradingDate;
    out["stocks"] = stocks;
    out["horizons"] = horizons;
    auto list = nlohmann::ordered_json::array();
    for (const auto& group : groups) {
        nlohmann::ordered_json g;
        g["group"] = group.name;
        auto rows = nlohmann::ordered_json::array();
        for (const auto& row : group.rows) {
            nlohmann::ordered_json r;
            r["signal"] = TrackRecord::signalName(row.signal);
            r["horizon"] = row.horizon;
            r["count"] = row.count;
            r["hits"] = row.hits;
            const bool some = row.count > 0;
            r["hitRate"] = some ? nlohmann::ordered_json(row.hitRate) : nullptr;
            r["low"] = some ? nlohmann::ordered_json(row.low) : nullptr;
            r["high"] = some ? nlohmann::ordered_json(row.high) : nullptr;
            r["mean"] = some ? nlohmann::ordered_json(row.mean) : nullptr;
            r["median"] = some ? nlohmann::ordered_json(row.median) : nullptr;
            r["chance"] = row.chance;
            if (row.signal == TrackRecord::Signal::Rule) {
                r["sameDayMean"] = orNull(row.sameDayMean);
                r["sameDayRise"] = orNull(row.sameDayRise);
                r["excess"] = orNull(row.excess);
                r["topixMean"] = orNull(row.topixMean);
                r["excessTopix"] = orNull(row.excessTopix);
            }
            rows.push_back(std::move(r));
        }
        g["rows"] = std::move(rows);
        list.push_back(std::move(g));
    }
    out["groups"] = std::move(list);
    if (rule) {
        out["entry"] = nextOpen ? "next-open" : "close";
        out["everyDay"] = everyDay;
        out["evaluatedDays"] = days;
        out["firstDay"] = firstDay;
        out["lastDay"] = lastDay;
        auto figures = nlohmann::ordered_json::object();
        for (const auto& [key, count] : figureDays) {
            figures[key] = count;
        }
        out["figureDays"] = std::move(figures);
        out["note"] = note;
    }
    if (simulation) {
        const auto& r = *simulation;
        nlohmann::ordered_json sim;
        sim["days"] = r.days;
        sim["hold"] = simulationSettings.horizon;
        sim["trades"] = r.trades;
        sim["winRate"] = orNull(r.winRate);
        sim["totalReturn"] = orNull(r.totalReturn);
        sim["annualReturn"] = orNull(r.annualReturn);
        sim["maxDrawdown"] = orNull(r.maxDrawdown);
        sim["exposure"] = orNull(r.exposure);
        sim["marketReturn"] = orNull(r.marketReturn);
        sim["marketAnnualReturn"] = orNull(r.marketAnnualReturn);
        sim["marketMaxDrawdown"] = orNull(r.marketMaxDrawdown);
        out["simulation"] = std::move(sim);
        auto equity = nlohmann::ordered_json::array();
        for (const auto& p : r.equity) {
            equity.push_back({{"date", p.date}, {"value", p.value}, {"market", p.market}});
        }
        out["equity"] = std::move(equity);
    }
    return out.dump();
}

std::string TrackReport::csv() const
{
    std::string out = "\xEF\xBB\xBF";
    out += "基準日,グループ,シグナル,日数,件数,的中,的中率,下限,上限,平均,中央値,判定";
    out += rule ? ",同日平均,同日上昇率,超過,TOPIX平均,TOPIX超過\r\n" : "\r\n";
    for (const auto& group : groups) {
        for (const auto& row : group.rows) {
            const bool some = row.count > 0;
            auto number = [some](double v) { return some ? fraction(v) : std::string(); };
            out += csvField(tradingDate) + "," + csvField(group.name) + ","
                + csvField(TrackRecord::signalName(row.signal)) + "," + std::to_string(row.horizon) + ","
                + std::to_string(row.count) + "," + std::to_string(row.hits) + "," + number(row.hitRate) + ","
                + number(row.low) + "," + number(row.high) + "," + number(row.mean) + "," + number(row.median)
                + "," + csvField(verdict(row));
            if (rule) {
                auto optional
                    = [](const std::optional<double>& v) { return v ? fraction(*v) : std::string(); };
                out += "," + optional(row.sameDayMean) + "," + optional(row.sameDayRise) + ","
                    + optional(row.excess) + "," + optional(row.topixMean) + "," + optional(row.excessTopix);
            }
            out += "\r\n";
        }
    }
    return out;
}

std::string TrackReport::tradesCsv() const
{
    std::string out = "\xEF\xBB\xBF";
    out += "コード,買付日,買値,株数,売却日,売値,損益\r\n";
    if (simulation) {
        for (const auto& t : simulation->sold) {
            out += csvField(t.code) + "," + csvField(t.bought) + "," + fraction(t.buyPrice) + ","
                + std::to_string(t.shares) + "," + csvField(t.sold) + "," + fraction(t.sellPrice) + ","
                + fraction(t.gain) + "\r\n";
        }
    }
    return out;
}

} // namespace zuvemo::analysis
