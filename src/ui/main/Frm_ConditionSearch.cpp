#include "Frm_ConditionSearch.h"

#include "Frm_RuleTest.h"
#include "GridView.h"
#include "Twips.h"
#include "UiStyle.h"
#include "analysis/FigureTable.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "marketdata/ExchangeOrder.h"
#include "model/MainWindowModel.h"
#include "model/WindowPlacement.h"

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
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zuvemo::ui {

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

constexpr std::uint32_t kYellowFace = 0x00FFFF;
constexpr const char* kSignals[] = {"指定なし", "買", "売"};
// The cross list's items: none, then a golden cross (1) and a dead one (-1).
constexpr const char* kCrosses[] = {"指定なし", "GC（ゴールデンクロス）", "DC（デッドクロス）"};

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
    // A window of its own, which the main window may cover; its parent only owns it.
    : QDialog(parent, Qt::Window)
    , m_model(module)
    , m_hooks(std::move(hooks))
    , m_folder(module.programFolder())
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

    std::vector<QWidget*> order;
    m_low.assign(m_model.boxes.size(), nullptr);
    m_high.assign(m_model.boxes.size(), nullptr);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ConditionTabs"));
    order.push_back(m_tabs);
    for (const auto group : {ConditionSearchModel::Group::Indicators, ConditionSearchModel::Group::Technical,
             ConditionSearchModel::Group::Supply}) {
        m_tabs->addTab(groupPage(group, order), QString::fromUtf8(ConditionSearchModel::title(group)));
    }
    auto* left = new QVBoxLayout; // owned by top
    left->addWidget(m_tabs);
    m_errors = new QLabel(this);
    m_errors->setObjectName(QStringLiteral("Errors"));
    m_errors->setWordWrap(true);
    QPalette red = m_errors->palette();
    red.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
    m_errors->setPalette(red);
    left->addWidget(m_errors);
    top->addLayout(left, 1);

    auto* others = new QGroupBox(QStringLiteral("シグナル・市場・業種"), this);
    auto* form = new QGridLayout(others); // owned by the box
    m_signal = new QComboBox(others);
    m_signal->setObjectName(QStringLiteral("Signal"));
    for (const char* s : kSignals) {
        m_signal->addItem(QString::fromUtf8(s));
    }
    m_confirmed = new QCheckBox(
        QString::fromUtf8(MainWindowModel::kMidTermHeading) + QStringLiteral("シグナルのみ"), others);
    m_confirmed->setObjectName(QStringLiteral("ConfirmedOnly"));
    m_confirmed->setToolTip(QString::fromUtf8(MainWindowModel::kMidTermTip));
    // The exchange's order, as it lists them.
    m_market = listBox(marketdata::ExchangeOrder::markets(markets), others);
    m_market->setObjectName(QStringLiteral("Market"));
    m_industry = listBox(marketdata::ExchangeOrder::industries(industries), others);
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
    m_test = new QPushButton(QStringLiteral("この条件を検証"), others);
    m_test->setObjectName(QStringLiteral("TestRule"));
    m_test->setToolTip(
        QStringLiteral("保存済みの過去の各日にこの条件で選んだ銘柄が、その後どうなったかを調べます"));
    m_test->setAutoDefault(false);
    UiStyle::setButtonFace(m_test, kYellowFace);
    form->addWidget(m_test, 5, 0, 1, 2);
    form->setRowStretch(6, 1);
    top->addWidget(others);

    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("FindGrid"));
    m_grid->setEmptyAreaColor(GridColor::kGrey);
    m_grid->setFillWidth(true);
    // The usual columns beside the vertical scroll bar; a condition's column scrolls in the grid,
    // the window keeps the size the user gave it.
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
        UiStyle::setDialogButton(b, kYellowFace);
        bottom->addWidget(b);
    }
    m_clear->setAutoDefault(false);
    layout->addLayout(bottom);

    // Enter anywhere in the conditions searches.
    m_search->setDefault(true);

    QWidget* previous = nullptr;
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
    connect(m_test, &QPushButton::clicked, this, &Frm_ConditionSearch::testRule);
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

void Frm_ConditionSearch::addBoxPair(std::size_t i, QGridLayout* grid, int row, int at, int width,
    QWidget* parent, std::vector<QWidget*>& order)
{
    const auto& box = m_model.boxes[i];
    grid->addWidget(new QLabel(q(box.caption), parent), row, at);
    m_low[i] = new QLineEdit(parent);
    m_high[i] = new QLineEdit(parent);
    for (auto* edit : {m_low[i], m_high[i]}) {
        edit->setAlignment(Qt::AlignRight);
        edit->setFixedWidth(width);
        edit->setToolTip(q(box.caption + "（" + (box.unit.empty() ? std::string("値") : box.unit)
            + "）。空欄は上限・下限なし"));
        order.push_back(edit);
        // A box left in error is said at once, and the result under it greys.
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            readBoxes();
            m_model.check();
            render();
        });
    }
    m_low[i]->setObjectName(q(std::string("Low_") + box.figure->name));
    m_high[i]->setObjectName(q(std::string("High_") + box.figure->name));
    grid->addWidget(m_low[i], row, at + 1);
    grid->addWidget(new QLabel(QStringLiteral("〜"), parent), row, at + 2);
    grid->addWidget(m_high[i], row, at + 3);
    grid->addWidget(new QLabel(q(box.unit), parent), row, at + 4);
}

QWidget* Frm_ConditionSearch::groupPage(ConditionSearchModel::Group group, std::vector<QWidget*>& order)
{
    if (group == ConditionSearchModel::Group::Technical) {
        return technicalPage(order);
    }
    auto* page = new QWidget; // owned by the tabs
    page->setObjectName(QString::fromUtf8(ConditionSearchModel::title(group)));
    auto* grid = new QGridLayout(page); // owned by the page
    // A column of boxes: caption, 下限, 〜, 上限, unit; a gap, then the next column.
    constexpr int kSpan = 6;
    int shown = 0;
    for (std::size_t i = 0; i < m_model.boxes.size(); ++i) {
        if (m_model.boxes[i].group != group) {
            continue;
        }
        const int row = shown % kRowsPerColumn + 1;
        const int at = shown / kRowsPerColumn * kSpan;
        if (row == 1) {
            grid->addWidget(new QLabel(QStringLiteral("下限"), page), 0, at + 1, Qt::AlignCenter);
            grid->addWidget(new QLabel(QStringLiteral("上限"), page), 0, at + 3, Qt::AlignCenter);
            if (at > 0) {
                grid->setColumnMinimumWidth(at - 1, 16);
            }
        }
        ++shown;
        addBoxPair(i, grid, row, at, kBoxWidth, page, order);
    }
    const int next = std::min(shown, kRowsPerColumn) + 1;
    const int span = std::max(1, (shown + kRowsPerColumn - 1) / kRowsPerColumn) * kSpan - 1;
    if (group == ConditionSearchModel::Group::Indicators) {
        m_figuresNote = new QLabel(page);
        m_figuresNote->setObjectName(QStringLiteral("FiguresNote"));
        grid->addWidget(m_figuresNote, next, 0, 1, span);
    } else {
        auto* note = new QLabel(QString::fromUtf8(ConditionSearchModel::kSupplyNote), page);
        note->setObjectName(QStringLiteral("SupplyNote"));
        note->setWordWrap(true);
        grid->addWidget(note, next, 0, 1, span);
    }
    grid->setRowStretch(next + 1, 1);
    grid->setColumnStretch(span, 1);
    return page;
}

QWidget* Frm_ConditionSearch::technicalPage(std::vector<QWidget*>& order)
{
    auto* page = new QWidget; // owned by the tabs
    page->setObjectName(
        QString::fromUtf8(ConditionSearchModel::title(ConditionSearchModel::Group::Technical)));
    auto* columns = new QHBoxLayout(page); // owned by the page
    const auto& flags = analysis::FigureTable::flags();
    const auto& crosses = analysis::FigureTable::crosses();
    m_flags.assign(flags.size(), nullptr);
    m_crosses.assign(crosses.size(), nullptr);
    auto crossBox = [&](const char* name, const std::vector<std::string>& items, QWidget* parent) {
        auto* box = new QComboBox(parent); // owned by parent
        box->setObjectName(QString::fromLatin1(name));
        for (const auto& item : items) {
            box->addItem(q(item));
        }
        order.push_back(box);
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            readBoxes();
            render();
        });
        return box;
    };
    // Each group: its boxes, then its flags three a line, then its crosses.
    for (const auto& section : ConditionSearchModel::technicalSections()) {
        auto* frame = new QGroupBox(q(section), page);
        auto* grid = new QGridLayout(frame); // owned by the frame
        // Three groups side by side beside the signal's box stay within a 1280-dot screen.
        grid->setContentsMargins(6, 6, 6, 6);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(2);
        grid->addWidget(new QLabel(QStringLiteral("下限"), frame), 0, 1, Qt::AlignCenter);
        grid->addWidget(new QLabel(QStringLiteral("上限"), frame), 0, 3, Qt::AlignCenter);
        int row = 1;
        for (std::size_t i = 0; i < m_model.boxes.size(); ++i) {
            const auto& box = m_model.boxes[i];
            if (box.group == ConditionSearchModel::Group::Technical
                && ConditionSearchModel::sectionOf(box.figure->name) == section) {
                addBoxPair(i, grid, row++, 0, kTechnicalBoxWidth, frame, order);
            }
        }
        auto* marks = new QGridLayout; // owned by the grid
        marks->setContentsMargins(0, 0, 0, 0);
        int placed = 0;
        for (std::size_t f = 0; f < flags.size(); ++f) {
            if (ConditionSearchModel::sectionOf(flags[f].name) != section) {
                continue;
            }
            auto* check = new QCheckBox(QString::fromUtf8(flags[f].heading), frame);
            check->setObjectName(q(std::string("Flag_") + flags[f].name));
            connect(check, &QCheckBox::toggled, this, [this] {
                readBoxes();
                render();
            });
            m_flags[f] = check;
            order.push_back(check);
            marks->addWidget(check, placed / kFlagsPerLine, placed % kFlagsPerLine);
            ++placed;
        }
        marks->setColumnStretch(kFlagsPerLine, 1);
        grid->addLayout(marks, row++, 0, 1, 5);
        if (ConditionSearchModel::sectionOf("cross") == section) {
            grid->addWidget(new QLabel(QStringLiteral("移動平均クロス"), frame), row, 0);
            m_cross = crossBox("Cross", {kCrosses[0], kCrosses[1], kCrosses[2]}, frame);
            grid->addWidget(m_cross, row++, 1, 1, 4);
        }
        for (std::size_t c = 0; c < crosses.size(); ++c) {
            if (ConditionSearchModel::sectionOf(crosses[c].name) != section) {
                continue;
            }
            const bool gc = std::string_view(crosses[c].golden) == "GC";
            grid->addWidget(new QLabel(QString::fromUtf8(crosses[c].heading), frame), row, 0);
            m_crosses[c] = crossBox((std::string("Cross_") + crosses[c].name).c_str(),
                {kCrosses[0], gc ? kCrosses[1] : crosses[c].golden, gc ? kCrosses[2] : crosses[c].dead},
                frame);
            grid->addWidget(m_crosses[c], row++, 1, 1, 4);
        }
        grid->setRowStretch(row, 1);
        columns->addWidget(frame);
    }
    columns->addStretch(1);
    return page;
}

void Frm_ConditionSearch::readBoxes()
{
    for (std::size_t i = 0; i < m_low.size(); ++i) {
        m_model.boxes[i].low = m_low[i]->text().toStdString();
        m_model.boxes[i].high = m_high[i]->text().toStdString();
    }
    m_model.flags.clear();
    for (std::size_t i = 0; i < m_flags.size(); ++i) {
        if (m_flags[i]->isChecked()) {
            m_model.flags.insert(analysis::FigureTable::flags()[i].name);
        }
    }
    auto way = [](const QComboBox* box) {
        const int at = box->currentIndex();
        return at == 1 ? 1 : (at == 2 ? -1 : 0);
    };
    m_model.cross = way(m_cross);
    m_model.crosses.clear();
    for (std::size_t c = 0; c < m_crosses.size(); ++c) {
        if (way(m_crosses[c]) != 0) {
            m_model.crosses[analysis::FigureTable::crosses()[c].name] = way(m_crosses[c]);
        }
    }
    m_model.signal = m_signal->currentIndex() == 0 ? std::string() : m_signal->currentText().toStdString();
    m_model.confirmed = m_confirmed->isChecked();
    m_model.market = m_market->currentData().toString().toStdString();
    m_model.industry = m_industry->currentData().toString().toStdString();
}

void Frm_ConditionSearch::showFirstError()
{
    for (std::size_t i = 0; i < m_model.boxes.size(); ++i) {
        if (!m_model.boxes[i].error.empty()) {
            m_tabs->setCurrentIndex(static_cast<int>(m_model.boxes[i].group));
            m_low[i]->setFocus();
            return;
        }
    }
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
    showFirstError();
}

void Frm_ConditionSearch::testRule()
{
    readBoxes();
    auto conditions = m_model.conditions();
    if (!conditions) {
        render();
        showFirstError();
        return;
    }
    if (conditions->signal.empty() && !conditions->confirmed && conditions->ranges.empty()
        && conditions->flags.empty() && conditions->cross == 0 && conditions->crosses.empty()) {
        m_model.note = "検証する条件を 1 つ以上指定してください。";
        render();
        return;
    }
    analysis::RuleTest::Options options;
    options.conditions = *conditions;
    auto model = std::make_unique<RuleTestDialogModel>(
        m_folder, options, RuleTestDialogModel::describe(*conditions));
    model->load();
    auto* window = new Frm_RuleTest(std::move(model), this); // deleted on close
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->runTest();
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
        const auto& box = m.boxes[i];
        m_low[i]->setText(q(box.low));
        m_high[i]->setText(q(box.high));
        m_low[i]->setEnabled(m.enabled(box));
        m_high[i]->setEnabled(m.enabled(box));
    }
    // Each of these reads every widget back into the model: set one by one, they would read the
    // others before they are set.
    for (std::size_t i = 0; i < m_flags.size(); ++i) {
        const QSignalBlocker quiet(m_flags[i]);
        m_flags[i]->setChecked(m.flags.count(analysis::FigureTable::flags()[i].name) > 0);
    }
    auto chooseWay = [](QComboBox* box, int way) {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(way > 0 ? 1 : (way < 0 ? 2 : 0));
    };
    chooseWay(m_cross, m.cross);
    for (std::size_t c = 0; c < m_crosses.size(); ++c) {
        const auto it = m.crosses.find(analysis::FigureTable::crosses()[c].name);
        chooseWay(m_crosses[c], it == m.crosses.end() ? 0 : it->second);
    }
    m_figuresNote->setText(q(m.figuresNote));
    m_figuresNote->setVisible(!m.figuresNote.empty());
    // In a CSV folder the price figures are what can be searched.
    if (!m.figuresEnabled) {
        m_tabs->setCurrentIndex(1);
    }
    m_signal->setCurrentIndex(m.signal == "買" ? 1 : (m.signal == "売" ? 2 : 0));
    m_confirmed->setChecked(m.confirmed);
    choose(m_market, m.market);
    choose(m_industry, m.industry);
}

void Frm_ConditionSearch::holdSize()
{
    // Shown and laid out as the style draws it, the window takes the least size it has then;
    // after that the user's size stands, and an error line or a longer tab title takes its room
    // from the grid rather than growing the window for good.
    if (isVisible() && layout()->sizeConstraint() != QLayout::SetNoConstraint) {
        setMinimumSize(minimumSizeHint());
        layout()->setSizeConstraint(QLayout::SetNoConstraint);
    }
}

void Frm_ConditionSearch::render()
{
    holdSize();
    const auto& m = m_model;
    std::string errors;
    for (std::size_t i = 0; i < m.boxes.size(); ++i) {
        const auto& box = m.boxes[i];
        if (!box.error.empty()) {
            errors += (errors.empty() ? "" : "　") + box.caption + ": " + box.error;
        }
        UiStyle::tintRefused(m_low[i], box.badLow);
        UiStyle::tintRefused(m_high[i], box.badHigh);
    }
    for (const auto group : {ConditionSearchModel::Group::Indicators, ConditionSearchModel::Group::Technical,
             ConditionSearchModel::Group::Supply}) {
        m_tabs->setTabText(static_cast<int>(group), q(m.tabTitle(group)));
    }
    m_errors->setText(q(errors));
    m_errors->setVisible(!errors.empty());
    // A result that answers other conditions than the boxes now hold is greyed.
    m_grid->show(m.shownGrid());
    m_grid->setEnabled(!m.stale());
    // The count of that result greys with it; a message of the search now is never grey.
    m_count->setEnabled(!m.stale() || !m.message.empty());
    m_grid->horizontalHeader()->setSortIndicator(
        m.sortColumn(), m.descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_count->setText(q(m.message.empty() ? m.countLine : m.message));
    m_note->setText(q(m.note));
    m_add->setEnabled(m.grid.rows() > 1);
}

void Frm_ConditionSearch::fillChanged(bool running)
{
    m_model.setFillRunning(running);
    render();
}

void Frm_ConditionSearch::keep()
{
    readBoxes();
    const QRect at = geometry();
    m_model.placement = WindowPlacement::text({at.x(), at.y(), at.width(), at.height()});
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
