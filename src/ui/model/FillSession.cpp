#include "FillSession.h"

#include "analysis/TechnicalFigures.h"
#include "core/Mdl_Start.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/jquants/BackgroundFill.h"
#include "marketdata/jquants/PriceStore.h"

#include <algorithm>

namespace zuvemo::ui {

FillSession::FillSession(
    core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader)
    : m_module(module)
    , m_clock(clock)
    , m_downloader(downloader)
{
}

FillSession::~FillSession() = default;

bool FillSession::pending() const
{
    return marketdata::DataSource::read(*m_module.SharedConnection).isJQuants()
        && marketdata::PriceStore::exists(m_module.programFolder())
        && marketdata::PriceStore(m_module.programFolder()).fillPending();
}

bool FillSession::start(std::shared_ptr<core::FileLock> lock, bool resumed)
{
    marketdata::MarketDataRefresh refresh(m_module, m_downloader, m_clock);
    auto job = refresh.prepareJQuants();
    if (!job) {
        return false;
    }
    m_lock = std::move(lock);
    m_job = std::make_unique<marketdata::MarketDataRefresh::JQuantsJob>(*job);
    m_listLoaded = false;
    // The day's price figures are worked out on the fill's thread, so the first search after
    // the fill reads them instead of every bar.
    m_fill = std::make_unique<marketdata::BackgroundFill>(
        m_module.programFolder(), *job, m_clock, [folder = m_module.programFolder()](const std::string& day) {
            analysis::TechnicalFigures::keep(folder, day);
        });
    m_line = resumed ? kResumed : kStarted;
    return true;
}

void FillSession::end()
{
    m_fill.reset();
    m_lock.reset();
    m_job.reset();
    m_line.clear();
}

void FillSession::stop(bool wait)
{
    if (!m_fill) {
        return;
    }
    m_fill->stop();
    if (wait) {
        end();
    }
}

std::optional<FillSession::Ending> FillSession::poll(const marketdata::RefreshHooks& hooks)
{
    if (!m_fill) {
        return std::nullopt;
    }
    const auto state = m_fill->snapshot();
    marketdata::MarketDataRefresh refresh(m_module, m_downloader, m_clock);
    if (state.listDate && !m_listLoaded) {
        m_listLoaded = true;
        refresh.loadJQuantsList(*m_job, *state.listDate, hooks);
    }
    if (!state.finished) {
        if (state.total > 0 || state.files.total > 0 || state.waitSecondsLeft > 0) {
            m_line = marketdata::BackgroundFill::progressText(state);
        }
        return std::nullopt;
    }
    const bool stopped = m_fill->stopRequested();
    const bool listLoaded = m_listLoaded;
    const auto job = *m_job;
    end();
    const auto& done = state.result;
    Ending ending;
    // A fill that went on from an earlier run has no newer list to load: its end is the
    // history's, not a refresh without news, also when only disclosure days were left.
    if (done.ok && !done.listWritten && (state.hadWork || done.daysFetched > 0)) {
        ending.note = kDone;
        ending.box = completeMessage(storedText(done.tradingDate), job.heldDashed, false);
        return ending;
    }
    using Outcome = marketdata::MarketDataRefresh::Outcome;
    const auto result = refresh.concludeJQuants(job, done);
    if (result.outcome == Outcome::Cancelled) {
        ending.note = stopped ? kStopped : "";
        return ending;
    }
    if (result.outcome == Outcome::Failed) {
        ending.note = failedLine(state.done, state.total);
        return ending;
    }
    ending.note = state.total > 0 ? kDone : "";
    if (listLoaded) {
        ending.box = completeMessage(done.ok ? storedText(done.tradingDate) : std::string(),
            state.listDate.value_or(done.tradingDate), true);
    }
    return ending;
}

std::string FillSession::storedText(const std::string& day) const
{
    if (!marketdata::PriceStore::exists(m_module.programFolder())) {
        return {};
    }
    const auto held = marketdata::PriceStore(m_module.programFolder()).contents(day);
    const int depth = marketdata::DataSource::read(*m_module.SharedConnection).days;
    return storedLine(std::min(held.priceDays, depth), held.filingDays, held.filings, held.valuationDay);
}

std::string FillSession::storedLine(
    int priceDays, int filingDays, long filings, const std::string& valuationDay)
{
    std::string parts;
    auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : "、") + part; };
    if (priceDays > 0) {
        add(std::to_string(priceDays) + " 日分の株価");
    }
    if (filingDays > 0) {
        add(std::to_string(filingDays) + " 日分の開示（"
            + core::FormatNumber(static_cast<double>(filings), "#,##0") + " 件）");
    }
    if (!valuationDay.empty()) {
        add("指標 " + valuationDay);
    }
    if (parts.empty()) {
        return {};
    }
    // A date is set apart from the particle after it; a word is not.
    const bool date = parts.back() >= '0' && parts.back() <= '9';
    return parts + (date ? " を保存しました。" : "を保存しました。");
}

std::string FillSession::completeMessage(const std::string& stored, const std::string& listDate, bool newList)
{
    std::string text = newList ? kFinished : kDone;
    if (!stored.empty()) {
        text += "\n" + stored;
    }
    if (!listDate.empty()) {
        text += "\n銘柄一覧は " + listDate + " のものです。";
    }
    return text;
}

std::string FillSession::failedLine(int done, int total)
{
    if (total <= 0) {
        return "履歴取得が止まりました。「検索開始」でやり直します。";
    }
    return "履歴取得は " + std::to_string(done) + "/" + std::to_string(total)
        + " 日で止まりました。「検索開始」で続きを取得します。";
}

} // namespace zuvemo::ui
