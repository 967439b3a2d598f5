#include "TrackCommand.h"

#include "CliSession.h"
#include "analysis/TrackRun.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "marketdata/DataSource.h"

#include <algorithm>
#include <iostream>

namespace zuvemo::cli {

namespace {

std::vector<int> horizonsOf(const std::string& text)
{
    std::vector<int> horizons;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto comma = std::min(text.find(',', from), text.size());
        horizons.push_back(parseInt(text.substr(from, comma - from), "--horizons", 1, 250));
        from = comma + 1;
    }
    std::sort(horizons.begin(), horizons.end());
    horizons.erase(std::unique(horizons.begin(), horizons.end()), horizons.end());
    return horizons;
}

} // namespace

int runTrack(const std::filesystem::path& home, CliArguments& args)
{
    analysis::TrackRun::Options options;
    options.market = args.takeOption("--market").value_or("");
    options.industry = args.takeOption("--industry").value_or("");
    if (auto text = args.takeOption("--horizons")) {
        options.horizons = horizonsOf(*text);
    }
    if (auto by = args.takeOption("--by")) {
        if (*by == "market") {
            options.by = analysis::TrackRun::GroupBy::Market;
        } else if (*by == "industry") {
            options.by = analysis::TrackRun::GroupBy::Industry;
        } else {
            throw UsageError("--by には market か industry を指定してください。");
        }
    }
    const bool json = args.takeFlag("--json");
    const auto csv = args.takeOption("--csv");
    args.positional(0, 0);
    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    analysis::TrackReport report;
    try {
        // A CSV folder's refresh deletes the history files this reads; a J-Quants folder's store
        // is read up to the list's day, as find reads it, beside a fill.
        if (!marketdata::DataSource::read(*session.module().SharedConnection).isJQuants()
            && !session.lockCommands()) {
            return 1;
        }
        report = analysis::TrackRun(session.module()).run(options);
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    if (report.empty()) {
        std::cerr << report.message << std::endl;
        return 1;
    }
    if (csv && !core::Platform::writeWholeFile(core::Platform::fromUtf8(*csv), report.csv())) {
        std::cerr << "ファイル(" << *csv << ")を書き込めません。" << std::endl;
        return 1;
    }
    if (json) {
        std::cout << report.json() << std::endl;
    } else {
        std::cout << report.text() << std::flush;
    }
    return 0;
}

} // namespace zuvemo::cli
