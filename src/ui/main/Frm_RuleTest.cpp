#include "Frm_RuleTest.h"

#include "Frm_RuleRange.h"
#include "GridView.h"
#include "Twips.h"
#include "UiStyle.h"
#include "model/ChartScale.h"
#include "model/MoneyAxis.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace zuvemo::ui {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Day labels as wide as "2026-12" with room on both sides, as in the chart window.
constexpr double kMonthLabelRoom = 60;
// The lines stand out from the pale grid: saturated and wider than it.
const QColor kEquityColour(0xC0, 0x20, 0x20);
const QColor kMarketColour(0x1F, 0x4E, 0x9F);
const QColor kTopixColour(0x2E, 0x8B, 0x3A);
const QColor kGridColour(0xE4, 0xE4, 0xE4);
// The money's columns and a vertical scroll bar beside them for the years.
int moneyWidth(const GridData& money)
{
    int twips = 0;
    for (int c = 0; c < money.cols(); ++c) {
        twips += money.column(c).widthTwips;
    }
    return px(twips) + 24;
}
const QString kDividendsTip
    = QStringLiteral("権利落ち日に、持っている株の配当を受け取ったものとして加えます");

QLineEdit* numberBox(const QString& name, int width, const QString& tip, QWidget* parent)
{
    auto* box = new QLineEdit(parent); // owned by parent
    box->setObjectName(name);
    box->setMaximumWidth(width);
    box->setAlignment(Qt::AlignRight);
    box->setToolTip(tip);
    return box;
}

// A line of text that wraps within the window.
QLabel* textLine(const QString& name, double points, QWidget* parent)
{
    auto* line = new QLabel(parent); // owned by parent
    line->setObjectName(name);
    line->setFont(UiStyle::proportional(points));
    line->setWordWrap(true);
    return line;
}

} // namespace

Frm_RuleTest::Frm_RuleTest(std::unique_ptr<RuleTestDialogModel> model, QWidget* parent)
    : QDialog(parent, Qt::Window)
    , m_model(std::move(model))
{
    setObjectName(QStringLiteral("Frm_RuleTest"));
    setWindowTitle(q(m_model->caption));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    resize(1080, 800);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    m_heading = textLine(QStringLiteral("Heading"), 10, this);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_heading);

    auto* row = new QHBoxLayout; // owned by the layout
    row->addWidget(new QLabel(QStringLiteral("日数"), this));
    m_horizons = numberBox(QStringLiteral("Horizons"), 90,
        QStringLiteral("何営業日後の終値と比べるか（カンマで区切って 3 つまで）"), this);
    m_horizons->setAlignment(Qt::AlignLeft);
    row->addWidget(m_horizons);
    row->addWidget(new QLabel(QStringLiteral("買い"), this));
    m_entry = new QComboBox(this);
    m_entry->setObjectName(QStringLiteral("Entry"));
    m_entry->addItems({QStringLiteral("当日終値"), QStringLiteral("翌日始値")});
    m_entry->setToolTip(QStringLiteral("翌日始値: 引け後に選んで翌朝買う場合"));
    row->addWidget(m_entry);
    m_byYear = new QCheckBox(QStringLiteral("年ごと"), this);
    m_byYear->setObjectName(QStringLiteral("ByYear"));
    row->addWidget(m_byYear);
    m_everyDay = new QCheckBox(QStringLiteral("成り立った日ごと"), this);
    m_everyDay->setObjectName(QStringLiteral("EveryDay"));
    m_everyDay->setToolTip(QStringLiteral("外すと、条件が成り立った初日だけを数えます"));
    row->addWidget(m_everyDay);
    row->addWidget(new QLabel(QStringLiteral("市場"), this));
    m_market = new QComboBox(this);
    m_market->setObjectName(QStringLiteral("Market"));
    m_market->addItem(QStringLiteral("全市場"), QString());
    for (const auto& name : m_model->markets) {
        m_market->addItem(q(name), q(name));
    }
    m_market->setToolTip(
        QStringLiteral("以前の市場（東証一部、マザーズなど）は、銘柄の履歴にその市場がある日を検証します"));
    row->addWidget(m_market);
    m_run = new QPushButton(QStringLiteral("検 証"), this);
    m_run->setObjectName(QStringLiteral("Run"));
    UiStyle::setButtonFace(m_run, GridColor::kYellow);
    row->addWidget(m_run);
    m_stop = new QPushButton(QStringLiteral("中 止"), this);
    m_stop->setObjectName(QStringLiteral("Stop"));
    row->addWidget(m_stop);
    m_range = new QPushButton(QStringLiteral("範囲で試す"), this);
    m_range->setObjectName(QStringLiteral("Range"));
    m_range->setToolTip(QStringLiteral("条件の値を範囲で変えて、すべての組み合わせを一度に検証します"));
    row->addWidget(m_range);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setWordWrap(true);
    row->addWidget(m_progress, 1);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(140, 14);
    m_bar->setRange(0, 1000);
    row->addWidget(m_bar);
    layout->addLayout(row);

    // The money's settings, on a line of their own under the rows'.
    auto* money = new QHBoxLayout; // owned by the layout
    money->addWidget(new QLabel(QStringLiteral("運用: 保有日数"), this));
    m_hold = numberBox(
        QStringLiteral("Hold"), 50, QStringLiteral("買ってから売るまでの営業日数（1〜250）"), this);
    money->addWidget(m_hold);
    money->addWidget(new QLabel(QStringLiteral("日　枠数"), this));
    m_slots = numberBox(QStringLiteral("Slots"), 50, QStringLiteral("同時に持つ銘柄の数の上限"), this);
    money->addWidget(m_slots);
    money->addWidget(new QLabel(QStringLiteral("元手"), this));
    m_capital = numberBox(QStringLiteral("Capital"), 110, QStringLiteral("10,000 円以上"), this);
    money->addWidget(m_capital);
    money->addWidget(new QLabel(QStringLiteral("円　単元"), this));
    m_lot = new QComboBox(this);
    m_lot->setObjectName(QStringLiteral("Lot"));
    m_lot->addItem(QStringLiteral("1 株"), 1);
    m_lot->addItem(QStringLiteral("100 株"), 100);
    m_lot->setToolTip(QStringLiteral("100 株: 取引所の売買単位で買う場合"));
    money->addWidget(m_lot);
    money->addWidget(new QLabel(QStringLiteral("手数料 片道"), this));
    m_cost = numberBox(QStringLiteral("Cost"), 50,
        QStringLiteral("売買代金に対する片道の手数料（0〜%1 %）").arg(RuleTestDialogModel::kMaxCostPercent),
        this);
    money->addWidget(m_cost);
    money->addWidget(new QLabel(QStringLiteral("%"), this));
    m_dividends = new QCheckBox(QStringLiteral("配当込み"), this);
    m_dividends->setObjectName(QStringLiteral("Dividends"));
    money->addWidget(m_dividends);
    m_tax = new QCheckBox(QStringLiteral("税引後"), this);
    m_tax->setObjectName(QStringLiteral("Tax"));
    m_tax->setToolTip(
        QStringLiteral("年ごとの実現益に 20.315% の税金を払います（損失の繰越控除は含みません）"));
    money->addWidget(m_tax);
    money->addStretch(1);
    layout->addLayout(money);

    const auto boxes = m_model->boxes();
    m_horizons->setText(q(boxes.horizons));
    m_entry->setCurrentIndex(boxes.nextOpen ? 1 : 0);
    m_byYear->setChecked(boxes.byYear);
    m_everyDay->setChecked(boxes.everyDay);
    m_hold->setText(q(boxes.hold));
    m_slots->setText(q(boxes.slotCount));
    m_capital->setText(q(boxes.capital));
    m_lot->setCurrentIndex(boxes.lot == 100 ? 1 : 0);
    m_cost->setText(q(boxes.cost));
    m_tax->setChecked(boxes.tax);
    // A market of the conditions the store no longer names stays choosable.
    if (m_market->findData(q(boxes.market)) < 0) {
        m_market->addItem(q(boxes.market), q(boxes.market));
    }
    m_market->setCurrentIndex(m_market->findData(q(boxes.market)));

    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("RuleGrid"));
    m_grid->setEmptyAreaColor(GridColor::kLightOrange);
    m_grid->setFillWidth(true);
    layout->addWidget(m_grid, 1);

    auto* lower = new QHBoxLayout; // owned by the layout
    auto* left = new QVBoxLayout; // owned by lower
    m_moneyHeading = textLine(QStringLiteral("MoneyHeading"), 9, this);
    m_moneyHeading->setFixedWidth(moneyWidth(m_model->money));
    left->addWidget(m_moneyHeading);
    m_money = new GridView(this);
    m_money->setObjectName(QStringLiteral("MoneyGrid"));
    m_money->setEmptyAreaColor(GridColor::kLightOrange);
    m_money->setFillWidth(true);
    m_money->setFixedWidth(moneyWidth(m_model->money));
    left->addWidget(m_money, 1);
    lower->addLayout(left);
    auto* chart = new QChart; // owned by the view
    chart->setMargins(QMargins(4, 2, 4, 2));
    chart->legend()->setFont(UiStyle::proportional(9));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    m_chart = new QChartView(chart, this);
    m_chart->setObjectName(QStringLiteral("EquityChart"));
    m_chart->setMinimumHeight(240);
    lower->addWidget(m_chart, 1);
    layout->addLayout(lower, 1);

    auto* bottom = new QHBoxLayout; // owned by the layout
    m_limits = textLine(QStringLiteral("Limits"), 9, this);
    bottom->addWidget(m_limits, 1);
    m_close = new QPushButton(QStringLiteral("閉じる"), this);
    m_close->setObjectName(QStringLiteral("Close"));
    UiStyle::setDialogButton(m_close, GridColor::kYellow);
    bottom->addWidget(m_close);
    layout->addLayout(bottom);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Frm_RuleTest::poll);
    connect(m_run, &QPushButton::clicked, this, &Frm_RuleTest::runTest);
    connect(m_range, &QPushButton::clicked, this, &Frm_RuleTest::openRange);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_model->stop();
        poll();
        m_grid->setFocus();
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    render();
}

Frm_RuleTest::~Frm_RuleTest()
{
    m_model->stop();
}

void Frm_RuleTest::done(int result)
{
    m_model->stop();
    m_timer->stop();
    QDialog::done(result);
}

QWidget* Frm_RuleTest::boxOf(RuleTestDialogModel::Box box) const
{
    using Box = RuleTestDialogModel::Box;
    switch (box) {
    case Box::Horizons:
        return m_horizons;
    case Box::Hold:
        return m_hold;
    case Box::Slots:
        return m_slots;
    case Box::Capital:
        return m_capital;
    case Box::Cost:
        return m_cost;
    default:
        return nullptr;
    }
}

RuleTestDialogModel::Boxes Frm_RuleTest::typedBoxes() const
{
    RuleTestDialogModel::Boxes boxes;
    boxes.horizons = m_horizons->text().toStdString();
    boxes.nextOpen = m_entry->currentIndex() == 1;
    boxes.byYear = m_byYear->isChecked();
    boxes.everyDay = m_everyDay->isChecked();
    boxes.hold = m_hold->text().toStdString();
    boxes.slotCount = m_slots->text().toStdString();
    boxes.capital = m_capital->text().toStdString();
    boxes.lot = m_lot->currentData().toInt();
    boxes.cost = m_cost->text().toStdString();
    boxes.dividends = m_dividends->isChecked();
    boxes.tax = m_tax->isChecked();
    boxes.market = m_market->currentData().toString().toStdString();
    return boxes;
}

void Frm_RuleTest::runTest()
{
    const bool started = m_model->run(typedBoxes());
    for (auto* box : {m_horizons, m_hold, m_slots, m_capital, m_cost}) {
        UiStyle::tintRefused(box, box == boxOf(m_model->fault));
    }
    if (!started) {
        m_progress->setText(q(m_model->message));
        m_progress->setStyleSheet(QStringLiteral("color: #C00000"));
        if (auto* box = boxOf(m_model->fault)) {
            box->setFocus();
        }
        return;
    }
    m_timer->start();
    render();
}

void Frm_RuleTest::showReport(analysis::TrackReport report)
{
    m_model->show(std::move(report));
    render();
}

void Frm_RuleTest::poll()
{
    if (m_model->poll()) {
        m_timer->stop();
    }
    render();
}

void Frm_RuleTest::render()
{
    const bool running = m_model->running();
    m_run->setEnabled(!running);
    m_stop->setEnabled(running);
    m_progress->setStyleSheet(
        m_model->message.empty() || running ? QString() : QStringLiteral("color: #C00000"));
    m_progress->setText(q(running ? m_model->progress : m_model->message));
    // Until the share can be estimated the bar only says that the test runs.
    m_bar->setVisible(running);
    m_bar->setMaximum(m_model->progressShare < 0 ? 0 : 1000);
    m_bar->setValue(m_model->progressShare < 0 ? 0 : static_cast<int>(m_model->progressShare * 1000));
    if (running) {
        return;
    }
    setWindowTitle(q(m_model->caption));
    // Checked as the test ran; off, and saying why, where the store keeps no dividend.
    const bool stored = m_model->dividendsStored;
    m_dividends->setEnabled(stored);
    m_dividends->setChecked(stored && m_model->boxes().dividends);
    m_dividends->setToolTip(stored ? kDividendsTip : q(RuleTestDialogModel::kNoDividendsTip));
    // No line at all before the first result: an empty one would stand as a blank band.
    m_heading->setText(q(m_model->heading));
    m_heading->setVisible(!m_model->heading.empty());
    m_limits->setText(q(m_model->limits));
    // Each setting's figure and unit kept on one line.
    m_moneyHeading->setText(q(m_model->moneyHeading).replace(QLatin1Char(' '), QChar(0xA0)));
    m_moneyHeading->setVisible(!m_model->moneyHeading.empty());
    m_grid->show(m_model->grid);
    m_money->show(m_model->money);
    if (const int width = moneyWidth(m_model->money); width != m_money->width()) {
        m_moneyHeading->setFixedWidth(width);
        m_money->setFixedWidth(width);
        // The chart's labels are spaced for its width: the one it has beside the new money.
        layout()->activate();
    }
    renderChart();
}

void Frm_RuleTest::openRange()
{
    // The boxes as they stand now: the range varies the rule as it would be tested.
    if (!m_model->take(typedBoxes())) {
        m_progress->setText(q(m_model->message));
        m_progress->setStyleSheet(QStringLiteral("color: #C00000"));
        return;
    }
    auto* window = new Frm_RuleRange(m_model->folder(),
        std::make_unique<RuleRangeModel>(m_model->folder(), m_model->options()), this); // deleted on close
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void Frm_RuleTest::renderChart()
{
    auto* chart = m_chart->chart();
    chart->removeAllSeries();
    for (auto* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const auto& dates = m_model->dates;
    if (dates.empty()) {
        return;
    }
    auto line
        = [](const QString& name, const std::vector<double>& values, const QColor& colour, double width) {
              auto* series = new QLineSeries; // owned by the chart once added
              series->setName(name);
              QList<QPointF> points;
              for (std::size_t i = 0; i < values.size(); ++i) {
                  // A day without the value (TOPIX not stored) is bridged.
                  if (std::isfinite(values[i])) {
                      points.append(QPointF(static_cast<double>(i), values[i]));
                  }
              }
              series->replace(points);
              QPen pen(colour);
              pen.setWidthF(width);
              series->setPen(pen);
              return series;
          };
    auto* mine = line(QStringLiteral("この条件"), m_model->equity, kEquityColour, 2.5);
    auto* all = line(QStringLiteral("市場（全銘柄均等）"), m_model->market, kMarketColour, 2);
    std::vector<QLineSeries*> lines{all};
    if (!m_model->topix.empty()) {
        lines.push_back(line(QStringLiteral("TOPIX"), m_model->topix, kTopixColour, 2));
    }
    // The rule's line drawn last, over the others.
    lines.push_back(mine);
    for (auto* series : lines) {
        chart->addSeries(series);
    }
    QPen grid(kGridColour);
    grid.setWidth(1);
    auto* x = new QCategoryAxis; // owned by the chart once added
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setLabelsFont(UiStyle::proportional(8));
    x->setGridLineVisible(false);
    x->setLinePen(grid);
    const double last = static_cast<double>(dates.size() - 1);
    x->setRange(0, std::max(1.0, last));
    const double width = std::max(100.0, static_cast<double>(m_chart->width()) - 120);
    for (const auto& month :
        ChartScale::months(dates, 0, last, width / std::max(1.0, last), kMonthLabelRoom)) {
        if (month.labelled) {
            x->append(q(month.label), month.day);
        }
    }
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QCategoryAxis; // owned by the chart once added
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    y->setLabelsFont(UiStyle::proportional(8));
    y->setGridLinePen(grid);
    y->setLinePen(grid);
    const auto extent = ChartScale::extent(
        {&m_model->equity, &m_model->market, &m_model->topix}, 0, static_cast<int>(dates.size()) - 1, false);
    const auto scale = MoneyAxis::fit(extent.lo, extent.hi,
        ChartScale::ticksFor(std::max(120, m_chart->height() - 60), QFontMetricsF(y->labelsFont()).height()));
    // A category ends at each tick: the first, at the axis's foot, needs a start below it.
    y->setStartValue(scale.min - scale.step / 1000);
    for (const auto& tick : scale.ticks) {
        y->append(q(tick.label), tick.value);
    }
    y->setRange(scale.min, scale.max);
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* series : lines) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

} // namespace zuvemo::ui
