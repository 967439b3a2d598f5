#include "Frm_ConditionSearch.h"

#include "GridView.h"
#include "Twips.h"
#include "UiStyle.h"
#include "core/DatabaseError.h"
#include "core/MessagePresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zuvemo::ui {

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

constexpr std::uint32_t kYellowFace = 0x00FFFF;
constexpr const char* kFigureCaptions[] = {"予想PER", "PBR", "ROE", "配当利回り", "時価総額"};
constexpr const char* kUnits[] = {"倍", "倍", "%", "%", "億円"};
constexpr const char* kSignals[] = {"指定なし", "買", "売"};

QComboBox* listBox(const std::vector<std::string>& items, QWidget* parent)
{
    auto* box = new QComboBox(parent); // owned by parent
    for (const auto& item : items) {
        box->addItem(item.empty() ? QStringLiteral("すべて") : q(item), q(item));
    }
    if (items.empty() || !items.front().empty()) {
        box->insertItem(0, QStringLiteral("すべて"), QString());
    }
    return box;
}

void choose(QComboBox* box, const std::string& value)
{
    const int at = box->findData(q(value));
    box->setCurrentIndex(at < 0 ? 0 : at);
}

} // namespace

Frm_ConditionSearch::Frm_ConditionSearch(core::Mdl_Start& module, Hooks hooks,
    const std::vector<std::string>& markets, const std::vector<std::string>& industries, QWidget* parent)
    : QDialog(parent)
    , m_model(module)
    , m_hooks(std::move(hooks))
{
    setWindowTitle(QStringLiteral("条件検索"));
    setObjectName(QStringLiteral("Frm_ConditionSearch"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    UiStyle::setBackground(this, GridColor::kLightOrange);
    setFont(UiStyle::proportional(10.5));

    auto* layout = new QVBoxLayout(this); // owned by the dialog
    auto* top = new QHBoxLayout; // owned by the layout
    layout->addLayout(top);

    auto* figures = new QGroupBox(QStringLiteral("指標"), this);
    auto* grid = new QGridLayout(figures); // owned by the box
    grid->addWidget(new QLabel(QStringLiteral("下限"), figures), 0, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("上限"), figures), 0, 3, Qt::AlignCenter);
    for (int f = 0; f < ConditionSearchModel::kFigures; ++f) {
        const auto i = static_cast<std::size_t>(f);
        grid->addWidget(new QLabel(QString::fromUtf8(kFigureCaptions[f]), figures), f + 1, 0);
        m_low[i] = new QLineEdit(figures);
        m_high[i] = new QLineEdit(figures);
        for (auto* box : {m_low[i], m_high[i]}) {
            box->setAlignment(Qt::AlignRight);
            box->setFixedWidth(90);
        }
        m_low[i]->setObjectName(QStringLiteral("Low%1").arg(f));
        m_high[i]->setObjectName(QStringLiteral("High%1").arg(f));
        grid->addWidget(m_low[i], f + 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("〜"), figures), f + 1, 2);
        grid->addWidget(m_high[i], f + 1, 3);
        grid->addWidget(new QLabel(QString::fromUtf8(kUnits[f]), figures), f + 1, 4);
        m_error[i] = new QLabel(figures);
        m_error[i]->setObjectName(QStringLiteral("Error%1").arg(f));
        QPalette p = m_error[i]->palette();
        p.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
        m_error[i]->setPalette(p);
        m_error[i]->setMinimumWidth(
            QFontMetrics(font()).horizontalAdvance(QString::fromUtf8(ConditionSearchModel::kBadOrder)) + 8);
        grid->addWidget(m_error[i], f + 1, 5);
    }
    m_figuresNote = new QLabel(figures);
    m_figuresNote->setObjectName(QStringLiteral("FiguresNote"));
    grid->addWidget(m_figuresNote, ConditionSearchModel::kFigures + 1, 0, 1, 6);
    grid->setColumnStretch(5, 1);
    top->addWidget(figures, 1);

    auto* others = new QGroupBox(QStringLiteral("シグナル・市場・業種"), this);
    auto* form = new QGridLayout(others); // owned by the box
    m_signal = new QComboBox(others);
    m_signal->setObjectName(QStringLiteral("Signal"));
    for (const char* s : kSignals) {
        m_signal->addItem(QString::fromUtf8(s));
    }
    m_confirmed = new QCheckBox(QStringLiteral("出来高確認のみ"), others);
    m_confirmed->setObjectName(QStringLiteral("ConfirmedOnly"));
    m_market = listBox(markets, others);
    m_market->setObjectName(QStringLiteral("Market"));
    m_industry = listBox(industries, others);
    m_industry->setObjectName(QStringLiteral("Industry"));
    form->addWidget(new QLabel(QStringLiteral("短期シグナル"), others), 0, 0);
    form->addWidget(m_signal, 0, 1);
    form->addWidget(m_confirmed, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("市場"), others), 2, 0);
    form->addWidget(m_market, 2, 1);
    form->addWidget(new QLabel(QStringLiteral("業種"), others), 3, 0);
    form->addWidget(m_industry, 3, 1);
    m_search = new QPushButton(QStringLiteral("検索"), others);
    m_search->setObjectName(QStringLiteral("Search"));
    m_clear = new QPushButton(QStringLiteral("条件クリア"), others);
    m_clear->setObjectName(QStringLiteral("Clear"));
    for (auto* b : {m_search, m_clear}) {
        b->setMinimumHeight(30);
        UiStyle::setButtonFace(b, kYellowFace);
        b->setFont(UiStyle::proportional(12));
    }
    auto* buttons = new QHBoxLayout; // owned by the box's layout
    buttons->addWidget(m_search);
    buttons->addWidget(m_clear);
    form->addLayout(buttons, 4, 0, 1, 2);
    form->setRowStretch(5, 1);
    top->addWidget(others);

    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("FindGrid"));
    m_grid->setEmptyAreaColor(GridColor::kGrey);
    m_grid->setFillWidth(true);
    // Every column beside the vertical scroll bar, without a horizontal one.
    int columnsWidth = 0;
    for (int c = 0; c < m_model.grid.cols(); ++c) {
        columnsWidth += px(m_model.grid.column(c).widthTwips);
    }
    m_grid->setMinimumSize(
        columnsWidth + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * m_grid->frameWidth() + 4, 330);
    m_grid->setToolTip(QStringLiteral("ダブルクリックでチャート表示"));
    m_grid->horizontalHeader()->setSortIndicatorShown(true);
    layout->addWidget(m_grid, 1);

    auto* bottom = new QHBoxLayout; // owned by the layout
    auto* lines = new QVBoxLayout; // owned by bottom
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("Count"));
    m_count->setFont(UiStyle::proportional(12));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("Note"));
    QPalette p = m_note->palette();
    p.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
    m_note->setPalette(p);
    lines->addWidget(m_count);
    lines->addWidget(m_note);
    bottom->addLayout(lines, 1);
    m_add = new QPushButton(QStringLiteral("候補に追加"), this);
    m_add->setObjectName(QStringLiteral("AddCandidates"));
    m_add->setToolTip(QStringLiteral("選んだ銘柄を確認注目株へ (Ctrl、Shift で複数)"));
    m_close = new QPushButton(QStringLiteral("閉じる"), this);
    m_close->setObjectName(QStringLiteral("Close"));
    for (auto* b : {m_add, m_close}) {
        UiStyle::setButtonFace(b, kYellowFace);
        b->setFont(UiStyle::proportional(12));
        b->setAutoDefault(false);
        b->setMinimumSize(130, 34);
        bottom->addWidget(b);
    }
    m_clear->setAutoDefault(false);
    layout->addLayout(bottom);

    // Enter anywhere in the conditions searches.
    m_search->setDefault(true);

    QWidget* previous = nullptr;
    std::vector<QWidget*> order;
    for (std::size_t i = 0; i < m_low.size(); ++i) {
        order.push_back(m_low[i]);
        order.push_back(m_high[i]);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_signal, m_confirmed, m_market, m_industry, m_search, m_clear, m_grid, m_add, m_close}) {
        order.push_back(w);
    }
    for (QWidget* w : order) {
        if (previous) {
            setTabOrder(previous, w);
        }
        previous = w;
    }

    m_grid->installEventFilter(this);
    m_grid->viewport()->installEventFilter(this);
    connect(m_search, &QPushButton::clicked, this, &Frm_ConditionSearch::search);
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_model.clear();
        m_model.note.clear();
        showConditions();
        render();
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_model.sortBy(column);
        render();
    });
    connect(m_grid, &GridView::rowClicked, this, [this](int row) {
        const auto modifiers = m_modifiers;
        m_model.click(row, modifiers & Qt::ControlModifier, modifiers & Qt::ShiftModifier);
        m_grid->show(m_model.grid);
    });
    connect(m_grid, &GridView::rowDoubleClicked, this, [this](int row) {
        const auto* stock = m_model.row(row);
        if (stock && m_hooks.showChart) {
            const std::string code = stock->code;
            const std::string name = stock->name;
            if (!m_hooks.showChart(code, name)) {
                m_model.note = kBusyNote;
            }
            render();
        }
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (m_hooks.addCandidates) {
            runInMain([this] { m_hooks.addCandidates(m_model); });
        }
        render();
    });

    try {
        m_model.load();
    } catch (const core::DatabaseError& e) {
        m_model.message = e.userText();
    }
    m_model.fillRunning = m_hooks.fillRunning && m_hooks.fillRunning();
    m_model.note = m_model.fillRunning ? ConditionSearchModel::kFillNote : std::string();
    showConditions();
    render();
}

bool Frm_ConditionSearch::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl and Shift as they were with the click or the arrow key that chooses a row.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        m_modifiers = static_cast<QMouseEvent*>(event)->modifiers();
    } else if (event->type() == QEvent::KeyPress) {
        m_modifiers = static_cast<QKeyEvent*>(event)->modifiers();
    }
    return QDialog::eventFilter(watched, event);
}

void Frm_ConditionSearch::readBoxes()
{
    for (std::size_t i = 0; i < m_low.size(); ++i) {
        m_model.low[i] = m_low[i]->text().toStdString();
        m_model.high[i] = m_high[i]->text().toStdString();
    }
    m_model.signal = m_signal->currentIndex() == 0 ? std::string() : m_signal->currentText().toStdString();
    m_model.confirmed = m_confirmed->isChecked();
    m_model.market = m_market->currentData().toString().toStdString();
    m_model.industry = m_industry->currentData().toString().toStdString();
}

void Frm_ConditionSearch::search()
{
    readBoxes();
    m_model.fillRunning = m_hooks.fillRunning && m_hooks.fillRunning();
    runInMain([this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_model.search();
        QApplication::restoreOverrideCursor();
    });
    render();
}

void Frm_ConditionSearch::runInMain(const std::function<void()>& handler)
{
    if (!m_hooks.run) {
        handler();
    } else if (!m_hooks.run(handler)) {
        m_model.note = kBusyNote;
    }
}

void Frm_ConditionSearch::showConditions()
{
    const auto& m = m_model;
    for (std::size_t i = 0; i < m_low.size(); ++i) {
        m_low[i]->setText(q(m.low[i]));
        m_high[i]->setText(q(m.high[i]));
        m_low[i]->setEnabled(m.figuresEnabled);
        m_high[i]->setEnabled(m.figuresEnabled);
    }
    m_figuresNote->setText(q(m.figuresNote));
    m_figuresNote->setVisible(!m.figuresNote.empty());
    m_signal->setCurrentIndex(m.signal == "買" ? 1 : (m.signal == "売" ? 2 : 0));
    m_confirmed->setChecked(m.confirmed);
    choose(m_market, m.market);
    choose(m_industry, m.industry);
}

void Frm_ConditionSearch::render()
{
    const auto& m = m_model;
    for (std::size_t i = 0; i < m_error.size(); ++i) {
        m_error[i]->setText(q(m.errors[i]));
    }
    m_grid->show(m.grid);
    m_grid->horizontalHeader()->setSortIndicator(
        m.sortColumn(), m.descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_count->setText(q(m.message.empty() ? m.countLine : m.message));
    m_note->setText(q(m.note));
    m_add->setEnabled(m.grid.rows() > 1);
}

void Frm_ConditionSearch::keep()
{
    readBoxes();
    try {
        m_model.save();
    } catch (const core::DatabaseError&) {
        // The conditions are only a convenience: a locked database must not keep the dialog open.
    }
}

void Frm_ConditionSearch::done(int result)
{
    // Escape, "閉じる" and the title bar's close all end here.
    keep();
    QDialog::done(result);
}

} // namespace zuvemo::ui
