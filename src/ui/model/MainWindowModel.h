#pragma once

#include "FillSession.h"
#include "GridData.h"
#include "marketdata/MarketDataRefresh.h"
#include "marketdata/jquants/Fundamentals.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zuvemo::core {
class Clock;
class FileLock;
class Mdl_Start;
class Recordset;
} // namespace zuvemo::core
namespace zuvemo::marketdata {
class Downloader;
} // namespace zuvemo::marketdata
namespace zuvemo::exporting {
class SpreadsheetOpener;
}

namespace zuvemo::ui {

// What the main window's logic needs from the screen; every hook may be left empty.
struct MainWindowHooks
{
    std::function<void(bool busy)> busyPointer;
    std::function<void()> pumpEvents; // let the window repaint
    std::function<bool()> cancelRequested; // the user asked to stop a long command
    std::function<void(const std::string&)> finishedBox; // "終了しました"
    std::function<void()> beep;
    // Opens the chart window on the stock WorkTemp holds; empty: no window to offer.
    std::function<void(const std::string& code, const std::string& name)> showChart;
};

// The main window Frm_zuvemo without widgets: the three grids, the page state, the filters,
// the selections and the commands. The Qt window shows this state and forwards its events.
class MainWindowModel
{
public:
    static constexpr const char* kFromStart = "0000  ";
    static constexpr const char* kNothingMessage = "情報は存在しません";
    static constexpr const char* kNotSelected = "選択されていません";
    static constexpr const char* kFinished = FillSession::kFinished;
    static constexpr const char* kStopped = FillSession::kStopped;
    // Under the box that says the list is empty, in a folder that can fetch one.
    static constexpr const char* kFetchListHint = "「検索開始」で最新の銘柄一覧を取得します。";
    static constexpr const char* kSettingsSaved = "データ設定を保存しました。";
    static constexpr const char* kSettingsChanged
        = "取得先を変更しました。「検索開始」で銘柄一覧を取得します。";

    MainWindowModel(core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader,
        exporting::SpreadsheetOpener& opener);
    ~MainWindowModel();

    void setHooks(MainWindowHooks hooks) { m_hooks = std::move(hooks); }
    void setJobs(int jobs) { m_jobs = jobs; }

    // Start-up; false after the connection message: the program must end.
    bool Form_Load();
    // Close: connection closed, database compacted. False when the compaction failed (the
    // database is then as it was).
    bool Form_Unload();

    // The stock list page.
    void DSP_Grid(const std::string& Wkaisi, const std::string& Wjun, const std::string& Wmaket,
        const std::string& Wgyosyu, int Wchks);
    void Command_tugi_Click();
    void Command_modo_Click();

    // Filters.
    void DSP_COMBOX();
    void setMarket(const std::string& text) { combo2Text = text; }
    void setIndustry(const std::string& text) { combo3Text = text; }
    void Combo_Click();
    void Check1_Click(bool checked);

    // Commands.
    void Command_kensaku_Click();
    void Command_mok_Click();
    void Command_hat_Click();
    // "画面表示": the same stock, analysed the same way, shown in the chart window.
    void Command_chart_Click();
    // "画面表示" for a stock chosen elsewhere than in the three grids.
    void chartStock(const std::string& code, const std::string& name);

    // A J-Quants folder's fetch runs in the background: the window polls it when idle, and its
    // line shows under Label1, where no note of a command hides it and it hides none.
    FillSession& fill() { return m_fill; }
    const FillSession& fill() const { return m_fill; }
    // The fill's new state: the newest list once written, and at its end its note and box.
    void pollFill();
    // At start: a fill stopped before its end goes on. True when one was started.
    bool resumeFill();

    // "データ設定" saved; changed when the source is another one (the stock list is then empty).
    void sourceSaved(bool changed);
    // "2026-09-11 状況", with the plan's delay: "2026-09-11 状況（12 週遅れ）".
    std::string dateCaption(const std::string& caption);
    // The same for the list Table_Url says is held; empty without its row.
    std::string heldDateCaption();

    // Selection and chart target.
    void Grid_Click(int grid, int row);
    void Option1_Click(int index);

    // Watch list and candidates.
    void DSP_KOCYU_Grid(int WGrid);
    void DSP_KAKUN_Grid();
    void DSP_KobuHante();
    void MSFlexGrid1_DblClick(int row);
    // Puts a stock among the candidates by the rules of a double-click in the stock list: a
    // suspended stock is refused with its message, one already there is not added twice.
    enum class Candidate { Added, AlreadyThere, Suspended, NoStock };
    Candidate addCandidate(const std::string& code, const std::string& name, const std::string& state);
    void Image1_Click();
    void Image2_Click();
    // True when the price dialog is to open; textCode and textRow then hold the hand-over.
    bool MSFlexGrid2_DblClick(int row);
    // The price dialog saved a row: the grid row shows the new amounts, painted white.
    void updateWatchRow(int row, double purchase, double target);

    static constexpr const char* kSuspendedMessage = "停止中である為、取り扱い不可";
    // The volume-confirmed signal is "中期" in every window; its heading's tip says what it is.
    static constexpr const char* kMidTermHeading = "中期";
    static constexpr const char* kMidTermTip = "中期: 出来高の伸びで確かめた売買シグナル（買・売）";
    // The watch list's stocks that announce their results within this many trading days of the
    // list's day: each row's tip says when, and earningsLine names them all.
    static constexpr int kEarningsSoonDays = 5;
    // Marks grid's rows from the figures by code and gives the line; empty when none is near.
    static std::string markEarnings(
        GridData& grid, const std::map<std::string, marketdata::Fundamentals::Figures>& byCode);
    std::string earningsLine;

    std::string textCode; // Text_code
    std::string textRow; // Text_Row

    GridData grid1; // stock list
    GridData grid2; // watch list
    GridData grid3; // candidates

    std::string PageTopCode = kFromStart;
    std::string NextPageCode;
    int SelRow1 = 0;
    int SelRow2 = 0;
    int SelRow3 = 0;
    double CFGb3 = 1.0;
    double CFGb4 = 1.0;

    std::string label1;
    std::string label2;
    bool tugiVisible = false; // "▼"
    bool modoVisible = false; // "▲"
    bool mokVisible = false; // "注目株検査" and the progress bar
    bool hatEnabled = false; // "検索発行"
    std::array<bool, 3> option{false, false, false};
    bool check1 = false;
    int progress = 0;
    std::vector<std::string> combo2Items;
    std::vector<std::string> combo3Items;
    std::string combo2Text;
    std::string combo3Text;
    std::string lastWorkbook;

    GridData& grid(int n);
    int& selRow(int n);

private:
    void pump();
    bool stopRequested() const;
    // Refills a grid from a query in the table's own order (the move handlers do so).
    void fillUnsorted(int WGrid);
    void writeListRow(GridData& grid, int row, const core::Recordset& rs);
    bool holdsCode(const char* table, const std::string& code);
    void insertCodeName(const char* table, const std::string& code, const std::string& name);
    void moveStock(int fromGrid);
    // The code and name of the chosen grid's selected row; false (with Label1 set) when none.
    bool chosenStock(std::string& code, std::string& name);
    // "検索発行" with the workbook, "画面表示" without it.
    void runSingleStock(bool workbook);
    void runStock(const std::string& code, const std::string& name, bool workbook);
    // The folder's lock of long commands, or nothing after the message has been shown. While the
    // fill runs it holds the lock for this window's commands too.
    std::shared_ptr<core::FileLock> lockCommands();
    marketdata::RefreshHooks refreshHooks();
    bool startFill(bool resumed);
    // After a screening from the store: says so when the store is not filled yet.
    void noteIncompleteStore();
    // A J-Quants folder's histories come from its price store; nothing for a CSV folder.
    std::unique_ptr<marketdata::Downloader> storeDownloader();
    // Steps 2 to 5 of the judgement: refill the watch list and paint reached targets red.
    void judgeWatchList();
    // The watch list's earnings from the store's figures of the list's day; nothing for a CSV folder.
    void showEarnings();

    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
    marketdata::Downloader& m_downloader;
    exporting::SpreadsheetOpener& m_opener;
    MainWindowHooks m_hooks;
    int m_jobs = 8;
    FillSession m_fill;
    // Every stock's figures of the list's day, read once a day: the watch list is refilled on
    // each move, and a day's figures are the same until a fill ends.
    std::string m_figuresDay;
    std::map<std::string, marketdata::Fundamentals::Figures> m_figures;
};

} // namespace zuvemo::ui
