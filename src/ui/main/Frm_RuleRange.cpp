#include "Frm_RuleRange.h"

#include "Frm_RuleTest.h"
#include "GridView.h"
#include "HeatMapView.h"
#include "UiStyle.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace zuvemo::ui {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

QLineEdit* rangeBox(const QString& text, const QString& tip, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent); // owned by parent
    box->setMaximumWidth(70);
    box->setAlignment(Qt::AlignRight);
    box->setToolTip(tip);
    return box;
}

} // namespace

Frm_RuleRange::Frm_RuleRange(
    std::filesystem::path programFolder, std::unique_ptr<RuleRangeModel> model, QWidget* parent)
    : QDialog(parent, Qt::Window)
    , m_folder(std::move(programFolder))
    , m_model(std::move(model))
{
    setObjectName(QStringLiteral("Frm_RuleRange"));
    setWindowTitle(QStringLiteral("範囲で試す"));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    resize(1180, 860);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    // A range beside each bound: FROM alone keeps the bound as it is.
    auto* fields = new QGridLayout; // owned by the layout
    fields->addWidget(new QLabel(QStringLiteral("始め"), this), 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("終わり"), this), 0, 2);
    fields->addWidget(new QLabel(QStringLiteral("刻み"), this), 0, 3);
    int row = 1;
    for (const auto& f : m_model->fields) {
        fields->addWidget(new QLabel(q(f.heading), this), row, 0);
        FieldBoxes boxes{
            rangeBox(q(f.from), QStringLiteral("範囲の始め（終わりが空ならこの値のまま）"), this),
            rangeBox(q(f.to), QStringLiteral("範囲の終わり"), this),
            rangeBox(q(f.step), QStringLiteral("刻み（空なら 1）"), this)};
        boxes.from->setObjectName(q("From_" + f.bound));
        boxes.to->setObjectName(q("To_" + f.bound));
        boxes.step->setObjectName(q("Step_" + f.bound));
        fields->addWidget(boxes.from, row, 1);
        fields->addWidget(boxes.to, row, 2);
        fields->addWidget(boxes.step, row, 3);
        m_fields.push_back(boxes);
        ++row;
    }
    auto* top = new QHBoxLayout; // owned by the layout
    top->addLayout(fields);
    auto* choices = new QVBoxLayout; // owned by the layout
    auto* objective = new QHBoxLayout; // owned by the layout
    objective->addWidget(new QLabel(QStringLiteral("良さの基準"), this));
    m_objective = new QComboBox(this);
    m_objective->setObjectName(QStringLiteral("Objective"));
    m_objective->addItems(
        {QStringLiteral("シャープレシオ"), QStringLiteral("総リターン"), QStringLiteral("平均超過リターン")});
    objective->addWidget(m_objective);
    choices->addLayout(objective);
    auto* walk = new QHBoxLayout; // owned by the layout
    walk->addWidget(new QLabel(QStringLiteral("ウォークフォワード"), this));
    m_walkForward = new QComboBox(this);
    m_walkForward->setObjectName(QStringLiteral("WalkForward"));
    m_walkForward->addItem(QStringLiteral("なし"), 0);
    for (int k = 2; k <= 10; ++k) {
        m_walkForward->addItem(QString::number(k) + QStringLiteral(" 回"), k);
    }
    m_walkForward->setToolTip(
        QStringLiteral("期間を区切り、それまでに最も良かった設定を次の区間で使った場合"));
    walk->addWidget(m_walkForward);
    m_rolling = new QCheckBox(QStringLiteral("直前の区間だけで選ぶ"), this);
    m_rolling->setObjectName(QStringLiteral("Rolling"));
    walk->addWidget(m_rolling);
    choices->addLayout(walk);
    auto* buttons = new QHBoxLayout; // owned by the layout
    m_run = new QPushButton(QStringLiteral("検 証"), this);
    m_run->setObjectName(QStringLiteral("Run"));
    UiStyle::setButtonFace(m_run, GridColor::kYellow);
    buttons->addWidget(m_run);
    m_stop = new QPushButton(QStringLiteral("中止"), this);
    m_stop->setObjectName(QStringLiteral("Stop"));
    buttons->addWidget(m_stop);
    choices->addLayout(buttons);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setWordWrap(true);
    choices->addWidget(m_progress);
    top->addLayout(choices, 1);
    layout->addLayout(top);

    m_odds = new QLabel(this);
    m_odds->setObjectName(QStringLiteral("Odds"));
    m_odds->setWordWrap(true);
    m_odds->setFont(UiStyle::proportional(10));
    layout->addWidget(m_odds);

    auto* split = new QSplitter(Qt::Horizontal, this);
    m_grid = new GridView(split);
    m_grid->setObjectName(QStringLiteral("Variants"));
    m_grid->horizontalHeader()->setSectionsClickable(true);
    m_grid->setToolTip(
        QStringLiteral("見出しをクリックすると並べ替え、行をダブルクリックするとその設定の結果を開きます"));
    auto* right = new QWidget(split);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    m_heatMap = new HeatMapView(right);
    rightLayout->addWidget(m_heatMap, 1);
    auto* chart = new QChart; // owned by the view
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart = new QChartView(chart, right);
    m_chart->setObjectName(QStringLiteral("WalkForwardChart"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    rightLayout->addWidget(m_chart, 1);
    m_walkText = new QLabel(right);
    m_walkText->setObjectName(QStringLiteral("WalkForwardText"));
    m_walkText->setWordWrap(true);
    rightLayout->addWidget(m_walkText);
    split->addWidget(m_grid);
    split->addWidget(right);
    layout->addWidget(split, 1);

    m_historyHeading = new QLabel(this);
    m_historyHeading->setObjectName(QStringLiteral("HistoryHeading"));
    layout->addWidget(m_historyHeading);
    m_history = new QListWidget(this);
    m_history->setObjectName(QStringLiteral("History"));
    m_history->setMaximumHeight(110);
    layout->addWidget(m_history);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Frm_RuleRange::poll);
    connect(m_run, &QPushButton::clicked, this, &Frm_RuleRange::runTest);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_model->stop();
        poll();
    });
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_model->sortBy(column);
        m_grid->show(m_model->grid);
    });
    connect(m_grid, &GridView::rowDoubleClicked, this, [this](int row) {
        const auto& r = m_model->result();
        // The grid's rows stand in its own order: the settings of the row tell the variant.
        if (row < 1 || row >= m_model->grid.rows()) {
            return;
        }
        for (std::size_t v = 0; v < r.rows.size(); ++v) {
            bool same = true;
            for (std::size_t k = 0; k < r.bounds.size(); ++k) {
                same = same && m_model->grid.cell(row, static_cast<int>(k)).text == r.rows[v].settings[k];
            }
            if (same) {
                openVariant(v);
                return;
            }
        }
    });
    connect(m_heatMap, &HeatMapView::cellClicked, this, [this](int x, int y) {
        const auto& map = m_model->heatMap;
        if (map && y >= 0 && x >= 0 && static_cast<std::size_t>(y) < map->variant.size()
            && static_cast<std::size_t>(x) < map->variant[static_cast<std::size_t>(y)].size()) {
            openVariant(map->variant[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
        }
    });
    m_model->loadHistory();
    render();
}

Frm_RuleRange::~Frm_RuleRange()
{
    m_timer->stop();
    m_model->stop();
}

void Frm_RuleRange::done(int result)
{
    m_timer->stop();
    m_model->stop();
    QDialog::done(result);
}

void Frm_RuleRange::runTest()
{
    for (std::size_t i = 0; i < m_fields.size() && i < m_model->fields.size(); ++i) {
        auto& f = m_model->fields[i];
        f.from = m_fields[i].from->text().trimmed().toStdString();
        f.to = m_fields[i].to->text().trimmed().toStdString();
        f.step = m_fields[i].step->text().trimmed().toStdString();
    }
    m_model->objective = static_cast<analysis::RuleGrid::Objective>(m_objective->currentIndex());
    m_model->walkForward = m_walkForward->currentData().toInt();
    m_model->rolling = m_rolling->isChecked();
    if (!m_model->start()) {
        render();
        return;
    }
    m_timer->start();
    render();
}

void Frm_RuleRange::poll()
{
    if (m_model->poll()) {
        m_timer->stop();
    }
    render();
}

void Frm_RuleRange::openVariant(std::size_t variant)
{
    const auto options = m_model->optionsOf(variant);
    auto model = std::make_unique<RuleTestDialogModel>(
        m_folder, options, RuleTestDialogModel::describe(options.conditions));
    auto* window = new Frm_RuleTest(std::move(model), this); // deleted on close
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->runTest();
}

void Frm_RuleRange::render()
{
    const bool running = m_model->running();
    m_run->setEnabled(!running);
    m_stop->setEnabled(running);
    m_progress->setText(q(m_model->message.empty() ? m_model->progress : m_model->message));
    QString odds;
    for (const auto& line : m_model->odds) {
        odds += (odds.isEmpty() ? QString() : QStringLiteral("\n")) + q(line);
    }
    m_odds->setText(odds);
    m_grid->show(m_model->grid);
    m_heatMap->show(m_model->heatMap);
    m_walkText->setText(q(m_model->walkText));
    m_historyHeading->setText(q(m_model->historyHeading));
    m_history->clear();
    for (const auto& line : m_model->history) {
        m_history->addItem(q(line));
    }
    renderChart();
}

void Frm_RuleRange::renderChart()
{
    auto* chart = m_chart->chart();
    chart->removeAllSeries();
    for (auto* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    if (m_model->walkLine.empty()) {
        chart->setTitle(QStringLiteral("ウォークフォワードを選ぶと、検証外の成績を表示します"));
        return;
    }
    chart->setTitle(QString());
    auto* x = new QValueAxis; // owned by the chart once added
    x->setRange(0, static_cast<double>(m_model->walkLine.size() - 1));
    x->setLabelFormat(QStringLiteral("%d"));
    x->setTitleText(q(m_model->walkDates.front() + " 〜 " + m_model->walkDates.back()));
    auto* y = new QValueAxis; // owned by the chart once added
    y->setLabelFormat(QStringLiteral("%.0f"));
    double lo = m_model->walkLine.front(), hi = lo;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto line = [&](const QString& name, const std::vector<double>& values, const QColor& colour) {
        if (values.empty()) {
            return;
        }
        auto* series = new QLineSeries; // owned by the chart once added
        series->setName(name);
        for (std::size_t i = 0; i < values.size(); ++i) {
            series->append(static_cast<double>(i), values[i]);
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
        QPen pen(colour);
        pen.setWidthF(2);
        series->setPen(pen);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    };
    line(QStringLiteral("市場（全銘柄均等）"), m_model->marketLine, QColor(0x1F, 0x4E, 0x9F));
    line(QStringLiteral("TOPIX"), m_model->topixLine, QColor(0x2E, 0x8B, 0x3A));
    line(QStringLiteral("ウォークフォワード"), m_model->walkLine, QColor(0xC0, 0x20, 0x20));
    y->setRange(lo - (hi - lo) * 0.05 - 1, hi + (hi - lo) * 0.05 + 1);
}

} // namespace zuvemo::ui
