#include "SourceCommand.h"

#include "CliArguments.h"
#include "CliSession.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "marketdata/jquants/ApiKey.h"

#include <iostream>

namespace zuvemo::cli {

SourceOptions takeSourceOptions(CliArguments& args)
{
    SourceOptions options;
    if (auto url = args.takeOption("--api-url")) {
        if (url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0) {
            throw UsageError("--api-url には http:// か https:// で始まるアドレスを指定してください。");
        }
        while (!url->empty() && url->back() == '/') {
            url->pop_back();
        }
        options.apiUrl = *url;
    }
    if (auto plan = args.takeOption("--plan")) {
        if (marketdata::DataSource::requestsPerMinute(*plan) == 0) {
            throw UsageError("--plan には free, light, standard, premium のどれかを指定してください。");
        }
        options.plan = *plan;
    }
    if (auto days = args.takeOption("--days")) {
        options.days = parseInt(*days, "--days", 20, 5000);
    }
    return options;
}

marketdata::DataSource SourceOptions::over(marketdata::DataSource base) const
{
    base.apiUrl = apiUrl.value_or(base.apiUrl);
    base.plan = plan.value_or(base.plan);
    base.days = days.value_or(base.days);
    return base;
}

int runSource(const std::filesystem::path& home, CliArguments& args)
{
    // The options first: what remains must be the words.
    const auto options = takeSourceOptions(args);
    const auto words = args.positional(0, 2);
    if (!words.empty() && words[0] == "set-key") {
        if (words.size() != 1) {
            throw UsageError("source set-key はキーを標準入力から読みます。引数は指定できません。");
        }
        // One line from standard input, never from the command line, where others can read it.
        std::string key;
        std::getline(std::cin, key);
        while (!key.empty() && (key.back() == '\r' || key.back() == ' ')) {
            key.pop_back();
        }
        std::string error;
        auto place = marketdata::ApiKey::Place::None;
        if (!marketdata::ApiKey::store(key, &error, &place)) {
            std::cerr << error << std::endl;
            return 1;
        }
        std::cerr << "APIキーを保存しました: " << marketdata::ApiKey::describe(place) << std::endl;
        return 0;
    }
    if (!words.empty() && (words[0] != "set" || words.size() != 2)) {
        throw UsageError("source の後には何も付けないか、set csv|jquants か set-key を指定してください。");
    }
    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    auto& connection = *session.module().SharedConnection;
    try {
        auto source = marketdata::DataSource::read(connection);
        if (!words.empty()) {
            if (words[1] != marketdata::DataSource::kCsv && words[1] != marketdata::DataSource::kJQuants) {
                throw UsageError("source set には csv か jquants を指定してください。");
            }
            if (!session.lockCommands()) {
                return 1;
            }
            source.kind = words[1];
            source = options.over(source);
            if (const auto problem = marketdata::DataSource::daysProblem(source.plan, source.days);
                source.isJQuants() && !problem.empty()) {
                throw UsageError(problem);
            }
            marketdata::DataSource::write(connection, source);
        }
        std::cout << source.describe() << std::endl;
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    return 0;
}

} // namespace zuvemo::cli
