#include "RuleTestPace.h"

#include <algorithm>

namespace zuvemo::ui {

namespace {

// Before this many seconds of a step, or a twentieth of its units, its pace says little.
constexpr double kSettleSeconds = 1;

} // namespace

void RuleTestPace::observe(const Progress& progress, double seconds)
{
    auto& step = m_steps[index(progress.step)];
    if (step.began < 0) {
        step.began = seconds;
    }
    step.at = seconds;
    step.done = progress.done;
    step.total = progress.total;
    m_current = static_cast<int>(index(progress.step));
}

double RuleTestPace::secondsLeft(double seconds) const
{
    if (m_current <= static_cast<int>(index(Progress::Step::Prices))) {
        return -1;
    }
    const auto& step = m_steps[static_cast<std::size_t>(m_current)];
    const double spent = step.at - step.began;
    if (step.done == 0 || !(spent > 0)
        || (seconds - step.began < kSettleSeconds && step.done * 20 < step.total)) {
        return -1;
    }
    const double perUnit = spent / static_cast<double>(step.done);
    double left = perUnit * static_cast<double>(step.total - std::min(step.done, step.total));
    // The unit under way since the last progress has taken some of that already.
    left -= std::clamp(seconds - step.at, 0.0, perUnit);
    if (m_current == static_cast<int>(index(Progress::Step::Figures))) {
        const auto& prices = m_steps[index(Progress::Step::Prices)];
        if (prices.began >= 0) {
            left += step.began - prices.began;
        }
    }
    return std::max(0.0, left);
}

double RuleTestPace::share(double seconds) const
{
    const double left = secondsLeft(seconds);
    if (left < 0) {
        return -1;
    }
    return seconds + left > 0 ? std::clamp(seconds / (seconds + left), 0.0, 1.0) : 1.0;
}

} // namespace zuvemo::ui
