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
        + std::to_string(st.horizon) + " 日保有" + (st.dividends ? "、配当込み" : "")
        + (st.tax ? "、税引後" : "");
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
    std::vector<std::string> lines;
    if (!listingHistory) {
        lines.emplace_back(
            "銘柄の履歴がないため、現在の上場銘柄だけで検証しています（上場廃止銘柄を含みません）");
    }
    if (delistedStocks > 0) {
        lines.push_back("上場廃止 " + std::to_string(delistedStocks) + " 銘柄（"
            + std::to_string(delistedEvents) + " 件）を含む");
    }
    lines.insert(lines.end(), marketSpans.begin(), marketSpans.end());
    if (limitsApplied) {
        lines.emplace_back(
            "値幅制限に張り付いた日と売買のない日の買いは約定しないものとし、2 日続けて張り付いた後の"
            "制限値幅の拡大は含みません");
    }
    switch (dividends) {
    case Dividends::Included:
        lines.push_back(dividendDaysPending > 0 ? "配当込み（最後の " + std::to_string(dividendDaysPending)
                    + " 日分は、まだ決まっていない配当を含まないことがあります）"
                                                : std::string("配当込み"));
        break;
    case Dividends::Off:
        lines.emplace_back("配当は含みません");
        break;
    case Dividends::NotStored:
        lines.emplace_back("配当は含みません（配当込みの検証にはプレミアムプランの配当データが必要です）");
        break;
    }
    if (taxed) {
        lines.emplace_back("税引後（年ごとの実現益に 20.315%、損失の繰越控除は含みません）");
    }
    lines.push_back(topixLine());
    return lines;
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
        for (const auto& line : limitLines()) {
            out += line + "\n";
        }
    }
    if (!note.empty()) {
        out += note + "\n";
    }
    std::vector<std::pair<std::string, std::size_t>> columns{{"シグナル", 14}, {"日数", 5}, {"件数", 9}};
    if (rule) {
        columns.emplace_back("約定せず", 8);
    }
    columns.insert(
        columns.end(), {{"的中", 9}, {"的中率", 8}, {"95%区間", 17}, {"平均", 10}, {"中央値", 10}});
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
            std::size_t column = 1;
            auto add
                = [&](const std::string& text) { line += "  " + padLeft(text, columns[column++].second); };
            add(std::to_string(row.horizon));
            add(std::to_string(row.count));
            if (rule) {
                add(std::to_string(row.unfilled));
            }
            add(std::to_string(row.hits));
            if (row.count > 0) {
                add(percent(row.hitRate));
                add(percent(row.low) + "〜" + percent(row.high));
                add(signedPercent(row.mean));
                add(signedPercent(row.median));
                if (rule) {
                    add(signedPercent(row.sameDayMean.value_or(0)));
                    add(percent(row.sameDayRise.value_or(0)));
                    add(signedPercent(row.excess.value_or(0)));
                }
                if (topix) {
                    add(shown(row.topixMean, true));
                    add(shown(row.excessTopix, true));
                }
                line += "  " + verdict(row);
            } else {
                add("-");
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
            + shown(r.exposure, false)
            + (r.unfilled > 0 ? "  約定せず " + std::to_string(r.unfilled) + " 回" : "") + "\n";
        out += "市場（全銘柄均等）  損益 " + shown(r.marketReturn, true) + "  年率 "
            + shown(r.marketAnnualReturn, true) + "  最大下落 " + shown(r.marketMaxDrawdown, false) + "\n";
        if (r.topixReturn) {
            out += "TOPIX  損益 " + shown(r.topixReturn, true) + "  年率 " + shown(r.topixAnnualReturn, true)
                + "  最大下落 " + shown(r.topixMaxDrawdown, false) + "\n";
        }
        if (!r.equity.empty()) {
            out += "最終資産 " + FigureTable::grouped(std::round(r.equity.back().value)) + " 円（市場 "
                + FigureTable::grouped(std::round(r.equity.back().market)) + " 円）\n";
        }
        std::string money;
        if (st.dividends || r.dividends != 0) {
            money += "受取配当 " + FigureTable::grouped(std::round(r.dividends)) + " 円";
        }
        if (st.tax || r.tax != 0) {
            money += (money.empty() ? "" : "  ") + std::string("税金 ")
                + FigureTable::grouped(std::round(r.tax)) + " 円";
        }
        if (!money.empty()) {
            out += money + "\n";
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
                r["unfilled"] = row.unfilled;
                r["delistedEvents"] = row.delistedEvents;
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
        out["limits"] = limitLines();
        out["listingHistory"] = listingHistory;
        out["delistedStocks"] = delistedStocks;
        out["delistedEvents"] = delistedEvents;
        out["marketSpans"] = marketSpans;
        out["limitsApplied"] = limitsApplied;
        out["dividends"] = dividends == Dividends::Included ? "included"
            : dividends == Dividends::Off                   ? "off"
                                                            : "not-stored";
        out["dividendDaysPending"] = dividendDaysPending;
        out["taxed"] = taxed;
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
        sim["topixReturn"] = orNull(r.topixReturn);
        sim["topixAnnualReturn"] = orNull(r.topixAnnualReturn);
        sim["topixMaxDrawdown"] = orNull(r.topixMaxDrawdown);
        sim["unfilled"] = r.unfilled;
        sim["dividends"] = r.dividends;
        sim["tax"] = r.tax;
        out["simulation"] = std::move(sim);
        auto equity = nlohmann::ordered_json::array();
        for (const auto& p : r.equity) {
            equity.push_back(
                {{"date", p.date}, {"value", p.value}, {"market", p.market}, {"topix", orNull(p.topix)}});
        }
        out["equity"] = std::move(equity);
    }
    return out.dump();
}

std::string TrackReport::csv() const
{
    std::string out = "\xEF\xBB\xBF";
    out += "基準日,グループ,シグナル,日数,件数,的中,的中率,下限,上限,平均,中央値,判定";
    out += rule ? ",同日平均,同日上昇率,超過,TOPIX平均,TOPIX超過,約定せず\r\n" : "\r\n";
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
                    + optional(row.excess) + "," + optional(row.topixMean) + "," + optional(row.excessTopix)
                    + "," + std::to_string(row.unfilled);
            }
            out += "\r\n";
        }
    }
    return out;
}

std::string TrackReport::tradesCsv() const
{
    std::string out = "\xEF\xBB\xBF";
    // The gain holds the dividends already; their column says how much of it they were.
    out += "コード,買付日,買値,株数,売却日,売値,損益,配当,備考\r\n";
    if (simulation) {
        for (const auto& t : simulation->sold) {
            out += csvField(t.code) + "," + csvField(t.bought) + "," + fraction(t.buyPrice) + ","
                + std::to_string(t.shares) + "," + csvField(t.sold) + "," + fraction(t.sellPrice) + ","
                + fraction(t.gain) + "," + fraction(t.dividends) + "," + (t.delisted ? "上場廃止" : "")
                + "\r\n";
        }
    }
    return out;
}

} // namespace zuvemo::analysis
