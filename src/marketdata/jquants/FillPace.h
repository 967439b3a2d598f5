#pragma once

#include "JQuantsRefresh.h"

namespace zuvemo::marketdata {

// The time a fill still takes: the requests it still makes, from the requests a day has taken so
// far (an answer may come in several pages), at the pace they go, which is the plan's limit or
// the answers' own speed when slower. Prices and disclosures are counted apart: the disclosures
// have a limit of their own. A wait after a 429 or a server's error is no part of the pace: it
// is counted while it lasts and forgotten after.
class FillPace
{
public:
    // The seconds between two requests at the plan's limit (window / requests a minute).
    FillPace(double priceGapSeconds, double filingGapSeconds);
    // The pace of a client's options: its plan's limit and the disclosures' own.
    static FillPace of(const JQuantsClient::Options& options);

    // A step of the fill at secondsSoFar since the fill began, of which blockedSeconds were
    // spent waiting after a 429 or a server's error.
    void observe(const JQuantsRefresh::Step& step, double secondsSoFar, double blockedSeconds);
    // Minutes left at secondsNow (a wait under way adds what remains of it); -1 before the
    // first step.
    long minutesLeft(double secondsNow, double blockedSeconds, double waitLeftSeconds = 0) const;

    // Whether a wait of the client is a block (a 429's or a server's) rather than the pace's gap.
    bool isBlock(double waitSeconds, bool rateLimit) const;

private:
    // What the days of one kind have taken in this run, each day counted as its step ends.
    struct Phase
    {
        int days = 0;
        long requests = 0;
        double seconds = 0; // blocks aside
        // Requests a day; one before any day is done.
        double requestsPerDay() const;
        // Seconds a request, the gap's at least.
        double secondsPerRequest(double gap) const;
    };

    double m_priceGap;
    double m_filingGap;
    bool m_seen = false;
    JQuantsRefresh::Step m_step;
    double m_lastSeconds = 0;
    double m_lastBlocked = 0;
    Phase m_prices;
    Phase m_filings;
};

} // namespace zuvemo::marketdata
