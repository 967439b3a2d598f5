#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zuvemo::bench {

// Runs fn repeatedly and returns each run's duration in milliseconds.
std::vector<double> timeRuns(int runs, const std::function<void()>& fn);
double median(std::vector<double> values);
// Wall time of a shell command in milliseconds; -1 when it fails.
double timeCommand(const std::string& command);
void report(const std::string& name, const std::vector<double>& ms);

} // namespace zuvemo::bench
