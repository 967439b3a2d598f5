#include "RuleHistory.h"

#include "FigureTable.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace zuvemo::analysis {

namespace {

constexpr const char* kTable = "Table_RuleHistory";

bool exists(core::Connection& db)
{
    core::Statement s(
        db, std::string("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '") + kTable + "'");
    return s.next();
}

} // namespace

void RuleHistory::record(core::Connection& db, const Entry& e)
{
    db.execute(std::string("CREATE TABLE IF NOT EXISTS ") + kTable
        + " (HistId INTEGER PRIMARY KEY, HistAt TEXT NOT NULL, HistRule TEXT NOT NULL, HistFirst TEXT,"
          " HistLast TEXT, HistDays INTEGER, HistVariants INTEGER NOT NULL, HistResult TEXT)");
    core::Statement s(db,
        std::string("INSERT INTO ") + kTable
            + " (HistAt, HistRule, HistFirst, HistLast, HistDays, HistVariants, HistResult)"
              " VALUES (?, ?, ?, ?, ?, ?, ?)");
    s.bindText(1, e.at);
    s.bindText(2, e.rule);
    s.bindText(3, e.firstDay);
    s.bindText(4, e.lastDay);
    s.bindDouble(5, e.days);
    s.bindDouble(6, e.variants);
    s.bindText(7, e.result);
    s.run();
}

std::vector<RuleHistory::Entry> RuleHistory::list(core::Connection& db)
{
    std::vector<Entry> out;
    if (!exists(db)) {
        return out;
    }
    core::Statement s(db,
        std::string("SELECT HistAt, HistRule, HistFirst, HistLast, HistDays, HistVariants, HistResult FROM ")
            + kTable + " ORDER BY HistId DESC");
    while (s.next()) {
        out.push_back(Entry{s.columnText(0), s.columnText(1), s.columnText(2), s.columnText(3),
            static_cast<int>(s.columnDouble(4)), static_cast<int>(s.columnDouble(5)), s.columnText(6)});
    }
    return out;
}

long long RuleHistory::variantsTested(core::Connection& db)
{
    if (!exists(db)) {
        return 0;
    }
    core::Statement s(db, std::string("SELECT TOTAL(HistVariants) FROM ") + kTable);
    return s.next() ? static_cast<long long>(s.columnDouble(0)) : 0;
}

std::string RuleHistory::describe(const StockFinder::Conditions& c)
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
    auto number = [](const FigureTable::Figure& f, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", value / f.scale);
        return std::string(text) + (f.unit == FigureTable::Unit::Percent ? "%" : "");
    };
    for (const auto& f : FigureTable::figures()) {
        const auto it = c.ranges.find(f.name);
        if (it == c.ranges.end()) {
            continue;
        }
        const auto& r = it->second;
        parts.push_back(std::string(f.heading) + " " + (r.min ? number(f, *r.min) : "") + "〜"
            + (r.max ? number(f, *r.max) : ""));
    }
    for (const auto& flag : FigureTable::flags()) {
        if (c.flags.count(flag.name)) {
            parts.emplace_back(flag.heading);
        }
    }
    if (c.cross != 0) {
        parts.emplace_back(c.cross > 0 ? "ゴールデンクロス" : "デッドクロス");
    }
    for (const auto& cross : FigureTable::crosses()) {
        if (const auto it = c.crosses.find(cross.name); it != c.crosses.end() && it->second != 0) {
            parts.push_back(std::string(cross.heading) + " " + (it->second > 0 ? cross.golden : cross.dead));
        }
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "、") + part;
    }
    return text;
}

std::string RuleHistory::text(const std::vector<Entry>& entries)
{
    if (entries.empty()) {
        return "このフォルダではまだルールを検証していません。\n";
    }
    long long variants = 0;
    for (const auto& e : entries) {
        variants += e.variants;
    }
    std::string out = "検証履歴: " + FigureTable::grouped(static_cast<double>(entries.size())) + " 回、設定 "
        + FigureTable::grouped(static_cast<double>(variants)) + " 通り\n";
    for (const auto& e : entries) {
        out += e.at + "  " + e.rule + "  " + e.firstDay + " 〜 " + e.lastDay + "（"
            + FigureTable::grouped(e.days) + " 日）  " + FigureTable::grouped(e.variants) + " 通り  "
            + e.result + "\n";
    }
    return out;
}

std::string RuleHistory::json(const std::vector<Entry>& entries)
{
    nlohmann::ordered_json out;
    long long variants = 0;
    auto list = nlohmann::ordered_json::array();
    for (const auto& e : entries) {
        variants += e.variants;
        list.push_back({{"at", e.at}, {"rule", e.rule}, {"firstDay", e.firstDay}, {"lastDay", e.lastDay},
            {"days", e.days}, {"variants", e.variants}, {"result", e.result}});
    }
    out["tests"] = entries.size();
    out["variants"] = variants;
    out["entries"] = std::move(list);
    return out.dump();
}

} // namespace zuvemo::analysis
