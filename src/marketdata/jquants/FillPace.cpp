#include "FillPace.h"

#include <algorithm>
#include <cmath>

namespace zuvemo::marketdata {

FillPace::FillPace(double priceGapSeconds, double filingGapSeconds)
    : m_priceGap(priceGapSeconds)
    , m_filingGap(std::max(priceGapSeconds, filingGapSeconds))
{
}

FillPace FillPace::of(const JQuantsClient::Options& options)
{
    // The client's own spacing: a window and a fiftieth, shared out over its requests.
    const double window = std::chrono::duration<double>(options.paceWindow).count() * 1.02;
    auto gap = [window](int perMinute) { return perMinute > 0 ? window / perMinute : 0.0; };
    return FillPace(gap(options.requestsPerMinute), gap(options.finsPerMinute));
}

bool FillPace::isBlock(double waitSeconds, bool rateLimit) const
{
    // The pace's gap is at most a little over one request's share of the window; a 429's wait
    // is a whole window.
    return !rateLimit || waitSeconds > std::max(2 * m_priceGap, 2 * m_filingGap) + 1;
}

double FillPace::Phase::requestsPerDay() const
{
    return days > 0 && requests > 0 ? std::max(1.0, static_cast<double>(requests) / days) : 1.0;
}

double FillPace::Phase::secondsPerRequest(double gap) const
{
    return requests > 0 ? std::max(gap, seconds / static_cast<double>(requests)) : gap;
}

double FillPace::sinceLast(double secondsSoFar, double blockedSeconds) const
{
    return (secondsSoFar - m_lastSeconds) - (blockedSeconds - m_lastBlocked);
}

void FillPace::observe(const JQuantsRefresh::Step& step, double secondsSoFar, double blockedSeconds)
{
    // A step comes before each day is asked for: what passed since the one before is the day
    // just stored. Jumps (days the plan does not reach, the end) tell nothing of the pace.
    if (m_seen) {
        const int prices = step.pricesDone - m_step.pricesDone;
        const int filings = step.filingsDone - m_step.filingsDone;
        Phase* phase
            = prices == 1 && filings == 0 ? &m_prices : (prices == 0 && filings == 1 ? &m_filings : nullptr);
        if (phase) {
            ++phase->days;
            phase->requests += std::max(0L, step.requests - m_step.requests);
            phase->seconds += std::max(0.0, sinceLast(secondsSoFar, blockedSeconds));
        }
    }
    m_seen = true;
    m_step = step;
    m_lastSeconds = secondsSoFar;
    m_lastBlocked = blockedSeconds;
}

void FillPace::observeFiles(const JQuantsRefresh::FileStep& step, double secondsSoFar, double blockedSeconds)
{
    // The first step, which counts the files of earlier runs, only starts the clock.
    if (m_filesSeen && step.done - m_fileStep.done == 1) {
        ++m_files.days;
        ++m_files.requests;
        m_files.seconds += std::max(0.0, sinceLast(secondsSoFar, blockedSeconds));
    }
    m_filesSeen = true;
    m_fileStep = step;
    m_lastSeconds = secondsSoFar;
    m_lastBlocked = blockedSeconds;
}

double FillPace::secondsPerDay(bool prices) const
{
    const double pricePerRequest = m_prices.secondsPerRequest(m_priceGap);
    if (prices) {
        return m_prices.requestsPerDay() * pricePerRequest;
    }
    // Before the first disclosure day the answers' speed seen on the prices stands in for theirs.
    const double filingPerRequest = m_filings.requests > 0 ? m_filings.secondsPerRequest(m_filingGap)
                                                           : std::max(m_filingGap, pricePerRequest);
    return m_filings.requestsPerDay() * filingPerRequest;
}

long FillPace::minutesLeft(double secondsNow, double blockedSeconds, double waitLeftSeconds) const
{
    if (!m_seen && !m_filesSeen) {
        return -1;
    }
    // The days left, and after the files those they leave.
    const int pricesLeft
        = m_seen ? std::max(0, m_step.pricesTotal - m_step.pricesDone) : m_fileStep.pricesAfter;
    const int filingsLeft
        = m_seen ? std::max(0, m_step.filingsTotal - m_step.filingsDone) : m_fileStep.filingsAfter;
    const int filesLeft = m_seen ? 0 : std::max(0, m_fileStep.total - m_fileStep.done);
    // A list of a past day is one request at the prices' pace.
    const int listsLeft = m_seen ? std::max(0, m_step.listsTotal - m_step.listsDone) : 0;
    // A day of dividend notices is one request at the disclosures' pace (/fins/…).
    const int dividendsLeft = m_seen ? std::max(0, m_step.dividendsTotal - m_step.dividendsDone) : 0;
    if (pricesLeft + filingsLeft + filesLeft + listsLeft + dividendsLeft == 0) {
        return 0;
    }
    const double perFile = m_files.secondsPerRequest(m_priceGap);
    double seconds = filesLeft * perFile + pricesLeft * secondsPerDay(true)
        + filingsLeft * secondsPerDay(false) + listsLeft * m_prices.secondsPerRequest(m_priceGap)
        + dividendsLeft * m_filings.secondsPerRequest(std::max(m_filingGap, m_priceGap));
    // The file or day under way since the last step has taken some of that already, the time
    // spent blocked aside; a block under way adds what remains of it.
    const double current = filesLeft > 0 ? perFile : secondsPerDay(pricesLeft > 0);
    seconds -= std::clamp(sinceLast(secondsNow, blockedSeconds), 0.0, current);
    seconds += std::max(0.0, waitLeftSeconds);
    return static_cast<long>(std::ceil(std::max(0.0, seconds) / 60));
}

} // namespace zuvemo::marketdata
