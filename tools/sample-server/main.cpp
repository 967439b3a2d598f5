#include "SampleServer.h"
#include "core/Clock.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

[[noreturn]] void usage(const std::string& message)
{
    std::cerr << "zuvemo-sample-server: " << message << std::endl;
    std::exit(2);
}

long number(const std::string& text, const std::string& option, long min, long max)
{
    long v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || v < min || v > max) {
        usage(option + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace zuvemo;
    sample::SampleServer::Options options;
    options.market.today = core::Clock().today();
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage(a + " needs a value");
            }
            return argv[++i];
        };
        if (a == "--port") {
            port = static_cast<int>(number(value(), a, 0, 65535));
        } else if (a == "--stocks") {
            options.market.stocks = static_cast<int>(number(value(), a, 1, 8600));
        } else if (a == "--days") {
            options.market.days = static_cast<int>(number(value(), a, 1, 5000));
        } else if (a == "--seed") {
            options.market.seed = static_cast<std::uint64_t>(number(value(), a, 0, 2147483647));
        } else if (a == "--latency-ms") {
            options.latencyMs = static_cast<int>(number(value(), a, 0, 600000));
        } else if (a == "--fail-rate") {
            std::string v = value();
            double f = -1;
            auto res = std::from_chars(v.data(), v.data() + v.size(), f);
            if (res.ec != std::errc() || res.ptr != v.data() + v.size() || f < 0 || f > 1) {
                usage("--fail-rate takes a share from 0 to 1");
            }
            options.failRate = f;
        } else if (a == "--today") {
            std::string v = value();
            int y = 0;
            unsigned m = 0, d = 0;
            if (v.size() != 10 || std::sscanf(v.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) {
                usage("--today takes YYYY-MM-DD");
            }
            options.market.today = std::chrono::year_month_day{
                std::chrono::year{y}, std::chrono::month{m}, std::chrono::day{d}};
            if (!options.market.today.ok()) {
                usage("--today takes a real date");
            }
        } else if (a == "--jquants") {
            options.jquants = true;
        } else if (a == "--no-bulk") {
            options.api.bulkFiles = false;
        } else if (a == "--plan") {
            // What a plan's key reads beyond its window: files from Light, dividends on Premium.
            const std::string plan = value();
            if (plan != "free" && plan != "light" && plan != "standard" && plan != "premium") {
                usage("--plan takes free, light, standard or premium");
            }
            options.api.bulkFiles = plan != "free";
            options.api.premium = plan == "premium";
            options.api.light = plan != "free";
            options.api.standard = plan == "standard" || plan == "premium";
        } else if (a == "--api-key") {
            options.api.apiKey = value();
        } else if (a == "--page-size") {
            options.api.pageSize = static_cast<int>(number(value(), a, 1, 1000000));
        } else if (a == "--rate-limit") {
            options.api.rateLimit = static_cast<int>(number(value(), a, 0, 100000));
        } else if (a == "--window") {
            std::string v = value();
            auto date = [&](const std::string& text) {
                int y = 0;
                unsigned m = 0, d = 0;
                if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) {
                    usage("--window takes YYYY-MM-DD:YYYY-MM-DD");
                }
                return std::chrono::sys_days{
                    std::chrono::year{y} / std::chrono::month{m} / std::chrono::day{d}};
            };
            if (v.size() != 21 || v[10] != ':') {
                usage("--window takes YYYY-MM-DD:YYYY-MM-DD");
            }
            options.api.windowFrom = date(v.substr(0, 10));
            options.api.windowTo = date(v.substr(11));
        } else if (a == "--help" || a == "-h") {
            std::cout
                << "usage: zuvemo-sample-server [--port P] [--stocks N] [--days D] [--seed S]\n"
                   "                            [--latency-ms L] [--fail-rate F] [--today YYYY-MM-DD]\n"
                   "                            [--jquants [--api-key K] [--page-size N] [--rate-limit N]\n"
                   "                             [--window FROM:TO] [--no-bulk] [--plan PLAN]]\n";
            return 0;
        } else {
            usage("unknown option " + a);
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    sample::SampleServer server(options);
    if (server.start(port) < 0) {
        std::cerr << "zuvemo-sample-server: cannot listen on port " << port << std::endl;
        return 1;
    }
    std::cout << server.dailyBaseUrl() << "\n" << server.historyBaseUrl() << std::endl;
    if (options.jquants) {
        std::cout << server.apiBaseUrl() << std::endl;
    }
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.stop();
    return 0;
}
