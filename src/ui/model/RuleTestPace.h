#pragma once

#include "analysis/RuleTest.h"

#include <array>

namespace zuvemo::ui {

// The time a rule test still takes, from the pace of its steps so far: the units left of the
// step under way at the pace its units went, and the stocks' evaluation after JPX's figures
// taken to go as fast as the reading of the stocks' days went. Nothing is said while the days
// are read: what follows them is not known yet.
class RuleTestPace
{
public:
    using Progress = analysis::RuleTest::Progress;

    // A step's progress at seconds since the run began.
    void observe(const Progress& progress, double seconds);
    // The seconds left at seconds since the run began; -1 while they cannot be estimated.
    double secondsLeft(double seconds) const;
    // The share of the run done, from the time spent and the time left; -1 while unknown.
    double share(double seconds) const;

private:
    struct Step
    {
        double began = -1; // when its first progress came
        double at = 0; // when its last did
        std::size_t done = 0, total = 0;
    };
    static std::size_t index(Progress::Step step) { return static_cast<std::size_t>(step); }

    std::array<Step, 4> m_steps;
    int m_current = -1;
};

} // namespace zuvemo::ui
