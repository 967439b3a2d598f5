#pragma once

#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
class Value;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

// The price judgement of the watch list, shared by its grid and the unattended run.
class WatchList
{
public:
    struct Reached
    {
        std::string code; // Wmgcode
        std::string name; // Wmgmei
        double today = 0; // WzuvemoG
        double target = 0; // WzuvemoM
    };

    // The target is reached when today's price is at least the target and a target is set;
    // both pass the number rule first.
    static bool isReached(const core::Value& today, const core::Value& target);
    static double amount(const core::Value& value);
    // A close copied from the list (本日額): a decimal keeps its value.
    static double close(const core::Value& value);

    // The watched stocks whose target is reached, in code order, as Table_KOCYU holds them.
    static std::vector<Reached> reachedTargets(core::Mdl_Start& module);
    // Copies each watched stock's close from the list held (WzuvemoG = Wecost).
    static void takeCloses(core::Mdl_Start& module);
};

} // namespace zuvemo::marketdata
