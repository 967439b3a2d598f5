// The price history import with the indicator pass: the fast arithmetic must equal the literal
// one on every window the file yields.
#include "FuzzSupport.h"
#include "analysis/CSVMDB.h"
#include "analysis/HistoryFile.h"
#include "analysis/Indicators.h"

#include <cstdlib>
#include <memory>
#include <vector>

using namespace zuvemo::analysis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto rows = readHistoryFile(zuvemo::fuzz::scratchFile(data, size));
    if (!rows) {
        return 0;
    }
    std::string code = signalCodeOf(*rows, Indicators::Bounds{0.9, 1.2});
    if (code.size() != 2) {
        std::abort();
    }
    int n = std::min<int>(static_cast<int>(rows->size()), 250);
    std::vector<double> close(static_cast<std::size_t>(n));
    std::vector<double> volume(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        close[static_cast<std::size_t>(k)] = (*rows)[static_cast<std::size_t>(n - 1 - k)].close;
        volume[static_cast<std::size_t>(k)] = (*rows)[static_cast<std::size_t>(n - 1 - k)].volume;
    }
    static auto fast = std::make_unique<Indicators::Series>();
    static auto reference = std::make_unique<Indicators::Series>();
    Indicators::computeChart(close.data(), volume.data(), n, {0.9, 1.2}, *fast);
    Indicators::computeReference(close.data(), volume.data(), n, {0.9, 1.2}, *reference);
    for (int k = 0; k < n; ++k) {
        if (fast->S[k] != reference->S[k] || fast->T[k] != reference->T[k] || fast->H[k] != reference->H[k]
            || fast->K[k] != reference->K[k] || fast->A54[k] != reference->A54[k]
            || fast->Z7[k] != reference->Z7[k] || fast->Z14[k] != reference->Z14[k]
            || fast->M30[k] != reference->M30[k]) {
            std::abort();
        }
    }
    return 0;
}
