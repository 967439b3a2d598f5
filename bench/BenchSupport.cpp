#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zuvemo::bench {

std::vector<double> timeRuns(int runs, const std::function<void()>& fn)
{
    std::vector<double> out;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        fn();
        out.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return out;
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double timeCommand(const std::string& command)
{
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return rc == 0 ? ms : -1;
}

void report(const std::string& name, const std::vector<double>& ms)
{
    auto sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%-44s median %8.2f ms  min %8.2f  max %8.2f  (%zu runs)\n", name.c_str(), median(ms),
        sorted.empty() ? 0 : sorted.front(), sorted.empty() ? 0 : sorted.back(), ms.size());
}

} // namespace zuvemo::bench
