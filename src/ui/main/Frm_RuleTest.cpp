#include "Frm_RuleTest.h"

#include "GridView.h"
#include "UiStyle.h"
#include "model/ChartScale.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

namespace zuvemo::ui {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Day labels as wide as "2026-12" with room on both sides, as in the chart window.
constexpr double kMonthLabelRoom = 60;

} // namespace

Frm_RuleTest::Frm_RuleTest(std::unique_ptr<RuleTestDialogModel> model, QWidget* parent)
    : QDialog(parent, Qt::Window)
    , m_model(std::move(model))
{
    setObjectName(QStringLiteral("Frm_RuleTest"));
    setWindowTitle(q(m_model->caption));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    resize(1020, 760);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("Heading"));
    m_heading->setFont(UiStyle::proportional(10));
    m_heading->setWordWrap(true);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_heading);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("日数"), this));
    m_horizons = new QLineEdit(this);
    m_horizons->setObjectName(QStringLiteral("Horizons"));
    m_horizons->setMaximumWidth(90);
    m_horizons->setToolTip(QStringLiteral("何営業日後の終値と比べるか（カンマで区切って 3 つまで）"));
    QString horizons;
    for (int h : m_model->options().horizons) {
        horizons += (horizons.isEmpty() ? QString() : QStringLiteral(",")) + QString::number(h);
    }
    m_horizons->setText(horizons);
    row->addWidget(m_horizons);
    row->addWidget(new QLabel(QStringLiteral("買い"), this));
    m_entry = new QComboBox(this);
    m_entry->setObjectName(QStringLiteral("Entry"));
    m_entry->addItems({QStringLiteral("当日終値"), QStringLiteral("翌日始値")});
    m_entry->setCurrentIndex(m_model->options().nextOpen ? 1 : 0);
    m_entry->setToolTip(QStringLiteral("翌日始値: 引け後に選んで翌朝買う場合"));
    row->addWidget(m_entry);
    m_byYear = new QCheckBox(QStringLiteral("年ごと"), this);
    m_byYear->setObjectName(QStringLiteral("ByYear"));
    row->addWidget(m_byYear);
    m_everyDay = new QCheckBox(QStringLiteral("成り立った日ごと"), this);
    m_everyDay->setObjectName(QStringLiteral("EveryDay"));
    m_everyDay->setToolTip(QStringLiteral("外すと、条件が成り立った初日だけを数えます"));
    row->addWidget(m_everyDay);
    m_run = new QPushButton(QStringLiteral("検 証"), this);
    m_run->setObjectName(QStringLiteral("Run"));
    UiStyle::setButtonFace(m_run, GridColor::kYellow);
    row->addWidget(m_run);
    m_stop = new QPushButton(QStringLiteral("中 止"), this);
    m_stop->setObjectName(QStringLiteral("Stop"));
    row->addWidget(m_stop);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    row->addWidget(m_progress, 1);
    layout->addLayout(row);

    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("RuleGrid"));
    m_grid->setEmptyAreaColor(GridColor::kLightOrange);
    m_grid->setFillWidth(true);
    layout->addWidget(m_grid, 3);

    auto* lower = new QHBoxLayout;
    m_money = new GridView(this);
    m_money->setObjectName(QStringLiteral("MoneyGrid"));
    m_money->setEmptyAreaColor(GridColor::kLightOrange);
    m_money->setFillWidth(true);
    m_money->setMinimumWidth(330);
    m_money->setMaximumWidth(330);
    lower->addWidget(m_money);
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 2, 4, 2));
    chart->legend()->setFont(UiStyle::proportional(8));
    chart->legend()->setAlignment(Qt::AlignTop);
    m_chart = new QChartView(chart, this);
    m_chart->setObjectName(QStringLiteral("EquityChart"));
    m_chart->setMinimumHeight(220);
    lower->addWidget(m_chart, 1);
    layout->addLayout(lower, 2);

    auto* bottom = new QHBoxLayout;
    m_limits = new QLabel(this);
    m_limits->setObjectName(QStringLiteral("Limits"));
    m_limits->setFont(UiStyle::proportional(9));
    m_limits->setWordWrap(true);
    bottom->addWidget(m_limits, 1);
    m_close = new QPushButton(QStringLiteral("閉じる"), this);
    m_close->setObjectName(QStringLiteral("Close"));
    UiStyle::setButtonFace(m_close, GridColor::kYellow);
    bottom->addWidget(m_close);
    layout->addLayout(bottom);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Frm_RuleTest::poll);
    connect(m_run, &QPushButton::clicked, this, &Frm_RuleTest::runTest);
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

void Frm_RuleTest::runTest()
{
    if (!m_model->setHorizons(m_horizons->text().toStdString())) {
        m_progress->setText(q(m_model->message));
        m_progress->setStyleSheet(QStringLiteral("color: #C00000"));
        return;
    }
    m_model->setNextOpen(m_entry->currentIndex() == 1);
    m_model->setByYear(m_byYear->isChecked());
    m_model->setEveryDay(m_everyDay->isChecked());
    m_model->start();
    m_timer->start();
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
    if (running) {
        return;
    }
    m_heading->setText(q(m_model->heading));
    m_limits->setText(q(m_model->limits));
    m_grid->show(m_model->grid);
    m_money->show(m_model->money);

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
    auto line = [](const QString& name, const std::vector<double>& values, const QColor& colour) {
        auto* series = new QLineSeries;
        series->setName(name);
        QList<QPointF> points;
        for (std::size_t i = 0; i < values.size(); ++i) {
            points.append(QPointF(static_cast<double>(i), values[i]));
        }
        series->replace(points);
        QPen pen(colour);
        pen.setWidthF(1.5);
        series->setPen(pen);
        return series;
    };
    auto* mine = line(QStringLiteral("この条件"), m_model->equity, QColor(0xC0, 0x30, 0x30));
    auto* all = line(QStringLiteral("市場（全銘柄均等）"), m_model->market, QColor(0x1F, 0x4E, 0x79));
    chart->addSeries(all);
    chart->addSeries(mine);
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setLabelsFont(UiStyle::proportional(8));
    x->setGridLineVisible(false);
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
    auto* y = new QValueAxis;
    y->setLabelsFont(UiStyle::proportional(8));
    y->setGridLineColor(QColor(0xE0, 0xE0, 0xE0));
    const auto extent = ChartScale::extent(
        {&m_model->equity, &m_model->market}, 0, static_cast<int>(dates.size()) - 1, false);
    const auto range = ChartScale::fit(extent.lo, extent.hi, false,
        ChartScale::ticksFor(std::max(120, m_chart->height() - 60), QFontMetricsF(y->labelsFont()).height()));
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(range.min);
    y->setTickInterval(range.step);
    y->setRange(range.min, range.max);
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* series : {mine, all}) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

} // namespace zuvemo::ui
