#include "DailyRun.h"

#include "CSVMDB.h"
#include "TechnicalFigures.h"
#include "core/Clock.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Recordset.h"
#include "core/ValueRules.h"
#include "marketdata/MarketDataRefresh.h"

#include <cstdio>
#include <iostream>
#include <memory>

namespace zuvemo::analysis {

namespace {

// Passes each message on and keeps the last one for the journal.
class KeepingPresenter : public core::MessagePresenter
{
public:
    void show(const std::string& title, const std::string& text) override
    {
        last = text;
        if (next) {
            next->show(title, text);
        }
    }
    std::string last;
    std::shared_ptr<core::MessagePresenter> next;
};

// Keeps the last message shown during a run while still showing each.
class PresenterGuard
{
public:
    PresenterGuard()
        : m_keeping(std::make_shared<KeepingPresenter>())
    {
        m_keeping->next = core::SetMessagePresenter(m_keeping);
    }
    ~PresenterGuard() { core::SetMessagePresenter(m_keeping->next); }
    PresenterGuard(const PresenterGuard&) = delete;
    PresenterGuard& operator=(const PresenterGuard&) = delete;
    std::string last() const { return m_keeping->last; }

private:
    std::shared_ptr<KeepingPresenter> m_keeping;
};

std::string oneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        out.push_back(c == '\n' || c == '\t' ? ' ' : c);
    }
    return out;
}

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}

std::string amountText(double value)
{
    std::string text = core::FormatNumber(value, "#,###");
    return text.empty() ? "0" : text;
}

std::string wholeNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string signalText(const std::string& mark)
{
    return mark == "売" || mark == "買" ? mark : "-";
}

} // namespace

int DailyRun::Report::exitCode() const
{
    if (record.outcome == core::Journal::kFailed) {
        return 1;
    }
    return record.outcome == core::Journal::kReached ? 3 : 0;
}

DailyRun::DailyRun(core::Mdl_Start& module, marketdata::Downloader& dailyDownloader,
    marketdata::Downloader& historyDownloader, const core::Clock& clock)
    : m_module(module)
    , m_dailyDownloader(dailyDownloader)
    , m_historyDownloader(historyDownloader)
    , m_clock(clock)
{
}

DailyRun::Report DailyRun::run(const Options& options)
{
    Report report;
    auto& r = report.record;
    r.startedAt = m_clock.timestamp();
    r.outcome = core::Journal::kFailed;
    {
        PresenterGuard messages;
        try {
            runSteps(options, report);
        } catch (const core::DatabaseError& e) {
            r.outcome = core::Journal::kFailed;
            r.message = e.userText();
            std::cerr << "zuvemo: " << e.detail() << std::endl;
        }
        if (r.outcome == core::Journal::kFailed && r.message.empty()) {
            r.message = oneLine(messages.last());
        }
        // The codes a refresh left out go into the record with whatever else it says.
        for (const auto& note : report.notes) {
            r.message += (r.message.empty() ? "" : " / ") + note;
        }
    }
    r.endedAt = m_clock.timestamp();
    try {
        r.id = core::Journal::append(*m_module.SharedConnection, r);
    } catch (const core::DatabaseError& e) {
        r.outcome = core::Journal::kFailed;
        // The statement (the journal's CREATE TABLE among them) is for standard error only.
        r.message += (r.message.empty() ? "" : " / ") + std::string("記録を書き込めません: ") + e.userText();
        std::cerr << "zuvemo: " << e.detail() << std::endl;
    }
    return report;
}

void DailyRun::runSteps(const Options& options, Report& report)
{
    auto& r = report.record;
    auto stopped = [&] { return options.cancel && options.cancel->load(); };

    marketdata::MarketDataRefresh refresh(m_module, m_dailyDownloader, m_clock);
    refresh.setJQuantsOptions(m_jquants);
    marketdata::RefreshHooks refreshHooks;
    refreshHooks.progress = [&](int, int) { return !stopped(); };
    auto loaded = refresh.run(refreshHooks);
    report.notes = loaded.notes;
    if (loaded.outcome == marketdata::MarketDataRefresh::Outcome::Cancelled) {
        r.message = kStoppedMessage;
        return;
    }
    const bool upToDate = loaded.outcome == marketdata::MarketDataRefresh::Outcome::UpToDate;
    if (loaded.outcome != marketdata::MarketDataRefresh::Outcome::Loaded && !upToDate) {
        // The message the refresh showed goes into the record.
        return;
    }
    r.tradingDate = loaded.tradingDate;
    TechnicalFigures::prepare(m_module);
    if (upToDate) {
        // Watched stocks added since the list was loaded are judged on its closes too.
        marketdata::WatchList::takeCloses(m_module);
    }

    // The closes are new: the watch list is judged even when the screening fails below.
    report.reached = marketdata::WatchList::reachedTargets(m_module);
    for (const auto& reached : report.reached) {
        r.reachedCodes.push_back(reached.code);
    }

    if (upToDate) {
        // No newer list yet: the day held keeps its screening, and the run reports what stands.
        r.message = loaded.message;
        collectSignals(report);
        r.outcome = report.reached.empty() ? core::Journal::kOk : core::Journal::kReached;
        return;
    }

    ScreeningRun screening(m_module, m_historyDownloader, readBounds(m_module));
    screening.setJobs(options.jobs);
    screening.setAheadLimits(options.aheadLimits);
    ScreeningHooks hooks;
    hooks.progress = [&](int, int) { return !stopped(); };
    report.screening = screening.run(options.market, options.industry, hooks);
    const auto& s = report.screening;
    r.screened = s.stocks;
    r.obtained = s.obtained;
    r.suspended = s.suspended;
    r.failed = s.failed;

    // The refresh blanked every signal, so each one standing now is new from this run.
    collectSignals(report);

    if (!s.started) {
        return;
    }
    if (s.cancelled) {
        r.message = kStoppedMessage;
        return;
    }
    const std::string failure = ScreeningRun::failureMessage(s);
    if (!failure.empty()) {
        r.message = failure;
        return;
    }
    r.outcome = report.reached.empty() ? core::Journal::kOk : core::Journal::kReached;
}

void DailyRun::collectSignals(Report& report)
{
    auto rs = m_module.SharedConnection->openRecordset(
        " SELECT * FROM Table_Code WHERE Achk IN ('売','買') OR Cchk IN ('売','買') ORDER BY MgCode ASC");
    for (; !rs->isEof(); rs->moveNext()) {
        Signal signal{core::TrimOrSpace(rs->field("MgCode")), core::TrimOrSpace(rs->field("MgMei")),
            core::TrimOrSpace(rs->field("Achk")), core::TrimOrSpace(rs->field("Cchk"))};
        report.record.signalCodes.push_back(signal.code);
        report.signals.push_back(std::move(signal));
    }
}

std::string DailyRun::reportText(const Report& report)
{
    const auto& r = report.record;
    std::string out;
    out += "取引日 " + (r.tradingDate.empty() ? std::string("-") : r.tradingDate) + "\n";
    out += ScreeningRun::summaryLine(report.screening) + "\n";
    out += "目標到達 " + std::to_string(report.reached.size()) + " 銘柄\n";
    for (const auto& t : report.reached) {
        out += "  " + t.code + " " + t.name + " 本日額 " + amountText(t.today) + " 希望額 "
            + amountText(t.target) + "\n";
    }
    out += "注目 " + std::to_string(report.signals.size()) + " 銘柄\n";
    for (const auto& s : report.signals) {
        out += "  " + s.code + " " + s.name + " Achk " + signalText(s.achk) + " Cchk " + signalText(s.cchk)
            + "\n";
    }
    out += "結果 " + r.outcome + (r.message.empty() ? "" : " " + r.message) + "\n";
    return out;
}

std::string DailyRun::reportJson(const Report& report)
{
    const auto& r = report.record;
    const auto& s = report.screening;
    std::string out = "{";
    out += "\"journalId\":" + std::to_string(r.id);
    out += ",\"startedAt\":" + jsonString(r.startedAt);
    out += ",\"endedAt\":" + jsonString(r.endedAt);
    out += ",\"tradingDate\":" + (r.tradingDate.empty() ? std::string("null") : jsonString(r.tradingDate));
    out += ",\"stocks\":" + std::to_string(s.stocks);
    out += ",\"obtained\":" + std::to_string(s.obtained);
    out += ",\"suspended\":" + std::to_string(s.suspended);
    out += ",\"failed\":" + std::to_string(s.failed);
    out += ",\"reached\":[";
    for (std::size_t i = 0; i < report.reached.size(); ++i) {
        const auto& t = report.reached[i];
        out += std::string(i ? "," : "") + "{\"code\":" + jsonString(t.code)
            + ",\"name\":" + jsonString(t.name) + ",\"today\":" + wholeNumber(t.today)
            + ",\"target\":" + wholeNumber(t.target) + "}";
    }
    out += "],\"signals\":[";
    for (std::size_t i = 0; i < report.signals.size(); ++i) {
        const auto& g = report.signals[i];
        out += std::string(i ? "," : "") + "{\"code\":" + jsonString(g.code)
            + ",\"name\":" + jsonString(g.name) + ",\"achk\":" + jsonString(g.achk == " " ? "" : g.achk)
            + ",\"cchk\":" + jsonString(g.cchk == " " ? "" : g.cchk) + "}";
    }
    out += "],\"outcome\":" + jsonString(r.outcome);
    out += ",\"message\":" + jsonString(r.message);
    out += ",\"exitCode\":" + std::to_string(report.exitCode());
    out += "}";
    return out;
}

std::pair<std::string, std::string> DailyRun::notification(const Report& report)
{
    const auto& r = report.record;
    std::string body;
    for (const auto& t : report.reached) {
        body += (body.empty() ? "" : "\n") + t.code + " " + t.name + " 本日額 " + amountText(t.today)
            + " 希望額 " + amountText(t.target);
    }
    if (r.outcome == core::Journal::kFailed) {
        return {"Zuvemo 日次処理に失敗しました", r.message + (body.empty() ? "" : "\n" + body)};
    }
    if (report.reached.empty()) {
        return {};
    }
    return {"Zuvemo 目標到達 " + std::to_string(report.reached.size()) + " 銘柄", body};
}

} // namespace zuvemo::analysis
