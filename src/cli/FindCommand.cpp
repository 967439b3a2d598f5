#include "FindCommand.h"

#include "CliSession.h"
#include "analysis/FigureRange.h"
#include "analysis/FigureTable.h"
#include "analysis/FindReport.h"
#include "analysis/StockFinder.h"
#include "core/Platform.h"

#include <iostream>

namespace zuvemo::cli {

namespace {

// "MIN:MAX", either side left out, scaled into the figure's units. Given with both sides open it
// is still a condition: a PER or PBR above 0, a figure that is there.
std::optional<analysis::StockFinder::Range> range(
    CliArguments& args, const analysis::FigureTable::Figure& figure)
{
    const std::string option = std::string("--") + figure.name;
    const auto text = args.takeOption(option);
    if (!text) {
        return std::nullopt;
    }
    const auto parsed = analysis::FigureRange::parse(*text, figure);
    if (!parsed.ok()) {
        throw UsageError(option + " の範囲が正しくありません（" + *text + "）。" + parsed.error);
    }
    return parsed.range.value_or(analysis::StockFinder::Range{});
}

} // namespace

bool takeConditions(CliArguments& args, analysis::StockFinder::Conditions& c)
{
    c.market = args.takeOption("--market").value_or("");
    c.industry = args.takeOption("--industry").value_or("");
    if (auto signal = args.takeOption("--signal")) {
        if (*signal != "買" && *signal != "売") {
            throw UsageError("--signal には 買 か 売 を指定してください。");
        }
        c.signal = *signal;
    }
    c.confirmed = args.takeFlag("--confirmed");
    for (const auto& figure : analysis::FigureTable::figures()) {
        if (figure.condition) {
            if (auto r = range(args, figure)) {
                c.ranges[figure.name] = *r;
            }
        }
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        if (args.takeFlag(std::string("--") + flag.name)) {
            c.flags.insert(flag.name);
        }
    }
    if (auto cross = args.takeOption("--cross")) {
        if (*cross != "golden" && *cross != "dead") {
            throw UsageError("--cross には golden か dead を指定してください。");
        }
        c.cross = *cross == "golden" ? 1 : -1;
    }
    for (const auto& cross : analysis::FigureTable::crosses()) {
        const std::string option = std::string("--") + cross.name;
        if (auto way = args.takeOption(option)) {
            if (*way != "golden" && *way != "dead") {
                throw UsageError(option + " には golden か dead を指定してください。");
            }
            c.crosses[cross.name] = *way == "golden" ? 1 : -1;
        }
    }
    if (auto sort = args.takeOption("--sort")) {
        std::string name = *sort;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ":desc") == 0) {
            c.descending = true;
            name.resize(name.size() - 5);
        }
        if (!analysis::StockFinder::isSortKey(name)) {
            throw UsageError(
                "--sort には code, " + analysis::FigureTable::names(false) + " のどれかを指定してください。");
        }
        c.sort = name;
    }
    return !c.signal.empty() || c.confirmed || !c.ranges.empty() || !c.flags.empty() || c.cross != 0
        || !c.crosses.empty();
}

int runFind(const std::filesystem::path& home, CliArguments& args)
{
    analysis::StockFinder::Conditions c;
    takeConditions(args, c);
    std::vector<std::string> columns;
    if (auto list = args.takeOption("--columns")) {
        std::size_t start = 0;
        for (;;) {
            const auto comma = list->find(',', start);
            const std::string name
                = list->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (!analysis::FindReport::isColumn(name)) {
                throw UsageError("--columns に使える名前は " + analysis::FindReport::columnNames() + " です（"
                    + name + "）。");
            }
            columns.push_back(name);
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
        for (const auto& column : columns) {
            const auto* figure = analysis::FigureTable::figure(column);
            c.prices = c.prices
                || (figure && figure->source == analysis::FigureTable::Source::Prices && column != "close")
                || analysis::FigureTable::flag(column) || analysis::FigureTable::cross(column)
                || column == "golden" || column == "dead";
        }
    }
    if (auto limit = args.takeOption("--limit")) {
        c.limit = parseInt(*limit, "--limit", 1, 1000000);
    }
    const bool json = args.takeFlag("--json");
    const auto csv = args.takeOption("--csv");
    // The JSON holds every figure of a stock.
    c.prices = c.prices || json;
    args.positional(0, 0);

    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    analysis::StockFinder finder(session.module());
    const auto result = finder.find(c);
    if (!result.ok) {
        std::cerr << result.message << std::endl;
        return result.message == analysis::StockFinder::kNoFiguresMessage ? 2 : 1;
    }
    if (!result.note.empty()) {
        std::cerr << result.note << std::endl;
    }
    if (csv && !writeReportFile(*csv, analysis::FindReport::csv(result, columns))) {
        return 1;
    }
    std::cout << (json ? analysis::FindReport::json(result) + "\n"
                       : analysis::FindReport::text(result, columns))
              << std::flush;
    return 0;
}

} // namespace zuvemo::cli
