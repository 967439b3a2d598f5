#include "Indicators.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zuvemo::analysis::Indicators {

namespace {

// Largest magnitude for which every windowed sum of the integer series is exact in a double, so
// that a prefix-sum difference equals the left-to-right sum bit for bit.
constexpr double kExactLimit = 1099511627776.0; // 2^40

bool exactInputs(const double* close, const double* volume, int n)
{
    bool exact = true;
    for (int i = 0; i < n; ++i) {
        double c = close[i];
        double v = volume[i];
        // Within the limit a double converts to a whole number and back unchanged only when whole.
        bool inRange = std::fabs(c) <= kExactLimit && std::fabs(v) <= kExactLimit;
        exact &= inRange && c == static_cast<double>(static_cast<long long>(inRange ? c : 0))
            && v == static_cast<double>(static_cast<long long>(inRange ? v : 0));
    }
    return exact;
}

Mark shortSignal(double m6, double s, double t)
{
    if (m6 >= 1.05) {
        return s * 2.2 <= t ? Mark::Sell : Mark::None;
    }
    return (m6 <= 0.96 && t * 2.8 <= s) ? Mark::Buy : Mark::None;
}

// The parts of one day that do not depend on how sums are formed.
struct DayTerms
{
    double S, T, M6;
};

double strengthS(const double* C, int k, double a, double c, double e)
{
    double b = C[k - 4] < C[k] ? 0.0 : C[k - 5] - C[k - 1];
    double d = C[k - 4] < C[k] ? 0.0 : C[k - 4] - C[k] + 0.001;
    double f = C[k - 4] <= C[k] ? C[k] - C[k - 4] + 0.001 : 0.0;
    double D = (f + e) / 4 + (d + c) / 4;
    return D == 0 ? 0.0 : ((b + a) / 4) / D;
}

double strengthT(const double* C, int k, double sumG, double sumL)
{
    double g = sumG * 13 / 14;
    double u = C[k - 15] < C[k - 1] ? C[k - 1] - C[k - 15] : 0.0;
    double l = sumL * 13 / 14;
    double w = C[k - 15] > C[k - 1] ? C[k - 15] - C[k - 1] : 0.0;
    double up = (g + u) / 14;
    double down = (w + l) / 14;
    return up + down == 0 ? 0.0 : up / (up + down);
}

// The two strength ratios from the day's own gains and losses, sum by sum as described: the
// reference arithmetic and the record of every day form them alike.
double literalS(const double* C, const double* G, const double* L, int k)
{
    double a = (G[k - 3] + G[k - 4] + G[k - 2] + G[k - 1]) * 3 / 4;
    double c = (G[k - 2] + G[k - 3] + G[k - 1] + G[k]) * 3 / 4;
    double e = (L[k - 3] + L[k - 4] + L[k - 2] + L[k - 1]) * 3 / 4;
    return strengthS(C, k, a, c, e);
}

double literalT(const double* C, const double* G, const double* L, int k)
{
    double sumG = 0;
    double sumL = 0;
    for (int i = k - 14; i <= k - 1; ++i) {
        sumG = sumG + G[i];
        sumL = sumL + L[i];
    }
    return strengthT(C, k, sumG, sumL);
}

Mark volumeSignal(Mark h, double sumV, double v)
{
    if (h == Mark::Buy) {
        double q = sumV / 6 * 1.1;
        return v > q ? Mark::Buy : Mark::None;
    }
    if (h == Mark::Sell) {
        double q = sumV / 6 * 1.7;
        return v > q ? Mark::Sell : Mark::None;
    }
    return Mark::None;
}

Mark zone4(const double* C, int k, double p, double r)
{
    double q = C[k - 4] < C[k] ? C[k] - C[k - 3] : 0.0;
    double up = (q + p) / 4;
    double s = C[k - 4] > C[k] ? C[k - 4] - C[k] : 0.0;
    double down = (s + r) / 4;
    return up <= down ? Mark::Buy : Mark::Sell;
}

Mark zone14(const double* C, int k, double sumG, double sumL)
{
    double p = sumG * 13 / 14;
    double q = C[k - 14] < C[k] ? C[k] - C[k - 14] : 0.0;
    double up = (p + q) / 14;
    double r = sumL * 13 / 14;
    double s = C[k - 14] > C[k] ? C[k - 14] - C[k] : 0.0;
    double down = (s + r) / 14;
    return up <= down ? Mark::Buy : Mark::Sell;
}

Mark zone7(const double* P, int k, double sumA)
{
    double base = sumA * 6 / 7;
    double rise = (P[k - 6] < P[k] ? P[k] - P[k - 6] : 0.0) / 7;
    double fall = (P[k - 6] > P[k] ? P[k - 6] - P[k] : 0.0) / 7;
    double up = base + rise;
    double down = base + fall;
    return up <= down ? Mark::Buy : Mark::Sell;
}

double ratioToMean(double p, double m)
{
    return m == 0 ? 1.0 : p / m;
}

// Gains, losses, carried close and volume, and the absolute change: the per-day inputs of
// every later sum.
void baseSeries(const double* C, const double* V, int n, Series& out)
{
    for (int k = 0; k < n; ++k) {
        if (k == 0) {
            out.G[0] = 0;
            out.L[0] = 0;
            out.P[0] = 0;
            out.W[0] = 0;
            out.A[0] = 0;
            continue;
        }
        out.G[k] = C[k - 1] < C[k] ? C[k] - C[k - 1] : 0.0;
        out.L[k] = C[k - 1] > C[k] ? C[k - 1] - C[k] : 0.0;
        out.P[k] = C[k] != 0 ? C[k] : out.P[k - 1];
        out.W[k] = V[k] != 0 ? V[k] : out.W[k - 1];
        double diff = out.P[k - 1] - out.P[k];
        out.A[k] = diff > 0 ? diff : out.P[k] - out.P[k - 1];
    }
}

// Exact running sums: prefix[i] is the sum of the first i values.
struct Prefix
{
    Array<double> G, L, P, W, A, V;
};

void prefixSums(const double* V, int n, const Series& s, Prefix& p)
{
    p.G[0] = p.L[0] = p.P[0] = p.W[0] = p.A[0] = p.V[0] = 0;
    for (int k = 0; k < n; ++k) {
        p.G[k + 1] = p.G[k] + s.G[k];
        p.L[k + 1] = p.L[k] + s.L[k];
        p.P[k + 1] = p.P[k] + s.P[k];
        p.W[k + 1] = p.W[k] + s.W[k];
        p.A[k + 1] = p.A[k] + s.A[k];
        p.V[k + 1] = p.V[k] + V[k];
    }
}

// Sum of values from..to inclusive.
inline double span(const Array<double>& prefix, int from, int to)
{
    return prefix[to + 1] - prefix[from];
}

void signalDay(const double* C, const double* V, int k, Bounds bounds, const Prefix& p, Series& out)
{
    double S = 0;
    if (k >= 5) {
        double a = span(p.G, k - 4, k - 1) * 3 / 4;
        double c = span(p.G, k - 3, k) * 3 / 4;
        double e = span(p.L, k - 4, k - 1) * 3 / 4;
        S = strengthS(C, k, a, c, e);
    }
    double T = k >= 15 ? strengthT(C, k, span(p.G, k - 14, k - 1), span(p.L, k - 14, k - 1)) : 0.0;
    double st = S + T;
    double M6 = k >= 6 ? ratioToMean(out.P[k], span(p.P, k - 6, k - 1) / 6) : 0.0;
    Mark H = shortSignal(M6, S, T);
    out.S[k] = S;
    out.T[k] = T;
    out.B[k] = (bounds.lower <= st && st <= bounds.upper) ? 1.0 : 0.0;
    out.M6[k] = M6;
    out.H[k] = H;
    out.K[k] = k < 6 ? Mark::None : volumeSignal(H, span(p.V, k - 6, k - 1), V[k]);
}

struct ZoneWork
{
    Array<double> up, down;
};

thread_local Prefix t_prefix;
thread_local ZoneWork t_work;
thread_local Series t_series;

} // namespace

// Built twice on x86-64 Linux, for AVX2 and for the baseline; the results are the same doubles,
// since both use the same correctly rounded operations and contraction is off.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define ZUVEMO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZUVEMO_VECTOR_CLONES
#endif

ZUVEMO_VECTOR_CLONES
static bool chartKernel(
    const double* __restrict C, const double* __restrict V, int n, Bounds bounds, Series& out)
{
    {
        bool exact = true;
        for (int i = 0; i < n; ++i) {
            exact &= std::fabs(C[i]) <= kExactLimit && std::fabs(V[i]) <= kExactLimit
                && std::floor(C[i]) == C[i] && std::floor(V[i]) == V[i];
        }
        if (!exact) {
            return false;
        }
    }
    out.n = n;
    Prefix& p = t_prefix;
    {
        // The base series, split so that only the carried close and volume form a chain.
        double* __restrict G = out.G.data();
        double* __restrict L = out.L.data();
        double* __restrict Pc = out.P.data();
        double* __restrict W = out.W.data();
        double* __restrict A = out.A.data();
        G[0] = L[0] = Pc[0] = W[0] = A[0] = 0;
        for (int k = 1; k < n; ++k) {
            G[k] = C[k - 1] < C[k] ? C[k] - C[k - 1] : 0.0;
            L[k] = C[k - 1] > C[k] ? C[k - 1] - C[k] : 0.0;
        }
        for (int k = 1; k < n; ++k) {
            Pc[k] = C[k] != 0 ? C[k] : Pc[k - 1];
            W[k] = V[k] != 0 ? V[k] : W[k - 1];
        }
        for (int k = 1; k < n; ++k) {
            double diff = Pc[k - 1] - Pc[k];
            A[k] = diff > 0 ? diff : Pc[k] - Pc[k - 1];
        }
        double sg = 0, sl = 0, sp = 0, sw = 0, sv = 0;
        p.G[0] = p.L[0] = p.P[0] = p.W[0] = p.V[0] = 0;
        for (int k = 0; k < n; ++k) {
            p.G[k + 1] = sg += G[k];
            p.L[k + 1] = sl += L[k];
            p.P[k + 1] = sp += Pc[k];
            p.W[k + 1] = sw += W[k];
            p.V[k + 1] = sv += V[k];
        }
    }
    const double* pG = p.G.data();
    const double* pL = p.L.data();
    const double* pP = p.P.data();
    const double* pW = p.W.data();
    const double* P = out.P.data();

    // Each series in a loop of its own over the days, without branches: the loops carry no
    // state, so the compiler computes several days per instruction with the same correctly
    // rounded operations. Days before a series' first day are zero-filled up front.
    auto zeroBelow = [n](Array<double>& a, int first) {
        for (int k = 0; k < first && k < n; ++k) {
            a[k] = 0;
        }
    };
    zeroBelow(out.S, 5);
    zeroBelow(out.T, 15);
    zeroBelow(out.M6, 6);
    zeroBelow(out.AV30, 29);
    zeroBelow(out.A30, 29);
    zeroBelow(out.A54, 53);
    zeroBelow(out.M30, 30);
    zeroBelow(out.M54, 54);
    for (int k = 5; k < n; ++k) {
        double a = (pG[k] - pG[k - 4]) * 3 / 4;
        double c = (pG[k + 1] - pG[k - 3]) * 3 / 4;
        double e = (pL[k] - pL[k - 4]) * 3 / 4;
        bool rose = C[k - 4] < C[k];
        double b = rose ? 0.0 : C[k - 5] - C[k - 1];
        double d = rose ? 0.0 : C[k - 4] - C[k] + 0.001;
        double f = C[k - 4] <= C[k] ? C[k] - C[k - 4] + 0.001 : 0.0;
        double D = (f + e) / 4 + (d + c) / 4;
        double num = (b + a) / 4;
        out.S[k] = D == 0 ? 0.0 : num / D;
    }
    for (int k = 15; k < n; ++k) {
        double g = (pG[k] - pG[k - 14]) * 13 / 14;
        double u = C[k - 15] < C[k - 1] ? C[k - 1] - C[k - 15] : 0.0;
        double l = (pL[k] - pL[k - 14]) * 13 / 14;
        double w = C[k - 15] > C[k - 1] ? C[k - 15] - C[k - 1] : 0.0;
        double up = (g + u) / 14;
        double down = (w + l) / 14;
        double sum = up + down;
        double ratio = up / sum;
        out.T[k] = sum == 0 ? 0.0 : ratio;
    }
    for (int k = 0; k < n; ++k) {
        double st = out.S[k] + out.T[k];
        out.B[k] = (bounds.lower <= st && st <= bounds.upper) ? 1.0 : 0.0;
    }
    for (int k = 6; k < n; ++k) {
        double m = (pP[k] - pP[k - 6]) / 6;
        double r = P[k] / m;
        out.M6[k] = m == 0 ? 1.0 : r;
    }
    for (int k = 0; k < n; ++k) {
        Mark H = shortSignal(out.M6[k], out.S[k], out.T[k]);
        out.H[k] = H;
        out.K[k] = (k < 6 || H == Mark::None) ? Mark::None : volumeSignal(H, span(p.V, k - 6, k - 1), V[k]);
    }
    for (int k = 29; k < n; ++k) {
        out.AV30[k] = (pW[k + 1] - pW[k - 29]) / 30;
        out.A30[k] = (pP[k + 1] - pP[k - 29]) / 30;
    }
    for (int k = 53; k < n; ++k) {
        out.A54[k] = (pP[k + 1] - pP[k - 53]) / 54;
    }
    for (int k = 30; k < n; ++k) {
        double m = (pP[k] - pP[k - 30]) / 30;
        double r = P[k] / m;
        out.M30[k] = m == 0 ? 1.0 : r;
    }
    for (int k = 54; k < n; ++k) {
        double m = (pP[k] - pP[k - 54]) / 54;
        double r = P[k] / m;
        out.M54[k] = m == 0 ? 1.0 : r;
    }
    Array<double>& up = t_work.up;
    Array<double>& down = t_work.down;
    for (int k = 4; k < n; ++k) {
        double pz = (pG[k + 1] - pG[k - 3]) * 3 / 4;
        double q = C[k - 4] < C[k] ? C[k] - C[k - 3] : 0.0;
        double r = (pL[k + 1] - pL[k - 3]) * 3 / 4;
        double s = C[k - 4] > C[k] ? C[k - 4] - C[k] : 0.0;
        up[k] = (q + pz) / 4;
        down[k] = (s + r) / 4;
    }
    for (int k = 0; k < n; ++k) {
        out.Z4[k] = k < 4 ? Mark::None : (up[k] <= down[k] ? Mark::Buy : Mark::Sell);
    }
    // Z14 compares (x / 14) with (y / 14). Division by the same number keeps the order, so
    // x <= y decides Buy; x clearly above y decides Sell; only where the two could round to the
    // same quotient are the quotients formed.
    for (int k = 14; k < n; ++k) {
        double pz = (pG[k + 1] - pG[k - 13]) * 13 / 14;
        double q = C[k - 14] < C[k] ? C[k] - C[k - 14] : 0.0;
        double r = (pL[k + 1] - pL[k - 13]) * 13 / 14;
        double s = C[k - 14] > C[k] ? C[k - 14] - C[k] : 0.0;
        up[k] = pz + q;
        down[k] = s + r;
    }
    for (int k = 0; k < n; ++k) {
        if (k < 14) {
            out.Z14[k] = Mark::None;
        } else if (up[k] <= down[k]) {
            out.Z14[k] = Mark::Buy;
        } else if (up[k] - down[k] >= up[k] * 0x1p-50) {
            out.Z14[k] = Mark::Sell;
        } else {
            out.Z14[k] = up[k] / 14 <= down[k] / 14 ? Mark::Buy : Mark::Sell;
        }
    }
    // Z7 on whole-number inputs below the exactness limit: a rise of at least 1 divided by 7 is
    // larger than the rounding step of the seven-day base, and a fall only adds to the other
    // side, so the zone is Sell exactly when the carried close rose over the six days.
    for (int k = 0; k < n; ++k) {
        out.Z7[k] = (k < 6 || P[k] == 0) ? Mark::None : (P[k - 6] < P[k] ? Mark::Sell : Mark::Buy);
    }
    return true;
}

void computeChart(const double* C, const double* V, int n, Bounds bounds, Series& out)
{
    if (n > kCapacity) {
        n = kCapacity;
    }
    if (!chartKernel(C, V, n, bounds, out)) {
        computeReference(C, V, n, bounds, out);
    }
}

std::string signalCode(const double* C, const double* V, int n, Bounds bounds)
{
    if (n > kCapacity) {
        n = kCapacity;
    }
    if (n <= 0) {
        return "00";
    }
    Series& s = t_series;
    if (!exactInputs(C, V, n)) {
        computeReference(C, V, n, bounds, s);
    } else {
        s.n = n;
        baseSeries(C, V, n, s);
        prefixSums(V, n, s, t_prefix);
        signalDay(C, V, n - 1, bounds, t_prefix, s);
    }
    return std::string{markDigit(s.H[n - 1]), markDigit(s.K[n - 1])};
}

void signalsByDay(const double* C, const double* V, int n, int window, Mark* outH, Mark* outK)
{
    if (n <= 0) {
        return;
    }
    window = std::clamp(window, 1, kCapacity);
    // Every sum a day's signal reads is formed as computeReference forms it, from the day's own
    // neighbours: on whole-number inputs signalCode's prefix sums are exact and so give the same
    // doubles, and otherwise signalCode runs computeReference itself. What does depend on where
    // a window starts is the carried close: it is 0 on the window's first day and carries the
    // newest non-zero close after it.
    std::vector<double> G(static_cast<std::size_t>(n));
    std::vector<double> L(static_cast<std::size_t>(n));
    std::vector<int> lastNonZero(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        G[i] = i > 0 && C[i - 1] < C[i] ? C[i] - C[i - 1] : 0.0;
        L[i] = i > 0 && C[i - 1] > C[i] ? C[i - 1] - C[i] : 0.0;
        lastNonZero[i] = C[i] != 0 ? i : (i > 0 ? lastNonZero[i - 1] : -1);
    }
    for (int i = 0; i < n; ++i) {
        const int start = std::max(0, i - window + 1);
        const int k = i - start;
        auto carried = [&](int j) {
            const int m = lastNonZero[j];
            return m > start ? C[m] : 0.0;
        };
        const double S = k >= 5 ? literalS(C, G.data(), L.data(), i) : 0.0;
        const double T = k >= 15 ? literalT(C, G.data(), L.data(), i) : 0.0;
        double M6 = 0;
        Mark K = Mark::None;
        Mark H = Mark::None;
        if (k >= 6) {
            double sum = 0;
            double sumV = 0;
            for (int j = i - 6; j <= i - 1; ++j) {
                sum = sum + carried(j);
                sumV = sumV + V[j];
            }
            M6 = ratioToMean(carried(i), sum / 6);
            H = shortSignal(M6, S, T);
            K = volumeSignal(H, sumV, V[i]);
        } else {
            H = shortSignal(M6, S, T);
        }
        outH[i] = H;
        outK[i] = K;
    }
}

void computeReference(const double* C, const double* V, int n, Bounds bounds, Series& out)
{
    if (n > kCapacity) {
        n = kCapacity;
    }
    out.n = n;
    auto& G = out.G;
    auto& L = out.L;
    auto& P = out.P;
    auto& W = out.W;
    auto& A = out.A;
    for (int k = 0; k < n; ++k) {
        // 1. Gain and loss.
        if (k == 0) {
            G[k] = 0;
            L[k] = 0;
        } else {
            G[k] = C[k - 1] < C[k] ? C[k] - C[k - 1] : 0.0;
            L[k] = C[k - 1] > C[k] ? C[k - 1] - C[k] : 0.0;
        }
        // 2. Short strength ratio.
        double S = k >= 5 ? literalS(C, G.data(), L.data(), k) : 0.0;
        // 3. 14-day strength ratio.
        double T = k >= 15 ? literalT(C, G.data(), L.data(), k) : 0.0;
        // 4. Band flag.
        double st = S + T;
        out.B[k] = (bounds.lower <= st && st <= bounds.upper) ? 1.0 : 0.0;
        // 5. Carried close.
        P[k] = k == 0 ? 0.0 : (C[k] != 0 ? C[k] : P[k - 1]);
        // 6. Six-day ratio.
        double M6 = 0;
        if (k >= 6) {
            double sum = 0;
            for (int i = k - 6; i <= k - 1; ++i) {
                sum = sum + P[i];
            }
            M6 = ratioToMean(P[k], sum / 6);
        }
        // 7, 8. Signals.
        Mark H = shortSignal(M6, S, T);
        Mark K = Mark::None;
        if (k >= 6) {
            double sumV = 0;
            for (int i = k - 6; i <= k - 1; ++i) {
                sumV = sumV + V[i];
            }
            K = volumeSignal(H, sumV, V[k]);
        }
        out.S[k] = S;
        out.T[k] = T;
        out.M6[k] = M6;
        out.H[k] = H;
        out.K[k] = K;

        // Chart series.
        if (k < 4) {
            out.Z4[k] = Mark::None;
        } else {
            double p = (G[k - 2] + G[k - 3] + G[k - 1] + G[k]) * 3 / 4;
            double r = (L[k - 2] + L[k - 3] + L[k - 1] + L[k]) * 3 / 4;
            out.Z4[k] = zone4(C, k, p, r);
        }
        if (k < 14) {
            out.Z14[k] = Mark::None;
        } else {
            double sumG = 0;
            double sumL = 0;
            for (int i = k - 13; i <= k; ++i) {
                sumG = sumG + G[i];
                sumL = sumL + L[i];
            }
            out.Z14[k] = zone14(C, k, sumG, sumL);
        }
        W[k] = k == 0 ? 0.0 : (V[k] != 0 ? V[k] : W[k - 1]);
        auto sumOf = [](const Array<double>& s, int from, int to) {
            double sum = 0;
            for (int i = from; i <= to; ++i) {
                sum = sum + s[i];
            }
            return sum;
        };
        out.AV30[k] = k < 29 ? 0.0 : sumOf(W, k - 29, k) / 30;
        if (k == 0) {
            A[k] = 0;
        } else {
            double diff = P[k - 1] - P[k];
            A[k] = diff > 0 ? diff : P[k] - P[k - 1];
        }
        out.A54[k] = k < 53 ? 0.0 : sumOf(P, k - 53, k) / 54;
        out.A30[k] = k < 29 ? 0.0 : sumOf(P, k - 29, k) / 30;
        out.M30[k] = k < 30 ? 0.0 : ratioToMean(P[k], sumOf(P, k - 30, k - 1) / 30);
        out.M54[k] = k < 54 ? 0.0 : ratioToMean(P[k], sumOf(P, k - 54, k - 1) / 54);
        out.Z7[k] = (k < 6 || P[k] == 0) ? Mark::None : zone7(P.data(), k, sumOf(A, k - 6, k));
    }
}

std::string markText(Mark mark)
{
    switch (mark) {
    case Mark::Sell:
        return "売";
    case Mark::Buy:
        return "買";
    default:
        return " ";
    }
}

std::string zoneText(Mark mark)
{
    switch (mark) {
    case Mark::Sell:
        return "売ゾ";
    case Mark::Buy:
        return "買ゾ";
    default:
        return " ";
    }
}

char markDigit(Mark mark)
{
    return mark == Mark::Sell ? '1' : (mark == Mark::Buy ? '2' : '0');
}

std::string markFromDigit(char digit)
{
    return digit == '1' ? "売" : (digit == '2' ? "買" : " ");
}

} // namespace zuvemo::analysis::Indicators
