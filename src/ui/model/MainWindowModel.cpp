#include "MainWindowModel.h"

#include "DataSettingsModel.h"
#include "analysis/CSVMDB.h"
#include "analysis/ScreeningRun.h"
#include "core/Clock.h"
#include "core/CommandLock.h"
#include "core/DatabaseError.h"
#include "core/Journal.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "export/SingleStockCommand.h"
#include "marketdata/DataSource.h"
#include "marketdata/MarketDataRefresh.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/WatchList.h"
#include "marketdata/jquants/MarketStanding.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/StoreDownloader.h"

namespace zuvemo::ui {

namespace {

std::vector<GridData::Column> stockColumns()
{
    return {{"ｺｰﾄﾞ", 700, Align::Centre}, {"市場", 1500, Align::Left}, {"名称", 1600, Align::Left},
        {"業種", 1400, Align::Left}, {"始値", 1000, Align::Right}, {"高値", 1000, Align::Right},
        {"安値", 1000, Align::Right}, {"終値", 1000, Align::Right}, {"出来高", 1000, Align::Right},
        {"売買代金", 1500, Align::Right}, {"XX", 1, Align::Right}, {"短期", 500, Align::Centre},
        {"中期", 500, Align::Centre}, {"状態", 700, Align::Centre}};
}

std::vector<GridData::Column> watchColumns()
{
    return {{"ｺｰﾄﾞ", 700, Align::Centre}, {"名称", 1500, Align::Left}, {"購入額", 900, Align::Right},
        {"本日額", 900, Align::Right}, {"希望額", 900, Align::Right}};
}

std::vector<GridData::Column> candidateColumns()
{
    return {{"ｺｰﾄﾞ", 700, Align::Centre}, {"名称", 1500, Align::Left}};
}

std::string text(const core::Value& v)
{
    return core::TrimOrSpace(v);
}

std::string amount(const core::Value& v)
{
    return core::FormatNumber(core::Value(core::NumberOrZero(v)).toDouble(), "#,###");
}

// 本日額, a close copied from the list: "2465.5" shows as "2,466".
std::string closeAmount(const core::Value& v)
{
    return core::FormatNumber(core::Value(core::PriceOrZero(v)).toDouble(), "#,###");
}

double number(const core::Value& v)
{
    return core::Value(core::PriceOrZero(v)).toDouble();
}

} // namespace

MainWindowModel::MainWindowModel(core::Mdl_Start& module, const core::Clock& clock,
    marketdata::Downloader& downloader, exporting::SpreadsheetOpener& opener)
    : grid1(stockColumns())
    , grid2(watchColumns())
    , grid3(candidateColumns())
    , m_module(module)
    , m_clock(clock)
    , m_downloader(downloader)
    , m_opener(opener)
    , m_fill(module, clock, downloader)
{
    grid1.setHeadingTip(kMidTermHeading, kMidTermTip);
}

MainWindowModel::~MainWindowModel() = default;

GridData& MainWindowModel::grid(int n)
{
    return n == 1 ? grid1 : (n == 2 ? grid2 : grid3);
}

int& MainWindowModel::selRow(int n)
{
    return n == 1 ? SelRow1 : (n == 2 ? SelRow2 : SelRow3);
}

void MainWindowModel::pump()
{
    if (m_hooks.pumpEvents) {
        m_hooks.pumpEvents();
    }
}

bool MainWindowModel::Form_Load()
{
    auto& m = m_module;
    if (!m.OpenDatabase()) {
        core::ShowMessage(core::Mdl_Start::OpenFailureMessage(m.DatabasePath));
        return false;
    }
    try {
        m.SqlBuffer = " UPDATE Table_User SET";
        m.SqlBuffer += " UpdatedateA='" + core::Clock::eightDigits(m_clock.today()) + "'";
        m.SqlBuffer += " WHERE UserKeyA=1";
        m.ExecuteShared();

        label2 = heldDateCaption();

        auto bounds = analysis::readBounds(m);
        CFGb3 = bounds.lower;
        CFGb4 = bounds.upper;

        grid1.setRows(1);
        grid2.setRows(1);
        grid3.setRows(1);
        mokVisible = false;
        hatEnabled = false;
        DSP_KOCYU_Grid(2);
        DSP_KAKUN_Grid();
        label1.clear();
        DSP_COMBOX();
        check1 = false;
        // A folder with no source to fetch from opens the settings instead of saying that its
        // empty list holds nothing.
        const bool empty
            = m.SharedConnection->openRecordset("SELECT MgCode FROM Table_Code LIMIT 1")->isEof();
        if (!empty || DataSettingsModel::unusableReason(m).empty()) {
            DSP_Grid(kFromStart, "A", "", "", 0);
            if (empty) {
                label1 = kFetchListHint;
            }
        }
        // The last unattended run, shown once: at the first start after it.
        if (auto last = core::Journal::latest(*m.SharedConnection); last && !last->seen) {
            label1 = core::Journal::summaryText(*last);
            core::Journal::markSeen(*m.SharedConnection, last->id);
        }
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        m.CloseDatabase();
        return false;
    }
    return true;
}

bool MainWindowModel::Form_Unload()
{
    m_module.CloseDatabase();
    if (m_module.DatabasePath.empty()) {
        return true;
    }
    std::string error;
    if (!core::CompactDatabaseFile(m_module.DatabasePath, &error)) {
        core::SetErr(-1, error);
        core::ShowMessage("データベースファイル(" + core::Platform::toUtf8(m_module.DatabasePath)
            + ")を最適化できませんでした。\r\nデータはそのまま残っています。");
        return false;
    }
    return true;
}

void MainWindowModel::DSP_Grid(const std::string& Wkaisi, const std::string& Wjun, const std::string& Wmaket,
    const std::string& Wgyosyu, int Wchks)
{
    auto& m = m_module;
    label1.clear();
    SelRow1 = 0;
    bool moreBefore = false;
    std::string filter;
    if (!Wmaket.empty()) {
        filter += " AND Mgmgara='" + core::SqlText(Wmaket) + "'";
    }
    if (!Wgyosyu.empty()) {
        filter += " AND Mgyosyu='" + core::SqlText(Wgyosyu) + "'";
    }
    if (Wchks == 1) {
        filter += " AND (Achk<>' ' OR Cchk<>' ')";
    }
    if (Wjun != "D") {
        PageTopCode = Wkaisi;
    } else {
        m.SqlBuffer = " SELECT * FROM Table_Code WHERE MgCode<'" + core::SqlText(Wkaisi) + "'" + filter
            + " ORDER BY MgCode DESC";
        auto& before = m.OpenShared();
        PageTopCode = kFromStart;
        int n = 0;
        for (; !before.isEof(); before.moveNext()) {
            ++n;
            if (n == 25) {
                PageTopCode = before.field("MgCode").toText();
            } else if (n == 26) {
                moreBefore = true;
                break;
            }
        }
        m.SharedRecordset.reset();
    }
    m.SqlBuffer = " SELECT * FROM Table_Code WHERE MgCode>='" + core::SqlText(PageTopCode) + "'" + filter
        + " ORDER BY MgCode ASC";
    auto& rs = m.OpenShared();
    grid1.setRows(1);
    if (rs.isEof()) {
        m.SharedRecordset.reset();
        core::ShowMessage(kNothingMessage);
        return;
    }
    grid1.setRows(26);
    NextPageCode.clear();
    int n = 0;
    for (; !rs.isEof(); rs.moveNext()) {
        ++n;
        if (n == 26) {
            NextPageCode = rs.field("MgCode").toText();
            break;
        }
        grid1.setText(n, 0, text(rs.field("MgCode")), Align::Centre);
        grid1.setText(n, 1, text(rs.field("Mgmgara")), Align::Left);
        grid1.setText(n, 2, text(rs.field("MgMei")), Align::Left);
        grid1.setText(n, 3, text(rs.field("Mgyosyu")), Align::Left);
        const char* numbers[] = {"Wscost", "Wucost", "Wdcost", "Wecost", "Wccost", "Wbcost"};
        for (int c = 0; c < 6; ++c) {
            grid1.setText(n, 4 + c, core::PriceOrZero(rs.field(numbers[c])), Align::Right);
        }
        double diff = number(rs.field("Wecost")) - number(rs.field("Wscost"));
        grid1.setText(n, 10, core::Value::numberText(diff), Align::Right);
        grid1.setFore(n, 10, diff < 0 ? GridColor::kDarkRed : GridColor::kHighlight);
        grid1.setText(n, 11, text(rs.field("Achk")));
        grid1.setText(n, 12, text(rs.field("Cchk")));
        grid1.setText(n, 13, text(rs.field("Dchk")));
    }
    m.SharedRecordset.reset();
    pump();
    tugiVisible = !NextPageCode.empty();
    if (PageTopCode == kFromStart) {
        modoVisible = false;
    } else {
        modoVisible = Wjun == "A" ? true : moreBefore;
    }
}

void MainWindowModel::Command_tugi_Click()
{
    DSP_Grid(NextPageCode, "A", combo2Text, combo3Text, check1 ? 1 : 0);
}

void MainWindowModel::Command_modo_Click()
{
    DSP_Grid(PageTopCode, "D", combo2Text, combo3Text, check1 ? 1 : 0);
}

void MainWindowModel::DSP_COMBOX()
{
    auto& m = m_module;
    combo2Items = {""};
    combo3Items = {""};
    combo2Text.clear();
    combo3Text.clear();
    m.SqlBuffer = " SELECT Table_Code.Mgmgara as mgara From Table_Code GROUP BY Table_Code.Mgmgara"
                  " ORDER BY Table_Code.Mgmgara";
    // After the text rule Null, an empty text and blanks are one blank: a filter that filters
    // nothing, which the empty first entry already stands for.
    auto addOnce = [](std::vector<std::string>& items, const std::string& value) {
        if (value != " " && items.back() != value) {
            items.push_back(value);
        }
    };
    for (auto& rs = m.OpenShared(); !rs.isEof(); rs.moveNext()) {
        addOnce(combo2Items, core::TrimOrSpace(rs.field("mgara")));
    }
    m.SqlBuffer = " SELECT Table_Code.Mgyosyu as gyosyu From Table_Code GROUP BY Table_Code.Mgyosyu"
                  " ORDER BY Table_Code.Mgyosyu";
    for (auto& rs = m.OpenShared(); !rs.isEof(); rs.moveNext()) {
        addOnce(combo3Items, core::TrimOrSpace(rs.field("gyosyu")));
    }
    m.SharedRecordset.reset();
}

void MainWindowModel::Combo_Click()
{
    progress = 0;
    DSP_Grid(kFromStart, "A", combo2Text, combo3Text, check1 ? 1 : 0);
    mokVisible = (!core::Utf8::trim(combo2Text).empty() || !core::Utf8::trim(combo3Text).empty()) && !check1;
}

void MainWindowModel::Check1_Click(bool checked)
{
    progress = 0;
    check1 = checked;
    mokVisible = !checked;
    DSP_Grid(kFromStart, "A", combo2Text, combo3Text, checked ? 1 : 0);
}

std::unique_ptr<marketdata::Downloader> MainWindowModel::storeDownloader()
{
    const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
    if (!source.isJQuants()) {
        return nullptr;
    }
    // Read here, on the window's thread: the export reads the store on a thread of its own.
    return std::make_unique<marketdata::StoreDownloader>(m_module.programFolder(), source.days,
        [date = marketdata::UrlSettings::listDate(*m_module.SharedConnection)] { return date; });
}

std::shared_ptr<core::FileLock> MainWindowModel::lockCommands()
{
    if (m_fill.lock()) {
        return m_fill.lock();
    }
    std::string message;
    auto lock = core::CommandLock::acquire(
        m_module.programFolder(), &message, core::CommandLock::kWaitMs, [this] { pump(); });
    if (!lock) {
        core::ShowMessage(message);
    }
    return lock;
}

marketdata::RefreshHooks MainWindowModel::refreshHooks()
{
    marketdata::RefreshHooks hooks;
    hooks.busyPointer = m_hooks.busyPointer;
    hooks.setDateLabel = [this](const std::string& caption) { label2 = dateCaption(caption); };
    hooks.refillStockLists = [this] {
        // A new list starts without the percentage of a screening stopped on the old one.
        progress = 0;
        DSP_COMBOX();
        if (check1) {
            Check1_Click(false);
        }
        DSP_Grid(kFromStart, "A", "", "", 0);
    };
    hooks.refillCandidates = [this] { DSP_KOCYU_Grid(3); };
    hooks.judgeWatchList = [this] { judgeWatchList(); };
    hooks.progress = [this](int, int) {
        pump();
        return !stopRequested();
    };
    hooks.acceptSmaller
        = [](const std::string& question) { return core::AskMessage(question + "読み込みますか?"); };
    return hooks;
}

void MainWindowModel::Command_kensaku_Click()
{
    if (m_fill.running()) {
        return;
    }
    if (marketdata::DataSource::read(*m_module.SharedConnection).isJQuants()) {
        startFill(false);
        return;
    }
    const auto lock = lockCommands();
    if (!lock) {
        return;
    }
    marketdata::MarketDataRefresh refresh(m_module, m_downloader, m_clock);
    auto result = refresh.run(refreshHooks());
    using Outcome = marketdata::MarketDataRefresh::Outcome;
    if (result.outcome == Outcome::Cancelled && stopRequested()) {
        label1 = kStopped;
    }
    if ((result.outcome == Outcome::Loaded || result.outcome == Outcome::ImportFailed)
        && m_hooks.finishedBox) {
        m_hooks.finishedBox(kFinished);
    }
}

bool MainWindowModel::startFill(bool resumed)
{
    auto lock = lockCommands();
    return lock && m_fill.start(std::move(lock), resumed);
}

bool MainWindowModel::resumeFill()
{
    return !m_fill.running() && m_fill.pending() && startFill(true);
}

void MainWindowModel::pollFill()
{
    const auto ending = m_fill.poll(refreshHooks());
    if (!ending) {
        return;
    }
    // The fill may have stored the list's day's earnings or balances anew.
    m_figuresDay.clear();
    showEarnings();
    if (!ending->note.empty()) {
        label1 = ending->note;
    }
    if (!ending->box.empty() && m_hooks.finishedBox) {
        m_hooks.finishedBox(ending->box);
    }
}

void MainWindowModel::noteIncompleteStore()
{
    const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
    if (!source.isJQuants() || !marketdata::PriceStore::exists(m_module.programFolder())) {
        return;
    }
    marketdata::PriceStore store(m_module.programFolder());
    if (!m_fill.running() && !store.fillPending()) {
        return;
    }
    const auto stored
        = std::min<std::size_t>(store.storedDays().size(), static_cast<std::size_t>(source.days));
    label1 = "履歴 " + std::to_string(stored) + "/" + std::to_string(source.days) + " 日分で検査しました（"
        + (m_fill.running() ? "履歴取得中" : "履歴取得は未完了") + "）。";
}

std::string MainWindowModel::dateCaption(const std::string& caption)
{
    // No list yet: no date to be late.
    if (caption.empty() || caption[0] < '0' || caption[0] > '9') {
        return caption;
    }
    const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
    const int weeks = source.isJQuants() ? marketdata::DataSource::delayWeeks(source.plan) : 0;
    return weeks > 0 ? caption + "（" + std::to_string(weeks) + " 週遅れ）" : caption;
}

std::string MainWindowModel::heldDateCaption()
{
    auto& m = m_module;
    m.SqlBuffer = " SELECT * FROM Table_Url";
    auto& url = m.OpenShared();
    std::string caption;
    if (!url.isEof()) {
        caption = marketdata::MarketDataRefresh::dateCaption(core::TrimOrSpace(url.field("kabuHdate")));
    }
    m.SharedRecordset.reset();
    return dateCaption(caption);
}

void MainWindowModel::sourceSaved(bool changed)
{
    m_figuresDay.clear();
    label2 = heldDateCaption();
    if (changed) {
        progress = 0;
        check1 = false;
        mokVisible = false;
        DSP_COMBOX();
        // The list is empty on purpose: no box says so.
        grid1.setRows(1);
        tugiVisible = false;
        modoVisible = false;
        label1 = kSettingsChanged;
    } else {
        label1 = kSettingsSaved;
    }
}

bool MainWindowModel::stopRequested() const
{
    return m_hooks.cancelRequested && m_hooks.cancelRequested();
}

void MainWindowModel::Command_mok_Click()
{
    const auto lock = lockCommands();
    if (!lock) {
        return;
    }
    auto store = storeDownloader();
    analysis::ScreeningRun run(
        m_module, store ? *store : m_downloader, analysis::Indicators::Bounds{CFGb3, CFGb4});
    run.setJobs(m_jobs);
    analysis::ScreeningHooks hooks;
    hooks.busyPointer = m_hooks.busyPointer;
    progress = 0;
    hooks.progress = [this](int done, int total) {
        progress = static_cast<int>(static_cast<float>(done) / static_cast<float>(total) * 100);
        pump();
        return !stopRequested();
    };
    const auto summary = run.run(combo2Text, combo3Text, hooks);
    if (check1) {
        Check1_Click(false);
    }
    DSP_Grid(kFromStart, "A", combo2Text, combo3Text, 0);
    // A run ended by a database error counts as cancelled too; only the user's stop is said.
    if (summary.cancelled && stopRequested()) {
        label1 = kStopped;
    }
    if (summary.unreachable) {
        core::ShowMessage(analysis::ScreeningRun::kUnreachableMessage);
    }
    if (!summary.cancelled) {
        noteIncompleteStore();
    }
}

bool MainWindowModel::chosenStock(std::string& code, std::string& name)
{
    int gridNumber = 0;
    int nameColumn = 1;
    if (option[0]) {
        gridNumber = 2;
    } else if (option[1]) {
        gridNumber = 3;
    } else if (option[2]) {
        gridNumber = 1;
        nameColumn = 2;
    }
    if (gridNumber == 0) {
        label1 = kNotSelected;
        return false;
    }
    int row = selRow(gridNumber);
    GridData& g = grid(gridNumber);
    // A remembered row that is gone, or none at all, is no selection: there is no stock to chart.
    if (row < 1 || row >= g.rows() || core::Utf8::trim(g.cell(row, 0).text).empty()) {
        label1 = kNotSelected;
        return false;
    }
    code = core::Utf8::trim(g.cell(row, 0).text);
    name = core::Utf8::trim(g.cell(row, nameColumn).text);
    return true;
}

void MainWindowModel::Command_hat_Click()
{
    runSingleStock(true);
}

void MainWindowModel::Command_chart_Click()
{
    runSingleStock(false);
}

void MainWindowModel::runSingleStock(bool workbook)
{
    std::string code;
    std::string name;
    if (!chosenStock(code, name)) {
        return;
    }
    runStock(code, name, workbook);
}

void MainWindowModel::chartStock(const std::string& code, const std::string& name)
{
    runStock(code, name, false);
}

void MainWindowModel::runStock(const std::string& code, const std::string& name, bool workbook)
{
    auto lock = lockCommands();
    if (!lock) {
        return;
    }
    auto store = storeDownloader();
    exporting::SingleStockCommand command(
        m_module, store ? *store : m_downloader, m_opener, analysis::Indicators::Bounds{CFGb3, CFGb4});
    command.setBusyPointer(m_hooks.busyPointer);
    command.setChartOffer(static_cast<bool>(m_hooks.showChart));
    auto result = workbook ? command.run(code, name, label2) : command.analyse(code, name, label2);
    // The chart window only reads what the command wrote.
    lock.reset();
    // Without an address or a downloaded file the command stops before it touches the line.
    using Outcome = exporting::SingleStockCommand::Outcome;
    if (result.outcome != Outcome::NoAddress && result.outcome != Outcome::DownloadFailed) {
        label1 = result.label1;
    }
    if (workbook) {
        lastWorkbook = core::Platform::toUtf8(result.workbook);
    }
    if ((result.chartWanted || result.outcome == Outcome::Analysed) && m_hooks.showChart) {
        m_hooks.showChart(code, name);
    }
}

void MainWindowModel::Grid_Click(int n, int r)
{
    int& S = selRow(n);
    GridData& g = grid(n);
    if (S >= 1) {
        g.paintRow(S, GridColor::kWhite);
    }
    if (r <= 0 || r >= g.rows()) {
        return;
    }
    g.paintRow(r, GridColor::kYellow);
    S = r;
    option[n == 1 ? 2 : (n == 2 ? 0 : 1)] = false;
}

void MainWindowModel::Option1_Click(int index)
{
    label1.clear();
    if (index < 0 || index > 2) {
        return;
    }
    option = {false, false, false};
    option[static_cast<std::size_t>(index)] = true;
    const int target = index == 0 ? 2 : (index == 1 ? 3 : 1);
    auto exists = [this](int n) { return selRow(n) >= 1 && selRow(n) < grid(n).rows(); };
    if (!exists(target)) {
        label1 = kNotSelected;
        hatEnabled = false;
        return;
    }
    grid(target).paintRow(selRow(target), GridColor::kOrange);
    const int others[3][2] = {{3, 1}, {2, 1}, {2, 3}};
    for (int other : others[index]) {
        if (exists(other)) {
            grid(other).paintRow(selRow(other), GridColor::kYellow);
        }
    }
    hatEnabled = true;
}

void MainWindowModel::writeListRow(GridData& g, int n, const core::Recordset& rs)
{
    g.setText(n, 0, text(rs.field("Wmgcode")), Align::Centre);
    g.setText(n, 1, text(rs.field("Wmgmei")), Align::Left);
    if (&g == &grid2) {
        g.setText(n, 2, amount(rs.field("WzuvemoK")), Align::Right);
        g.setText(n, 3, closeAmount(rs.field("WzuvemoG")), Align::Right);
        g.setText(n, 4, amount(rs.field("WzuvemoM")), Align::Right);
    }
}

void MainWindowModel::DSP_KOCYU_Grid(int WGrid)
{
    auto& m = m_module;
    m.SqlBuffer2 = WGrid == 2 ? " SELECT * FROM Table_KOCYU" : " SELECT * FROM WorkKocyu";
    m.SqlBuffer2 += " ORDER BY WmgCode ASC";
    auto& rs = m.OpenShared2();
    GridData& g = WGrid == 2 ? grid2 : grid3;
    g.setRows(1);
    g.setRows(rs.recordCount() + 1);
    for (int n = 1; !rs.isEof(); rs.moveNext(), ++n) {
        writeListRow(g, n, rs);
    }
    m.SharedRecordset2.reset();
    if (WGrid == 2) {
        showEarnings();
    }
}

void MainWindowModel::DSP_KAKUN_Grid()
{
    m_module.SqlBuffer2 = " DELETE FROM WorkKocyu";
    m_module.SharedConnection->execute(m_module.SqlBuffer2);
}

void MainWindowModel::fillUnsorted(int WGrid)
{
    auto& m = m_module;
    m.SqlBuffer2 = WGrid == 2 ? " SELECT * FROM Table_KOCYU" : " SELECT * FROM WorkKocyu";
    auto& rs = m.OpenShared2();
    GridData& g = WGrid == 2 ? grid2 : grid3;
    g.setRows(rs.recordCount() + 1);
    for (int n = 1; !rs.isEof(); rs.moveNext(), ++n) {
        writeListRow(g, n, rs);
    }
    m.SharedRecordset2.reset();
    if (WGrid == 2) {
        showEarnings();
    }
}

void MainWindowModel::MSFlexGrid1_DblClick(int r)
{
    if (r >= grid1.rows()) {
        r = 0;
    }
    if (r != SelRow1) {
        if (SelRow1 >= 1) {
            grid1.paintRow(SelRow1, GridColor::kWhite);
        }
        if (r >= 1) {
            grid1.paintRow(r, GridColor::kYellow);
        }
    }
    if (r == 0) {
        return;
    }
    SelRow1 = r;
    addCandidate(core::Utf8::trim(grid1.cell(r, 0).text), grid1.cell(r, 2).text,
        core::Utf8::trim(grid1.cell(r, 13).text));
}

MainWindowModel::Candidate MainWindowModel::addCandidate(
    const std::string& code, const std::string& name, const std::string& state)
{
    if (state == "停止中") {
        label1 = kSuspendedMessage;
        return Candidate::Suspended;
    }
    label1.clear();
    // An empty row below the last stock of a page holds no stock.
    if (code.empty()) {
        return Candidate::NoStock;
    }
    // A stock already among the candidates is not added twice.
    const bool there = holdsCode("WorkKocyu", code);
    if (!there) {
        insertCodeName("WorkKocyu", code, name);
    }
    fillUnsorted(3);
    return there ? Candidate::AlreadyThere : Candidate::Added;
}

bool MainWindowModel::holdsCode(const char* table, const std::string& code)
{
    auto& m = m_module;
    m.SqlBuffer2 = std::string(" SELECT * FROM ") + table + " WHERE Wmgcode='" + core::SqlText(code) + "'";
    bool present = !m.OpenShared2().isEof();
    m.SharedRecordset2.reset();
    return present;
}

void MainWindowModel::insertCodeName(const char* table, const std::string& code, const std::string& name)
{
    auto& m = m_module;
    m.SqlBuffer = std::string(" INSERT INTO ") + table + "(";
    m.SqlBuffer += " Wmgcode,Wmgmei) VALUES (";
    m.SqlBuffer += " '" + core::SqlText(code) + "',";
    m.SqlBuffer += " '" + core::SqlText(name) + "')";
    m.ExecuteShared();
}

// Image1 (from = 3, candidates to the watch list) and Image2 (from = 2, back).
void MainWindowModel::moveStock(int from)
{
    const int to = from == 3 ? 2 : 3;
    const char* fromTable = from == 3 ? "WorkKocyu" : "Table_KOCYU";
    const char* toTable = from == 3 ? "Table_KOCYU" : "WorkKocyu";
    int& selected = selRow(from);
    GridData& source = grid(from);
    if (selected < 1 || selected >= source.rows()) {
        return;
    }
    std::string code = source.cell(selected, 0).text;
    std::string name = source.cell(selected, 1).text;
    if (holdsCode(toTable, code)) {
        return;
    }
    insertCodeName(toTable, code, name);
    fillUnsorted(to);
    m_module.SqlBuffer
        = std::string(" DELETE FROM ") + fromTable + " WHERE Wmgcode='" + core::SqlText(code) + "'";
    m_module.ExecuteShared();
    selected = 0;
    DSP_KOCYU_Grid(from);
}

void MainWindowModel::Image1_Click()
{
    moveStock(3);
}

void MainWindowModel::Image2_Click()
{
    moveStock(2);
}

bool MainWindowModel::MSFlexGrid2_DblClick(int r)
{
    if (r < 1 || r >= grid2.rows()) {
        return false;
    }
    std::string code = core::Utf8::trim(grid2.cell(r, 0).text);
    if (code.empty()) {
        return false;
    }
    textCode = code;
    textRow = std::to_string(r);
    return true;
}

void MainWindowModel::updateWatchRow(int row, double purchase, double target)
{
    if (row < 1 || row >= grid2.rows()) {
        return;
    }
    grid2.setText(row, 2, core::FormatNumber(purchase, "#,###"));
    grid2.setText(row, 4, core::FormatNumber(target, "#,###"));
    grid2.paintRow(row, GridColor::kWhite);
}

void MainWindowModel::DSP_KobuHante()
{
    auto& m = m_module;
    marketdata::WatchList::takeCloses(m);
    judgeWatchList();
}

void MainWindowModel::judgeWatchList()
{
    auto& m = m_module;
    m.SqlBuffer2 = " SELECT * FROM Table_KOCYU ORDER BY WmgCode ASC";
    auto& rs = m.OpenShared2();
    grid2.setRows(rs.recordCount() + 1);
    int n = 0;
    for (; !rs.isEof(); rs.moveNext()) {
        ++n;
        writeListRow(grid2, n, rs);
        if (marketdata::WatchList::isReached(rs.field("WzuvemoG"), rs.field("WzuvemoM"))) {
            for (int i = 0; i < 3; ++i) {
                if (m_hooks.beep) {
                    m_hooks.beep();
                }
            }
            grid2.paintRow(n, GridColor::kRed);
        } else {
            grid2.paintRow(n, GridColor::kWhite);
        }
    }
    m.SharedRecordset2.reset();
    showEarnings();
}

std::string MainWindowModel::markEarnings(
    GridData& grid, const std::map<std::string, marketdata::Fundamentals::Figures>& byCode)
{
    std::string codes;
    for (int row = 1; row < grid.rows(); ++row) {
        const std::string code = core::Utf8::trim(grid.cell(row, 0).text);
        const auto it = byCode.find(code);
        // A row that stays through a refill may hold another stock now.
        grid.setRowTip(row, {});
        if (it == byCode.end() || !it->second.earningsIn || !it->second.earningsDate
            || *it->second.earningsIn < 0 || *it->second.earningsIn > kEarningsSoonDays) {
            continue;
        }
        const int in = static_cast<int>(*it->second.earningsIn);
        grid.setRowTip(row,
            "決算予定 " + marketdata::MarketStanding::dateText(*it->second.earningsDate)
                + (in == 0 ? std::string("（本日）") : "（あと " + std::to_string(in) + " 営業日）"));
        codes += (codes.empty() ? "" : ", ") + code;
    }
    return codes.empty() ? std::string() : std::to_string(kEarningsSoonDays) + " 営業日以内に決算: " + codes;
}

void MainWindowModel::showEarnings()
{
    const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
    const std::string day = source.isJQuants() && marketdata::PriceStore::exists(m_module.programFolder())
        ? marketdata::UrlSettings::listDate(*m_module.SharedConnection)
        : std::string();
    if (day.empty()) {
        m_figuresDay.clear();
        m_figures.clear();
        earningsLine = markEarnings(grid2, m_figures);
        return;
    }
    if (day != m_figuresDay) {
        marketdata::PriceStore store(m_module.programFolder());
        m_figures = marketdata::Fundamentals::read(store, day).byCode;
        m_figuresDay = day;
    }
    earningsLine = markEarnings(grid2, m_figures);
}

} // namespace zuvemo::ui
