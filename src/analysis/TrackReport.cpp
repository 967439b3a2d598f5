#include "TrackReport.h"

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

} // namespace

std::string TrackReport::percent(double fraction, int decimals)
{
    return fixed(fraction * 100, decimals) + "%";
}

std::string TrackReport::signedPercent(double fraction, int decimals)
{
    return (fraction > 0 ? "+" : "") + fixed(fraction * 100, decimals) + "%";
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

std::string TrackReport::text() const
{
    if (empty()) {
        return message + "\n";
    }
    std::string out
        = "基準日 " + tradingDate + "  銘柄 " + std::to_string(stocks) + "  日数: 何営業日後の終値か\n";
    const std::vector<std::pair<std::string, std::size_t>> columns{{"シグナル", 14}, {"日数", 5}, {"件数", 9},
        {"的中", 9}, {"的中率", 8}, {"95%区間", 17}, {"平均", 10}, {"中央値", 10}, {"判定", 0}};
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
            rows.push_back(std::move(r));
        }
        g["rows"] = std::move(rows);
        list.push_back(std::move(g));
    }
    out["groups"] = std::move(list);
    return out.dump();
}

std::string TrackReport::csv() const
{
    std::string out = "\xEF\xBB\xBF";
    out += "基準日,グループ,シグナル,日数,件数,的中,的中率,下限,上限,平均,中央値,判定\r\n";
    for (const auto& group : groups) {
        for (const auto& row : group.rows) {
            const bool some = row.count > 0;
            auto number = [some](double v) { return some ? fraction(v) : std::string(); };
            out += tradingDate + "," + csvField(group.name) + "," + TrackRecord::signalName(row.signal) + ","
                + std::to_string(row.horizon) + "," + std::to_string(row.count) + ","
                + std::to_string(row.hits) + "," + number(row.hitRate) + "," + number(row.low) + ","
                + number(row.high) + "," + number(row.mean) + "," + number(row.median) + "," + verdict(row)
                + "\r\n";
        }
    }
    return out;
}

} // namespace zuvemo::analysis
