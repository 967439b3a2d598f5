#include "Frm_zuvemo.h"

#include "ArrowButton.h"
#include "CaptionFrame.h"
#include "FittedMessageBox.h"
#include "Frm_Chart.h"
#include "Frm_ConditionSearch.h"
#include "Frm_DataSettings.h"
#include "Frm_TouRok.h"
#include "Frm_Track.h"
#include "GridView.h"
#include "SampleMarket.h"
#include "Twips.h"
#include "UiStyle.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "marketdata/DataSource.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace zuvemo::ui {

namespace {

constexpr std::uint32_t kYellowFace = 0x00FFFF;
constexpr std::uint32_t kGreenFace = 0x00C000;
constexpr int kBusyWaitMs = 5000;
constexpr int kFillPollMs = 250;
constexpr int kShownWaitMs = 50;
constexpr int kShownWaitTries = 40;
// A transfer this long without an answer is shown as a wait for the server.
constexpr std::chrono::milliseconds kWaitShown{1000};

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The message boxes of a long command: "中 止" goes before the box does, since the command
// has ended or is about to.
class RunPresenter : public core::MessagePresenter
{
public:
    RunPresenter(std::shared_ptr<core::MessagePresenter> inner, std::function<void()> before)
        : m_inner(std::move(inner))
        , m_before(std::move(before))
    {
    }
    void show(const std::string& title, const std::string& text) override
    {
        m_before();
        m_inner->show(title, text);
    }
    bool ask(const std::string& title, const std::string& text) override
    {
        m_before();
        return m_inner->ask(title, text);
    }
    std::shared_ptr<core::MessagePresenter> inner() const { return m_inner; }

private:
    std::shared_ptr<core::MessagePresenter> m_inner;
    std::function<void()> m_before;
};

WindowPlacement::Rect rectOf(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

QRect qRect(const WindowPlacement::Rect& r)
{
    return {r.x, r.y, r.width, r.height};
}

template <typename W> W* place(W* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
    return widget;
}

QPushButton* button(const QString& caption, QWidget* parent, std::uint32_t face, const QFont& font)
{
    auto* b = new QPushButton(caption, parent); // owned by parent
    UiStyle::setButtonFace(b, face);
    b->setFont(font);
    return b;
}

} // namespace

Frm_zuvemo::Frm_zuvemo(core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader,
    exporting::SpreadsheetOpener& opener, QWidget* parent)
    : QWidget(parent)
    , m_module(module)
    , m_clock(clock)
    , m_downloader(std::make_unique<ResponsiveDownloader>(
          downloader, [this] { pumpEvents(); }, [this] { return m_cancel; }))
    , m_model(std::make_unique<MainWindowModel>(module, clock, *m_downloader, opener))
{
    setWindowTitle(QStringLiteral("Zuvemo"));
    setObjectName(QStringLiteral("Frm_zuvemo"));
    setFixedSize(px(14400), px(10650));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    m_sample = new SampleMarket(this); // owned by the window
    buildControls();

    // Another program's lock is waited for a few seconds, with the window painted meanwhile;
    // then the handler shows that the database is in use. The module outlives the window.
    m_module.setBusyWait(kBusyWaitMs, [window = QPointer<Frm_zuvemo>(this)] {
        if (window) {
            window->render();
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    });
    m_beep = [] { QApplication::beep(); };
    m_finishedBox = [this](const std::string& text) { FittedMessageBox::run(windowTitle(), q(text), this); };
    MainWindowHooks hooks;
    hooks.busyPointer = [](bool busy) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    };
    hooks.pumpEvents = [this] { pumpEvents(); };
    hooks.cancelRequested = [this] { return m_cancel; };
    hooks.finishedBox = [this](const std::string& text) {
        // The line behind the box says the same as the box, not what ran before it.
        render();
        hideCancel();
        m_finishedBox(text);
    };
    hooks.beep = [this] { m_beep(); };
    hooks.showChart = [this](const std::string& code, const std::string& name) { openChart(code, name); };
    m_model->setHooks(hooks);
}

Frm_zuvemo::~Frm_zuvemo() = default;

void Frm_zuvemo::buildControls()
{
    const QFont big = UiStyle::proportional(14.25);
    const QFont bigBold = UiStyle::proportional(14.25, true);

    m_frameKensaku = place(new CaptionFrame(QStringLiteral("購入銘柄検索"), this), 30, 60, 14310, 8160);
    m_kensaku
        = place(button(QStringLiteral("検索開始"), m_frameKensaku, kYellowFace, big), 210, 420, 2055, 585);
    m_label2 = place(new QLabel(m_frameKensaku), 2370, 525, 3180, 450);
    m_quit = place(button(QStringLiteral("終 了"), m_frameKensaku, kYellowFace, UiStyle::proportional(12)),
        12360, 195, 1860, 480);
    // In the free stretch of the top line, clear of "中 止" which shows only during a command.
    m_settings
        = place(button(QStringLiteral("データ設定"), m_frameKensaku, kYellowFace, UiStyle::proportional(12)),
            8340, 195, 1860, 480);
    // In the same free stretch, between the date of the list and "データ設定".
    m_find = place(button(QStringLiteral("条件検索"), m_frameKensaku, kYellowFace, UiStyle::proportional(12)),
        6330, 195, 1860, 480);
    m_find->setObjectName(QStringLiteral("Command_find"));
    m_find->setToolTip(QStringLiteral("予想PER・PBR・利回りなどの指標とシグナルで銘柄を探す"));
    m_combo2 = place(new QComboBox(m_frameKensaku), 225, 1095, 1695, 300);
    m_combo3 = place(new QComboBox(m_frameKensaku), 1995, 1110, 1515, 300);
    m_check1 = place(new QCheckBox(QStringLiteral("注目株絞込"), m_frameKensaku), 10665, 1005, 1230, 255);
    m_tugi = place(button(QStringLiteral("▼"), m_frameKensaku, kGreenFace, font()), 12195, 930, 720, 435);
    m_modo = place(button(QStringLiteral("▲"), m_frameKensaku, kGreenFace, font()), 13140, 915, 705, 450);
    m_grid1 = place(new GridView(m_frameKensaku), 195, 1455, 13695, 6015);
    m_grid1->setToolTip(QStringLiteral("ダブルクリックで確認注目株移動"));
    m_grid1->setEmptyAreaColor(GridColor::kGrey);
    m_grid1->setScrollToTopOnShow(true);
    m_grid1->setPageKeys(true);
    m_grid1->setFillWidth(true);
    m_mok
        = place(button(QStringLiteral("注目株検査"), m_frameKensaku, kYellowFace, big), 135, 7530, 4410, 465);
    m_progress = place(new QProgressBar(m_frameKensaku), 4575, 7545, 9315, 465);
    m_progress->setRange(0, 100);
    m_cancelButton
        = place(button(QStringLiteral("中 止"), m_frameKensaku, kYellowFace, UiStyle::proportional(12)),
            10400, 195, 1860, 480);
    m_cancelButton->hide();

    m_frame1 = place(new CaptionFrame(QStringLiteral("個別売買指定株"), this), 30, 8310, 6690, 2220);
    m_grid2 = place(new GridView(m_frame1), 75, 210, 5220, 1965);
    m_grid2->setToolTip(QStringLiteral("ダブルクリックにて購入額＆希望額登録"));
    m_grid2->setEmptyAreaColor(GridColor::kLightOrange);
    // On the frame's caption line, right of the caption, where the grid below loses no row.
    m_earningsLine = place(new QLabel(m_frame1), 1800, 0, 3600, 210);
    m_earningsLine->setObjectName(QStringLiteral("Label_earnings"));
    m_earningsLine->setAutoFillBackground(true);
    m_image1 = place(new ArrowButton(ArrowButton::Direction::Left,
                         QStringLiteral("確認注目株を個別売買指定株へ"), m_frame1),
        5400, 240, 1125, 705);
    m_image2 = place(new ArrowButton(ArrowButton::Direction::Right,
                         QStringLiteral("個別売買指定株を確認注目株へ"), m_frame1),
        5430, 1260, 1125, 705);

    m_frame2 = place(new CaptionFrame(QStringLiteral("確認注目株"), this), 6795, 8295, 2535, 2235);
    m_grid3 = place(new GridView(m_frame2), 135, 225, 2325, 1935);
    m_grid3->setEmptyAreaColor(GridColor::kLightOrange);

    m_label1 = place(new QLabel(this), 9480, 8250, 4800, 360);
    m_label1->setFont(big);
    QPalette lp = m_label1->palette();
    lp.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
    m_label1->setPalette(lp);
    // The fill's progress under the message line: a note of a command never hides it.
    m_fillLine = place(new QLabel(this), 9480, 8625, 4800, 300);
    m_fillLine->setObjectName(QStringLiteral("Label_fill"));
    m_fillLine->setFont(UiStyle::proportional(10.5));

    m_frame3 = place(new CaptionFrame(QStringLiteral("グラフ発行"), this), 9450, 8970, 3705, 1305);
    const char* captions[] = {"個別売買指定", "確認注目", "購入銘柄検索"};
    const int tops[] = {315, 600, 885};
    const int widths[] = {1770, 1215, 1485};
    for (int i = 0; i < 3; ++i) {
        m_option[i]
            = place(new QRadioButton(QString::fromUtf8(captions[i]), m_frame3), 210, tops[i], widths[i], 300);
        m_option[i]->setAutoExclusive(false);
        m_option[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        connect(m_option[i], &QRadioButton::clicked, this,
            [this, i] { handle([this, i] { m_model->Option1_Click(i); }); });
    }
    m_hat = place(button(QStringLiteral("検索発行"), m_frame3, kYellowFace, bigBold), 1965, 225, 1515, 525);
    m_chart = place(button(QStringLiteral("画面表示"), m_frame3, kYellowFace, big), 1965, 795, 1515, 435);

    // Beside the frame of the chart buttons, where the window has room.
    m_track = place(button(QStringLiteral("成績"), this, kYellowFace, big), 13260, 9195, 1035, 525);
    m_track->setObjectName(QStringLiteral("Command_track"));
    m_track->setToolTip(QStringLiteral("選択中の市場・業種でシグナルが当たった割合"));

    m_textCode = place(new QLineEdit(this), 9450, 10320, 1230, 270);
    m_textRow = place(new QLineEdit(this), 10800, 10335, 1080, 270);
    m_textCode->hide();
    m_textRow->hide();

    for (QWidget* w :
        std::initializer_list<QWidget*>{m_frameKensaku, m_frame1, m_frame2, m_frame3, m_check1}) {
        UiStyle::setBackground(w, GridColor::kLightOrange);
    }
    for (auto* o : m_option) {
        UiStyle::setBackground(o, GridColor::kLightOrange);
    }

    // Tab goes through the window as it is read: the top line left to right, the filters, the
    // list, then the lower frames from left to right.
    const std::initializer_list<QWidget*> tabOrder{m_kensaku, m_find, m_settings, m_cancelButton, m_quit,
        m_combo2, m_combo3, m_check1, m_tugi, m_modo, m_grid1, m_mok, m_grid2, m_grid3, m_option[0],
        m_option[1], m_option[2], m_hat, m_chart, m_track};
    QWidget* previous = nullptr;
    for (QWidget* w : tabOrder) {
        if (previous) {
            setTabOrder(previous, w);
        }
        previous = w;
    }

    m_kensaku->setObjectName(QStringLiteral("Command_kensaku"));
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_quit->setObjectName(QStringLiteral("Command2"));
    m_settings->setObjectName(QStringLiteral("Command_settei"));
    m_combo2->setObjectName(QStringLiteral("Combo2"));
    m_combo3->setObjectName(QStringLiteral("Combo3"));
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_tugi->setObjectName(QStringLiteral("Command_tugi"));
    m_modo->setObjectName(QStringLiteral("Command_modo"));
    m_grid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_mok->setObjectName(QStringLiteral("Command_mok"));
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_grid2->setObjectName(QStringLiteral("MSFlexGrid2"));
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image2->setObjectName(QStringLiteral("Image2"));
    m_grid3->setObjectName(QStringLiteral("MSFlexGrid3"));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_hat->setObjectName(QStringLiteral("Command_hat"));
    m_chart->setObjectName(QStringLiteral("Command_chart"));
    m_cancelButton->setObjectName(QStringLiteral("Cancel"));
    m_textCode->setObjectName(QStringLiteral("Text_code"));
    m_textRow->setObjectName(QStringLiteral("Text_Row"));

    connect(m_kensaku, &QPushButton::clicked, this,
        [this] { runLong([this] { m_model->Command_kensaku_Click(); }, true); });
    connect(m_mok, &QPushButton::clicked, this,
        [this] { runLong([this] { m_model->Command_mok_Click(); }, true); });
    connect(m_hat, &QPushButton::clicked, this,
        [this] { runLong([this] { m_model->Command_hat_Click(); }, false); });
    connect(m_chart, &QPushButton::clicked, this,
        [this] { runLong([this] { m_model->Command_chart_Click(); }, false); });
    connect(m_track, &QPushButton::clicked, this, [this] { handle([this] { openTrack(); }); });
    connect(m_find, &QPushButton::clicked, this, [this] { handle([this] { openConditionSearch(); }); });
    connect(m_quit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_settings, &QPushButton::clicked, this, [this] { openSettings(std::string()); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        m_cancel = true;
        // Between commands the button stops the fill that runs in the background; the next
        // Enter then goes to the list, not to "終 了" beside the button that goes.
        if (!m_busy) {
            m_model->fill().stop(false);
            m_grid1->setFocus(Qt::OtherFocusReason);
        }
    });
    auto* fillTimer = new QTimer(this); // owned by the window
    fillTimer->setInterval(kFillPollMs);
    connect(fillTimer, &QTimer::timeout, this, [this] {
        if (m_model->fill().running() && !m_busy && !m_inHandler) {
            // The fill's closing boxes come without "中 止": the fill has ended.
            auto presenter = std::make_shared<RunPresenter>(
                core::SetMessagePresenter(nullptr), [this] { hideCancel(); });
            core::SetMessagePresenter(presenter);
            handle([this] { m_model->pollFill(); });
            core::SetMessagePresenter(presenter->inner());
            if (!m_model->fill().running() && m_conditionSearch) {
                m_conditionSearch->fillChanged(false);
            }
        }
    });
    fillTimer->start();
    // After a page the arrow keys go on in the grid, as after a click in it.
    connect(m_tugi, &QPushButton::clicked, this, [this] {
        handle([this] { m_model->Command_tugi_Click(); });
        m_grid1->setFocus(Qt::OtherFocusReason);
    });
    connect(m_modo, &QPushButton::clicked, this, [this] {
        handle([this] { m_model->Command_modo_Click(); });
        m_grid1->setFocus(Qt::OtherFocusReason);
    });
    connect(m_grid1, &GridView::nextPageRequested, this, [this] {
        if (m_tugi->isVisible() && m_tugi->isEnabled()) {
            m_tugi->click();
        }
    });
    connect(m_grid1, &GridView::previousPageRequested, this, [this] {
        if (m_modo->isVisible() && m_modo->isEnabled()) {
            m_modo->click();
        }
    });
    connect(m_combo2, &QComboBox::activated, this, [this](int) {
        handle([this] {
            m_model->setMarket(m_combo2->currentText().toStdString());
            m_model->Combo_Click();
        });
    });
    connect(m_combo3, &QComboBox::activated, this, [this](int) {
        handle([this] {
            m_model->setIndustry(m_combo3->currentText().toStdString());
            m_model->Combo_Click();
        });
    });
    connect(m_check1, &QCheckBox::clicked, this,
        [this](bool checked) { handle([this, checked] { m_model->Check1_Click(checked); }); });
    auto gridClick = [this](int n) {
        return [this, n](int row) { handle([this, n, row] { m_model->Grid_Click(n, row); }); };
    };
    connect(m_grid1, &GridView::rowClicked, this, gridClick(1));
    connect(m_grid2, &GridView::rowClicked, this, gridClick(2));
    connect(m_grid3, &GridView::rowClicked, this, gridClick(3));
    connect(m_grid1, &GridView::rowDoubleClicked, this,
        [this](int row) { handle([this, row] { m_model->MSFlexGrid1_DblClick(row); }); });
    connect(m_grid2, &GridView::rowDoubleClicked, this, [this](int row) {
        handle([this, row] {
            if (!m_model->MSFlexGrid2_DblClick(row)) {
                return;
            }
            m_textCode->setText(QString::fromStdString(m_model->textCode));
            m_textRow->setText(QString::fromStdString(m_model->textRow));
            Frm_TouRok dialog(m_module, *m_model, this);
            dialog.load(m_textCode->text().toStdString(), m_textRow->text().toStdString());
            if (m_openDialog) {
                m_openDialog(dialog);
            } else {
                dialog.exec();
            }
        });
    });
    connect(m_image1, &ArrowButton::clicked, this, [this] { handle([this] { m_model->Image1_Click(); }); });
    connect(m_image2, &ArrowButton::clicked, this, [this] { handle([this] { m_model->Image2_Click(); }); });
}

bool Frm_zuvemo::load()
{
    bool ok = m_model->Form_Load();
    if (!ok) {
        m_unloaded = true;
    } else {
        prepareSource();
    }
    render();
    return ok;
}

void Frm_zuvemo::prepareSource()
{
    std::string reason;
    try {
        const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
        if (source.isSample()) {
            QString error;
            DataSettingsModel settings(m_module, m_clock);
            settings.load();
            if (m_sample->start(&error)) {
                settings.setSampleAddresses(
                    m_sample->dailyUrl().toStdString(), m_sample->historyUrl().toStdString());
                std::string ignored;
                settings.save(&ignored);
            } else {
                reason = error.toStdString();
            }
        }
        if (reason.empty()) {
            reason = DataSettingsModel::unusableReason(m_module);
        }
        if (reason.empty()) {
            m_model->resumeFill();
        }
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        return;
    }
    if (!reason.empty()) {
        m_model->label1 = reason;
        openSettingsOnceShown(reason, kShownWaitTries);
    }
}

void Frm_zuvemo::openSettingsOnceShown(const std::string& reason, int tries)
{
    // Over the window only once the window manager has placed it: before that its place is
    // the screen's corner, and the dialog would open there.
    QTimer::singleShot(tries == kShownWaitTries ? 0 : kShownWaitMs, this, [this, reason, tries] {
        const bool shown = isVisible() && windowHandle() && windowHandle()->isExposed();
        if (!shown && tries > 0) {
            openSettingsOnceShown(reason, tries - 1);
            return;
        }
        openSettings(reason);
    });
}

void Frm_zuvemo::openSettings(const std::string& reason)
{
    handle([this, &reason] {
        Frm_DataSettings dialog(m_module, m_clock, m_sample, this);
        dialog.load(reason);
        // Over the window even when it opens with it, before the window manager has placed it.
        dialog.adjustSize();
        dialog.move(frameGeometry().center() - dialog.rect().center());
        if (m_openSettings) {
            m_openSettings(dialog);
        } else {
            dialog.exec();
        }
        if (dialog.result() == QDialog::Accepted) {
            m_model->sourceSaved(dialog.sourceChanged());
            if (dialog.model().choice != DataSettingsModel::Choice::Sample) {
                m_sample->stop();
            }
        }
    });
}

Frm_Chart* Frm_zuvemo::lastChart() const
{
    return m_lastChart.data();
}

WindowPlacement::Margins Frm_zuvemo::frameMargins() const
{
    // A new window's frame is not known before it shows: the window manager gives it the
    // main window's.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom()};
}

WindowPlacement::Rect Frm_zuvemo::screenArea() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return rectOf(s ? s->availableGeometry() : QRect(0, 0, 1280, 1024));
}

void Frm_zuvemo::openChart(const std::string& code, const std::string& name)
{
    ChartChoice choice;
    try {
        choice = ChartChoice::read(*m_module.SharedConnection);
    } catch (const core::DatabaseError&) {
        // A choice that cannot be read leaves the chart as by default.
    }
    auto* window = new Frm_Chart(exporting::ChartData::read(m_module, code, name), choice, this);
    window->setSignals(ChartSignals::read(m_module, window->data().storedDays()));
    window->setChoiceKeeper([this](const ChartChoice& kept) {
        try {
            kept.write(*m_module.SharedConnection);
        } catch (const core::DatabaseError&) {
            // Not kept: the chart goes on as chosen.
        }
    });
    m_lastChart = window;
    // Over the main window, and wholly on its screen.
    window->setGeometry(qRect(WindowPlacement::centredOn(rectOf(frameGeometry()), window->width(),
        window->height(), frameMargins(), screenArea(), window->minimumWidth(), window->minimumHeight())));
    window->show();
    window->raise();
    window->activateWindow();
}

Frm_ConditionSearch* Frm_zuvemo::conditionSearch() const
{
    return m_conditionSearch.data();
}

void Frm_zuvemo::openConditionSearch()
{
    if (!m_conditionSearch) {
        Frm_ConditionSearch::Hooks hooks;
        hooks.run = [this](const std::function<void()>& handler) {
            if (m_busy || m_inHandler) {
                return false;
            }
            handle(handler);
            return true;
        };
        hooks.showChart = [this](const std::string& code, const std::string& name) {
            if (m_busy || m_inHandler) {
                return false;
            }
            runLong([this, &code, &name] { m_model->chartStock(code, name); }, false);
            return true;
        };
        hooks.addCandidates = [this](ConditionSearchModel& search) { search.addSelected(*m_model); };
        hooks.fillRunning = [this] { return m_model->fill().running(); };
        // Deleted on close; the window owns it until then.
        m_conditionSearch
            = new Frm_ConditionSearch(m_module, hooks, m_model->combo2Items, m_model->combo3Items, this);
        // Where it was last, else beside the main window where the screen has room, else over
        // its right part; always wholly on the screen.
        m_conditionSearch->adjustSize();
        const auto kept = WindowPlacement::parse(m_conditionSearch->model().placement);
        const auto frame = frameMargins();
        const auto area = screenArea();
        const QSize least = m_conditionSearch->minimumSizeHint();
        m_conditionSearch->setGeometry(
            qRect(kept ? WindowPlacement::within(*kept, frame, area, least.width(), least.height())
                       : WindowPlacement::beside(rectOf(frameGeometry()), m_conditionSearch->width(),
                           m_conditionSearch->height(), frame, area)));
    }
    m_conditionSearch->show();
    m_conditionSearch->raise();
    m_conditionSearch->activateWindow();
}

void Frm_zuvemo::openTrack()
{
    TrackDialogModel model(m_module, m_model->combo2Text, m_model->combo3Text);
    model.fillRunning = m_model->fill().running();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model.load([this] { pumpEvents(); });
    QApplication::restoreOverrideCursor();
    Frm_Track dialog(model, this);
    if (m_openTrack) {
        m_openTrack(dialog);
    } else {
        dialog.exec();
    }
}

namespace {

// A text longer than its line is drawn smaller rather than cut; the tip shows it whole.
void fitText(QLabel* label, QFont font, const QString& text)
{
    const int room = label->contentsRect().width();
    while (font.pointSizeF() > 7.5 && QFontMetrics(font).horizontalAdvance(text) > room) {
        font.setPointSizeF(font.pointSizeF() - 0.75);
    }
    label->setFont(font);
    label->setText(text);
    label->setToolTip(QFontMetrics(font).horizontalAdvance(text) > room ? text : QString());
}

} // namespace

void Frm_zuvemo::setLabel1(const QString& text)
{
    fitText(m_label1, UiStyle::proportional(14.25), text);
}

void Frm_zuvemo::render()
{
    auto& m = *m_model;
    fitText(m_label2, UiStyle::gothic(20.25), q(m.label2));
    setLabel1(q(m.label1));
    fitText(m_fillLine, UiStyle::proportional(10.5), q(m.fill().line()));
    fitText(m_earningsLine, UiStyle::proportional(9), q(m.earningsLine));
    m_earningsLine->setVisible(!m.earningsLine.empty());
    m_grid1->show(m.grid1);
    m_grid2->show(m.grid2);
    m_grid3->show(m.grid3);
    m_tugi->setVisible(m.tugiVisible);
    m_modo->setVisible(m.modoVisible);
    m_mok->setVisible(m.mokVisible);
    m_progress->setVisible(m.mokVisible);
    m_progress->setValue(m.progress);
    m_hat->setEnabled(m.hatEnabled);
    if (!m_busy) {
        // The source stays as it is while its fill runs.
        m_kensaku->setEnabled(!m.fill().running());
        m_settings->setEnabled(!m.fill().running());
        if (!m.fill().running()) {
            hideCancel();
        }
        m_cancelButton->setVisible(m.fill().running());
        m_cancelButton->setEnabled(m.fill().running());
    }
    m_chart->setEnabled(m.hatEnabled);
    for (int i = 0; i < 3; ++i) {
        m_option[i]->setChecked(m.option[static_cast<std::size_t>(i)]);
    }
    m_check1->setChecked(m.check1);
    auto fillCombo = [](QComboBox* box, const std::vector<std::string>& items, const std::string& current) {
        QStringList list;
        for (const auto& s : items) {
            list << q(s);
        }
        QStringList existing;
        for (int i = 0; i < box->count(); ++i) {
            existing << box->itemText(i);
        }
        if (existing != list) {
            box->clear();
            box->addItems(list);
        }
        int index = list.indexOf(q(current));
        box->setCurrentIndex(index < 0 ? 0 : index);
    };
    fillCombo(m_combo2, m.combo2Items, m.combo2Text);
    fillCombo(m_combo3, m.combo3Items, m.combo3Text);
}

void Frm_zuvemo::hideCancel()
{
    // A hidden button gives the focus to the next in the tab order, "終 了": the list takes it.
    if (focusWidget() == m_cancelButton) {
        m_grid1->setFocus(Qt::OtherFocusReason);
    }
    m_cancelButton->hide();
}

void Frm_zuvemo::dropOpenRecordsets()
{
    // A query left open by the failed handler would keep its read transaction.
    m_module.SharedRecordset.reset();
    m_module.SharedRecordset2.reset();
}

void Frm_zuvemo::handle(const std::function<void()>& handler)
{
    // One handler at a time: the repaint inside a page fill must not start another one.
    if (m_inHandler || m_busy) {
        return;
    }
    m_inHandler = true;
    // A locked or damaged database must not end the program: the error is shown as the long
    // commands show theirs, and the window stays usable.
    try {
        handler();
    } catch (const core::DatabaseError& e) {
        dropOpenRecordsets();
        core::SetErr(e);
        core::ShowMessage("");
    } catch (const std::exception& e) {
        dropOpenRecordsets();
        core::SetErr(-1, e.what());
        core::ShowMessage("");
    }
    m_inHandler = false;
    render();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void Frm_zuvemo::pumpEvents()
{
    render();
    // A server that does not answer: the line says so and the bar moves while it waits.
    const bool waiting = m_downloader->elapsed() >= kWaitShown;
    if (waiting) {
        setLabel1(QString::fromUtf8(kWaitingMessage));
    }
    if (waiting != (m_progress->maximum() == 0)) {
        m_progress->setRange(0, waiting ? 0 : 100);
        m_progress->setValue(m_model->progress);
    }
    // A handler's repaint leaves the user's input queued until the handler is done; a long
    // command takes it, for "中 止" and the close box.
    QCoreApplication::processEvents(
        m_inHandler ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents, 50);
}

void Frm_zuvemo::runLong(const std::function<void()>& command, bool stoppable)
{
    if (m_busy || m_inHandler) {
        return;
    }
    m_busy = true;
    m_cancel = false;
    // Input off while the command runs, so no command starts twice; the cancel stays available.
    for (QWidget* w : std::initializer_list<QWidget*>{m_kensaku, m_quit, m_settings, m_combo2, m_combo3,
             m_check1, m_tugi, m_modo, m_grid1, m_mok, m_frame1, m_frame2, m_frame3, m_track, m_find}) {
        w->setEnabled(false);
    }
    m_cancelButton->setVisible(stoppable);
    m_cancelButton->setEnabled(stoppable);
    auto presenter
        = std::make_shared<RunPresenter>(core::SetMessagePresenter(nullptr), [this] { hideCancel(); });
    core::SetMessagePresenter(presenter);
    command();
    core::SetMessagePresenter(presenter->inner());
    m_progress->setRange(0, 100);
    for (QWidget* w : std::initializer_list<QWidget*>{m_kensaku, m_quit, m_settings, m_combo2, m_combo3,
             m_check1, m_tugi, m_modo, m_grid1, m_mok, m_frame1, m_frame2, m_frame3, m_track, m_find}) {
        w->setEnabled(true);
    }
    hideCancel();
    // After "中 止" the next Enter goes to the list, not to "終 了".
    if (m_cancel && stoppable) {
        m_grid1->setFocus(Qt::OtherFocusReason);
    }
    m_busy = false;
    render();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void Frm_zuvemo::closeEvent(QCloseEvent* event)
{
    if (m_busy || m_inHandler) {
        // A command is running (perhaps waiting for the database): stop it first; the window
        // closes once it has ended.
        m_cancel = true;
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    if (!m_unloaded) {
        m_unloaded = true;
        // The dialog keeps its conditions while the database is still open.
        if (m_conditionSearch) {
            m_conditionSearch->close();
        }
        // What the fill stored stays; the next start goes on from there.
        m_model->fill().stop(true);
        m_model->Form_Unload();
    }
    event->accept();
    emit closed();
}

} // namespace zuvemo::ui
