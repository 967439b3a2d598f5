#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zuvemo::analysis {

// The strength indicators, signals, chart means and zones of one analysis window (at most
// 250 days, oldest first). Pure arithmetic over arrays: no table access.
namespace Indicators {

constexpr int kCapacity = 500;

enum class Mark : std::uint8_t { None, Sell, Buy };

struct Bounds
{
    double lower = 1.0; // CFGb3
    double upper = 1.0; // CFGb4
};

template <typename T> using Array = std::array<T, kCapacity>;

struct Series
{
    int n = 0;
    // Signals.
    Array<double> G{}, L{}, S{}, T{}, B{}, P{}, M6{};
    Array<Mark> H{}, K{};
    // Chart.
    Array<double> W{}, AV30{}, A{}, A54{}, A30{}, M30{}, M54{};
    Array<Mark> Z4{}, Z14{}, Z7{};
};

// Every series of every day (chart mode). close and volume hold n values, n <= kCapacity.
void computeChart(const double* close, const double* volume, int n, Bounds bounds, Series& out);

// The two-digit signal code of the newest day: H then K, "1" sell, "2" buy, "0" none.
std::string signalCode(const double* close, const double* volume, int n, Bounds bounds);

// For every day i of close and volume (n values, oldest first), the marks signalCode gives when
// handed the newest `window` days up to and including day i, in one pass: h[i] and k[i]. The
// marks do not read the judgement bounds.
void signalsByDay(const double* close, const double* volume, int n, int window, Mark* h, Mark* k);

// The same arithmetic written out literally, sum by sum as described; the fast paths above must
// give the very same doubles. Used by the tests and for inputs the fast paths do not take.
void computeReference(const double* close, const double* volume, int n, Bounds bounds, Series& out);

std::string markText(Mark mark); // "売", "買" or " "
std::string zoneText(Mark mark); // "売ゾ", "買ゾ" or " "
char markDigit(Mark mark); // '1', '2' or '0'
std::string markFromDigit(char digit); // "売", "買" or " "

} // namespace Indicators

} // namespace zuvemo::analysis
