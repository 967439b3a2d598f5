#pragma once

#include "JQuantsRefresh.h"

namespace zuvemo::marketdata {

// The time a fill still takes: the requests it still makes, from the requests a day has taken so
// far (an answer may come in several pages), at the pace they go, which is the plan's limit or
// the answers' own speed when slower. Prices and disclosures are counted apart: the disclosures
// have a limit of their own. The monthly files before the days go at the pace seen on them, one
// request and a download each. Only what this run did sets a pace: the files and days an earlier
// run stored took none of its time. A wait after a 429 or a server's error is no part of the
// pace: it is counted while it lasts and forgotten after.
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
    // The same for a step of the monthly files.
    void observeFiles(const JQuantsRefresh::FileStep& step, double secondsSoFar, double blockedSeconds);
    // Minutes left at secondsNow (a wait under way adds what remains of it); -1 before the
    // first step. While the files are read, the days they leave are counted at the plan's pace.
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

    // The seconds a day of prices or of disclosures takes.
    double secondsPerDay(bool prices) const;
    // The seconds since the last step, blocks aside.
    double sinceLast(double secondsSoFar, double blockedSeconds) const;

    double m_priceGap;
    double m_filingGap;
    bool m_seen = false;
    JQuantsRefresh::Step m_step;
    bool m_filesSeen = false;
    JQuantsRefresh::FileStep m_fileStep;
    // The time of the last step, of either kind.
    double m_lastSeconds = 0;
    double m_lastBlocked = 0;
    Phase m_prices;
    Phase m_filings;
    Phase m_files; // a file a "day" of one request
};

} // namespace zuvemo::marketdata
