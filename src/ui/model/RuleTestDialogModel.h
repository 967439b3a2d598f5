#pragma once

#include "GridData.h"
#include "analysis/RuleTest.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zuvemo::ui {

// "この条件を検証" without widgets: "条件検索"'s conditions tested over the stored days on a
// thread of its own (a connection of its own), its rows in a grid, the simulation's figures in a
// second one, the equity and the market's lines for a chart, and the limits in one line.
class RuleTestDialogModel
{
public:
    static constexpr std::uint32_t kHigherColour = 0xCEEFC6; // pale green
    static constexpr std::uint32_t kLowerColour = 0xCEC7FF; // pale pink

    RuleTestDialogModel(std::filesystem::path programFolder, analysis::RuleTest::Options options,
        const std::string& conditionsText);
    ~RuleTestDialogModel();
    RuleTestDialogModel(const RuleTestDialogModel&) = delete;
    RuleTestDialogModel& operator=(const RuleTestDialogModel&) = delete;

    // "1,5,20": false with message set when the text is not 1 to 3 horizons of 1 to 250 days.
    bool setHorizons(const std::string& text);
    void setNextOpen(bool nextOpen) { m_options.nextOpen = nextOpen; }
    void setByYear(bool byYear);
    void setEveryDay(bool everyDay) { m_options.everyDay = everyDay; }
    const analysis::RuleTest::Options& options() const { return m_options; }

    // Starts the test on its thread; a test still running is stopped first.
    void start();
    // Asks the running test to stop and waits for its thread; poll takes over what it says.
    void stop();
    bool running() const { return m_thread.joinable() && !m_finished; }
    // Takes over a finished test's result into the texts, the grids and the lines: true once,
    // when it has finished since the last call; meanwhile progress says how far it is.
    bool poll();

    std::string caption; // "成績  条件: 25日乖離 −10% 以下、RSI 30 以下"
    std::string progress; // "検証中… 1,200 / 4,000 銘柄"
    std::string message; // why there is no result
    std::string heading;
    std::string limits; // "株価 280 日分、指標は 277 日分で検証。手数料片道 0.1 %。…"
    GridData grid; // the rule's rows per group and horizon
    GridData money; // the simulation: the rule beside the market
    std::vector<std::string> dates; // of the lines
    std::vector<double> equity, market; // yen
    const analysis::TrackReport& report() const { return m_report; }

    // The conditions in words, for the caption: "短期シグナル 買、25日乖離 〜-10%、RSI 〜30".
    static std::string describe(const analysis::StockFinder::Conditions& conditions);
    // The limits line of a report.
    static std::string limitsOf(const analysis::TrackReport& report);

private:
    void fill();

    std::filesystem::path m_folder;
    analysis::RuleTest::Options m_options;
    analysis::TrackReport m_report;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    bool m_pending = false; // started, its result not yet taken over
    std::atomic<std::size_t> m_done{0}, m_total{0};
    std::mutex m_mutex;
    analysis::TrackReport m_result; // under m_mutex until taken over
    std::string m_error;
};

} // namespace zuvemo::ui
