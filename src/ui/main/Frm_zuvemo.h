#pragma once

#include "model/MainWindowModel.h"
#include "model/ResponsiveDownloader.h"
#include "model/WindowPlacement.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core
namespace zuvemo::marketdata {
class Downloader;
}
namespace zuvemo::exporting {
class SpreadsheetOpener;
}

namespace zuvemo::ui {

class ArrowButton;
class Frm_Chart;
class Frm_ConditionSearch;
class Frm_DataSettings;
class Frm_TouRok;
class Frm_Track;
class SampleMarket;
class GridView;

// The main window. It lays out the controls, forwards their events to the window's logic and
// shows the state that logic leaves.
class Frm_zuvemo : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kWaitingMessage = "接続を待っています…";

    Frm_zuvemo(core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader,
        exporting::SpreadsheetOpener& opener, QWidget* parent = nullptr);
    ~Frm_zuvemo() override;

    // Form_Load; false when the program must end.
    bool load();

    MainWindowModel& model() { return *m_model; }
    // The seams a test replaces: the beep and the closing box of the refresh.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    void setFinishedBox(std::function<void(const std::string&)> box) { m_finishedBox = std::move(box); }
    void render();
    void setLabel1(const QString& text);

    // How the price dialog is run; by default modal with exec(). Tests drive it instead.
    void setDialogRunner(std::function<void(Frm_TouRok&)> runner) { m_openDialog = std::move(runner); }
    // The same for "データ設定".
    void setSettingsRunner(std::function<void(Frm_DataSettings&)> runner)
    {
        m_openSettings = std::move(runner);
    }
    // Opens "データ設定"; reason, when not empty, says why it opened by itself.
    void openSettings(const std::string& reason);
    void setTrackRunner(std::function<void(Frm_Track&)> runner) { m_openTrack = std::move(runner); }

    GridView* stockGrid() const { return m_grid1; }
    GridView* watchGrid() const { return m_grid2; }
    GridView* candidateGrid() const { return m_grid3; }
    QLineEdit* textCode() const { return m_textCode; }
    QLineEdit* textRow() const { return m_textRow; }
    // The chart window opened last, while it is open.
    Frm_Chart* lastChart() const;
    // "条件検索", while it is open.
    Frm_ConditionSearch* conditionSearch() const;

signals:
    // The window has closed and unloaded: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void openChart(const std::string& code, const std::string& name);
    // The frame a new window is given, and the screen's room for windows.
    WindowPlacement::Margins frameMargins() const;
    WindowPlacement::Rect screenArea() const;
    void openTrack();
    void openConditionSearch();
    // Runs a long command with the window's input off; "中 止" is offered when it can stop it.
    void runLong(const std::function<void()>& command, bool stoppable);
    // Runs an ordinary handler: a database or file error is shown, not fatal; then repaints.
    void handle(const std::function<void()>& handler);
    // "中 止" goes; the focus it had goes to the list.
    void hideCancel();
    void dropOpenRecordsets();
    void pumpEvents();
    // A sample folder's server is started with the window; a folder that cannot fetch
    // anything opens the settings once the window shows.
    void prepareSource();
    void openSettingsOnceShown(const std::string& reason, int tries);

    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
    std::unique_ptr<ResponsiveDownloader> m_downloader;
    std::unique_ptr<MainWindowModel> m_model;
    std::function<void(Frm_TouRok&)> m_openDialog;
    std::function<void(Frm_DataSettings&)> m_openSettings;
    SampleMarket* m_sample = nullptr;
    std::function<void(Frm_Track&)> m_openTrack;
    std::function<void()> m_beep;
    std::function<void(const std::string&)> m_finishedBox;
    bool m_unloaded = false;
    bool m_cancel = false;
    bool m_closeAfterRun = false;
    bool m_busy = false;
    bool m_inHandler = false;

    QGroupBox* m_frameKensaku = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QPushButton* m_kensaku = nullptr;
    QLabel* m_label2 = nullptr;
    QPushButton* m_quit = nullptr;
    QPushButton* m_settings = nullptr;
    QComboBox* m_combo2 = nullptr;
    QComboBox* m_combo3 = nullptr;
    QCheckBox* m_check1 = nullptr;
    QPushButton* m_tugi = nullptr;
    QPushButton* m_modo = nullptr;
    GridView* m_grid1 = nullptr;
    QPushButton* m_mok = nullptr;
    QProgressBar* m_progress = nullptr;
    GridView* m_grid2 = nullptr;
    ArrowButton* m_image1 = nullptr;
    ArrowButton* m_image2 = nullptr;
    GridView* m_grid3 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_fillLine = nullptr;
    QLabel* m_earningsLine = nullptr;
    QRadioButton* m_option[3] = {nullptr, nullptr, nullptr};
    QPushButton* m_hat = nullptr;
    QPushButton* m_chart = nullptr;
    QPushButton* m_track = nullptr;
    QPointer<Frm_Chart> m_lastChart;
    QPushButton* m_find = nullptr;
    QPointer<Frm_ConditionSearch> m_conditionSearch;
    QPushButton* m_cancelButton = nullptr;
    QLineEdit* m_textCode = nullptr;
    QLineEdit* m_textRow = nullptr;
};

} // namespace zuvemo::ui
