#pragma once

#include "GridData.h"
#include "RuleTestPace.h"
#include "analysis/RuleTest.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
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
    static constexpr double kMaxCostPercent = 10; // a side
    static constexpr const char* kTable = "Table_RuleTest";

    RuleTestDialogModel(std::filesystem::path programFolder, analysis::RuleTest::Options options,
        const std::string& conditionsText);
    ~RuleTestDialogModel();
    RuleTestDialogModel(const RuleTestDialogModel&) = delete;
    RuleTestDialogModel& operator=(const RuleTestDialogModel&) = delete;

    // The window's boxes as text, as typed.
    struct Boxes
    {
        std::string horizons; // "1,5,20"
        bool nextOpen = false, byYear = false, everyDay = false;
        std::string hold; // "20"; empty: the longest horizon
        std::string slotCount, capital; // "10", "1,000,000"
        int lot = 1; // 1 or 100
        std::string cost; // "0.1": percent a side
        // Checked: dividends where the store keeps them.
        bool dividends = true, tax = false;
        std::string market; // one of markets; empty: every market
    };
    enum class Box { None, Horizons, Hold, Slots, Capital, Cost };
    // The boxes as the options stand.
    Boxes boxes() const;
    // Takes the boxes over into the options: false with message and fault set at the first box
    // refused, the options then as they were.
    bool take(const Boxes& boxes);
    Box fault = Box::None;

    // "1,5,20": false with message set when the text is not 1 to 3 horizons of 1 to 250 days.
    bool setHorizons(const std::string& text);
    void setNextOpen(bool nextOpen) { m_options.nextOpen = nextOpen; }
    void setByYear(bool byYear);
    void setEveryDay(bool everyDay) { m_options.everyDay = everyDay; }
    // The money's settings, each false with message set for a value it refuses.
    bool setHold(const std::string& text);
    bool setSlots(const std::string& text);
    bool setCapital(const std::string& text);
    bool setLot(int lot);
    bool setCost(const std::string& text);
    // On: dividends where the store keeps them; off: none. A store known to keep none leaves the
    // setting as it is, to come back once it keeps them.
    void setDividends(bool dividends);
    void setTax(bool tax) { m_options.tax = tax; }
    void setMarket(const std::string& market);
    const analysis::RuleTest::Options& options() const { return m_options; }
    const std::filesystem::path& folder() const { return m_folder; }
    // Whether the store keeps dividends, as the last test found; true until a test says otherwise.
    bool dividendsStored = true;
    static constexpr const char* kNoDividendsTip
        = "配当データがないため選べません（配当込みの検証にはプレミアムプランの配当データが必要です）";
    // Every market a rule can select, for the market box: today's first, then the former ones.
    std::vector<std::string> markets;

    // The settings last run with, kept in the database between windows: read over the options
    // (a kept value now refused is left out), and written. A database that cannot be opened
    // keeps nothing: the settings are only a convenience. Reading them reads the markets too.
    void load();
    void save();

    // Starts the test on its thread; a test still running is stopped first.
    void start();
    // The boxes taken over, kept and the test started: false, with nothing started, for a box
    // refused.
    bool run(const Boxes& boxes);
    // Asks the running test to stop and waits for its thread; poll takes over what it says.
    void stop();
    bool running() const { return m_thread.joinable() && !m_finished; }
    // Takes over a finished test's result into the texts, the grids and the lines: true once,
    // when it has finished since the last call; meanwhile progress and progressShare say how
    // far it is.
    bool poll();

    std::string caption; // "成績  条件: 25日乖離 −10% 以下、RSI 30 以下"
    std::string progress; // "検証中… 1,200 / 4,000 銘柄  残り約 2 分"
    double progressShare = -1; // 0 to 1 of the whole run; -1 while it cannot be estimated
    std::string message; // why there is no result
    std::string heading;
    // "株価 280 日分、指標は 277 日分で検証。TOPIX
    // と同じ買いの日・売りの日で比較。過去の結果は将来を保証しません。"
    std::string limits;
    GridData grid; // the rule's rows per group and horizon
    std::string moneyHeading; // "運用: 10 枠、手数料片道 0.100%、元手 1,000,000 円、単元 1 株、20 日保有"
    GridData money; // the simulation: the rule beside the market, by year too when asked
    std::vector<std::string> dates; // of the lines
    std::vector<double> equity, market; // yen
    std::vector<double> topix; // yen, NaN on a day without it; empty when no day has it
    const analysis::TrackReport& report() const { return m_report; }
    // Takes a report over as a finished test's, for a report made elsewhere.
    void show(analysis::TrackReport report);

    // The conditions in words, for the caption: "短期シグナル 買、25日乖離 〜-10%、RSI 〜30".
    static std::string describe(const analysis::StockFinder::Conditions& conditions);
    // The limits line of a report: the days tested, the report's limits, the caution.
    static std::string limitsOf(const analysis::TrackReport& report);
    // "指標を読み込み中… 600 / 1,206 日  残り約 1 分"; secondsLeft -1: not known yet.
    static std::string progressText(const analysis::RuleTest::Progress& progress, double secondsLeft);

private:
    void fill();
    bool refuse(Box box, const std::string& text);

    std::filesystem::path m_folder;
    analysis::RuleTest::Options m_options;
    analysis::TrackReport m_report;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    bool m_pending = false; // started, its result not yet taken over
    std::chrono::steady_clock::time_point m_started;
    double m_shareAt = 0; // the seconds at which progressShare was last estimated
    std::mutex m_mutex;
    // Under m_mutex: the newest progress, its pace, the result until taken over.
    std::optional<analysis::RuleTest::Progress> m_progress;
    RuleTestPace m_pace;
    analysis::TrackReport m_result;
    std::string m_error;
};

} // namespace zuvemo::ui
