#include "Frm_Chart.h"

#include "ChartBarsItem.h"
#include "ElidedLabel.h"
#include "SaveFileDialog.h"
#include "UiStyle.h"
#include "core/Connection.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "model/ChartScale.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QByteArray>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zuvemo::ui {

namespace {

constexpr int kMinimumDays = 10;
// The bars a period opens on: a year of days, five years of weeks, ten of months.
constexpr int kOpeningBars[] = {250, 260, 120};

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

bool defined(double v)
{
    return std::isfinite(v);
}

// The axis on the range's ticks, its labels with the digits the ticks need (at least
// minDecimals), thousands grouped.
void setRange(QValueAxis* axis, const ChartScale::Range& range, int minDecimals)
{
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(range.step);
    axis->setRange(range.min, range.max);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(std::max(minDecimals, range.decimals)));
}

const QMargins kChartMargins(4, 2, 4, 2);
// Axis labels as wide as "2026-12" with room on both sides.
constexpr double kMonthLabelRoom = 60;
// Below this a chart's legend and axes would cover its plot.
constexpr int kMinimumWidth = 640;
constexpr int kMinimumHeight = 820;

// A line through the defined values; each stretch without one ends the line there, as the
// charts draw a series of points as one path.
QList<QPointF> points(const std::vector<double>& values, double offset = 0, double scale = 1)
{
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (defined(values[i])) {
            out.append(QPointF(static_cast<double>(i), values[i] * scale + offset));
        }
    }
    return out;
}

std::vector<double> shifted(const std::vector<double>& mid, const std::vector<double>& sigma, double k)
{
    std::vector<double> out(mid.size());
    for (std::size_t i = 0; i < mid.size(); ++i) {
        out[i] = mid[i] + k * sigma[i];
    }
    return out;
}

const QColor kVolumeBlue(0x9D, 0xC3, 0xE6);
const QColor kBandGrey(0xD9, 0xD9, 0xD9);
const QColor kMeanColours[] = {QColor(0xB8, 0x86, 0x0B), QColor(0x8E, 0x44, 0xAD), QColor(0x00, 0x8B, 0x8B)};

} // namespace

Frm_Chart::Frm_Chart(exporting::ChartData data, QWidget* parent)
    : Frm_Chart(std::move(data), ChartChoice{}, parent)
{
}

Frm_Chart::Frm_Chart(exporting::ChartData data, const ChartChoice& choice, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_data(std::move(data))
    , m_choice(choice)
{
    setObjectName(QStringLiteral("Frm_Chart"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("株価チャート ") + q(m_data.code) + QStringLiteral(" ") + q(m_data.name));
    resize(1100, 960);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    // No text decides the window's width: the top line has two lines of the room left of the
    // button, the save message a line of its own under the charts, each cut to fit.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);
    auto* top = new QHBoxLayout;
    m_dayLabel = new ElidedLabel(2, Qt::ElideRight, this);
    m_dayLabel->setObjectName(QStringLiteral("DayLabel"));
    m_dayLabel->setFont(UiStyle::proportional(10.5));
    m_saveStatus = new ElidedLabel(1, Qt::ElideMiddle, this);
    m_saveStatus->setObjectName(QStringLiteral("SaveStatus"));
    m_saveStatus->setFont(UiStyle::proportional(9));
    m_saveButton = new QPushButton(QStringLiteral("画像保存"), this);
    m_saveButton->setObjectName(QStringLiteral("SavePng"));
    m_saveButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Hidden while a picture is taken, without the charts moving into their place.
    for (QWidget* w : std::initializer_list<QWidget*>{m_saveStatus, m_saveButton}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    top->addWidget(m_dayLabel, 1);
    top->addWidget(m_saveButton, 0, Qt::AlignTop);
    layout->addLayout(top);
    layout->addWidget(buildControls());
    connect(m_saveButton, &QPushButton::clicked, this, [this] { save(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    buildPrice();
    buildVolume();
    buildStrength();
    buildRatio();
    buildMacd();
    buildRsi();
    buildStochastics();
    for (auto* view : m_views) {
        layout->addWidget(view, 20);
    }
    layout->addWidget(m_saveStatus);
    apply(true);
}

Frm_Chart::~Frm_Chart() = default;

QChart* Frm_Chart::chart(Chart which) const
{
    return m_views[which]->chart();
}

QWidget* Frm_Chart::buildControls()
{
    auto* box = new QWidget(this);
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    auto* overlays = new QHBoxLayout;
    auto* panels = new QHBoxLayout;
    rows->addLayout(overlays);
    rows->addLayout(panels);
    const QFont font = UiStyle::proportional(9);
    m_period = new QComboBox(box);
    m_period->setObjectName(QStringLiteral("Period"));
    m_period->addItems({QStringLiteral("日足"), QStringLiteral("週足"), QStringLiteral("月足")});
    m_period->setFont(font);
    overlays->addWidget(m_period);
    // The order of ChartChoice's flags: five overlays, then five panels.
    const char* names[] = {"移動平均", "ボリンジャーバンド", "一目均衡表", "売買ゾーン", "TOPIX", "出来高",
        "MACD", "RSI", "ストキャスティクス", "強弱線"};
    const char* objects[] = {"Means", "Bollinger", "Ichimoku", "Zones", "Topix", "VolumePanel", "MacdPanel",
        "RsiPanel", "StochasticsPanel", "StrengthPanel"};
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i] = new QCheckBox(QString::fromUtf8(names[i]), box);
        m_boxes[i]->setObjectName(QString::fromUtf8(objects[i]));
        m_boxes[i]->setFont(font);
        (i < 5 ? overlays : panels)->addWidget(m_boxes[i]);
        if (i == 0) {
            for (std::size_t m = 0; m < m_lengths.size(); ++m) {
                m_lengths[m] = new QSpinBox(box);
                m_lengths[m]->setObjectName(QStringLiteral("MeanLength%1").arg(m + 1));
                m_lengths[m]->setRange(1, ChartChoice::kLongestMean);
                m_lengths[m]->setFont(font);
                overlays->addWidget(m_lengths[m]);
                connect(m_lengths[m], &QSpinBox::valueChanged, this, [this] { choiceFromControls(); });
            }
        }
        connect(m_boxes[i], &QCheckBox::toggled, this, [this] { choiceFromControls(); });
    }
    m_boxes[3]->setToolTip(QStringLiteral("30日・54日平均と買ゾ・売ゾ、売買の印 (日足)"));
    m_boxes[4]->setToolTip(QStringLiteral("TOPIX の終値を表示範囲の最初の終値に合わせて重ねる"));
    m_boxes[9]->setToolTip(QStringLiteral("強弱比率と帯判定、終値と移動平均の比 (日足)"));
    overlays->addStretch(1);
    panels->addStretch(1);
    connect(m_period, &QComboBox::currentIndexChanged, this, [this] { choiceFromControls(); });
    return box;
}

void Frm_Chart::controlsFromChoice()
{
    m_applying = true;
    m_period->setCurrentIndex(static_cast<int>(m_choice.period));
    bool* flags[]
        = {&m_choice.means, &m_choice.bollinger, &m_choice.ichimoku, &m_choice.zones, &m_choice.topix,
            &m_choice.volume, &m_choice.macd, &m_choice.rsi, &m_choice.stochastics, &m_choice.strength};
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i]->setChecked(*flags[i]);
    }
    for (std::size_t m = 0; m < m_lengths.size(); ++m) {
        m_lengths[m]->setValue(m_choice.meanLengths()[m]);
        m_lengths[m]->setEnabled(m_choice.means);
    }
    // The workbook's view is of days.
    const bool days = m_choice.period == ChartChoice::Period::Day;
    m_boxes[3]->setEnabled(days);
    m_boxes[9]->setEnabled(days);
    m_applying = false;
}

void Frm_Chart::choiceFromControls()
{
    if (m_applying) {
        return;
    }
    ChartChoice next = m_choice;
    next.period = static_cast<ChartChoice::Period>(std::clamp(m_period->currentIndex(), 0, 2));
    bool* flags[] = {&next.means, &next.bollinger, &next.ichimoku, &next.zones, &next.topix, &next.volume,
        &next.macd, &next.rsi, &next.stochastics, &next.strength};
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        *flags[i] = m_boxes[i]->isChecked();
    }
    // The spin boxes show the lengths of the period shown before.
    if (next.period == m_choice.period) {
        for (std::size_t m = 0; m < m_lengths.size(); ++m) {
            next.setMeanLength(static_cast<int>(m), m_lengths[m]->value());
        }
    }
    setChoice(next);
    if (m_keep) {
        m_keep(m_choice);
    }
}

void Frm_Chart::setChoice(const ChartChoice& choice)
{
    const bool periodChanged = choice.period != m_choice.period;
    const bool lengthsChanged = choice.lengths != m_choice.lengths;
    const bool ichimokuChanged = choice.ichimoku != m_choice.ichimoku;
    m_choice = choice;
    if (periodChanged || lengthsChanged) {
        apply(periodChanged);
        return;
    }
    controlsFromChoice();
    showChosen();
    if (ichimokuChanged) {
        // The cloud ahead of the last bar comes into the range, or leaves it.
        const double span = m_last - m_first;
        const double end = lastShownBar();
        const bool atEnd = m_last >= end - ChartStudies::kShift - 0.5;
        setDayRange(atEnd ? end - span : m_first, atEnd ? end : m_last);
    } else {
        fitValueAxes();
    }
    showDay(m_shownDay);
}

void Frm_Chart::apply(bool periodChanged)
{
    m_studies = ChartStudies(m_data, m_choice);
    m_barDates.clear();
    for (const auto& b : m_studies.bars()) {
        m_barDates.push_back(b.date);
    }
    controlsFromChoice();
    fillSeries();
    showChosen();
    if (periodChanged || m_last <= m_first) {
        const int count = m_studies.count();
        const double end = lastShownBar();
        const int opening = std::min(count, kOpeningBars[static_cast<std::size_t>(m_choice.period)]);
        m_monthLabels.clear();
        setDayRange(count - 0.5 - opening, end);
        showDay(count - 1);
    } else {
        setDayRange(m_first, m_last);
        showDay(m_shownDay);
    }
}

double Frm_Chart::lastShownBar() const
{
    return m_studies.count() - 0.5 + (m_choice.ichimoku ? ChartStudies::kShift : 0);
}

QChart* Frm_Chart::newChart(Chart which, const QString& title)
{
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    // A panel under the price has the height of its legend alone: its title is its tip, its lines'
    // names say what they are.
    if (which == Price) {
        chart->setTitle(title);
        chart->setTitleFont(UiStyle::proportional(10.5, true));
    }
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setFont(UiStyle::proportional(8));
    chart->setMargins(kChartMargins);
    chart->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    chart->setLocalizeNumbers(true);
    auto* view = new QChartView(chart, this);
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setMouseTracking(true);
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
    view->setObjectName(QStringLiteral("Chart%1").arg(static_cast<int>(which)));
    view->setToolTip(title);
    // A panel has room for three value labels.
    view->setMinimumHeight(which == Price ? 200 : 100);
    view->setFrameShape(QFrame::NoFrame);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    m_views[which] = view;

    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setLabelsFont(UiStyle::proportional(8));
    x->setGridLineVisible(false);
    chart->addAxis(x, Qt::AlignBottom);
    m_xAxes[which] = x;
    auto* y = new QValueAxis;
    y->setLabelsFont(UiStyle::proportional(8));
    y->setGridLineColor(QColor(0xE0, 0xE0, 0xE0));
    chart->addAxis(y, Qt::AlignLeft);
    m_yAxes[which] = y;

    auto* cross = new QGraphicsLineItem(chart);
    cross->setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine));
    cross->setZValue(100);
    m_crossHair[which] = cross;
    return chart;
}

QLineSeries* Frm_Chart::addLine(Chart which, const QString& name, const QColor& colour, double width)
{
    auto* series = new QLineSeries;
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(width);
    series->setPen(pen);
    chart(which)->addSeries(series);
    return series;
}

void Frm_Chart::attachDays(Chart which)
{
    auto* c = chart(which);
    for (auto* series : c->series()) {
        if (series->attachedAxes().isEmpty()) {
            series->attachAxis(m_xAxes[which]);
            series->attachAxis(m_yAxes[which]);
        }
    }
}

void Frm_Chart::buildPrice()
{
    auto* c = newChart(Price, QStringLiteral("株価 (ローソク足) とテクニカル指標"));
    m_candles = new ChartBarsItem(c, m_yAxes[Price]); // owned by the chart
    // The candles are no series: the legend tells their colours by two empty ones.
    m_upLegend = new QScatterSeries;
    m_upLegend->setName(QStringLiteral("陽線"));
    m_downLegend = new QScatterSeries;
    m_downLegend->setName(QStringLiteral("陰線"));
    for (auto* legend : {m_upLegend, m_downLegend}) {
        legend->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        legend->setColor(legend == m_upLegend ? buyColour() : sellColour());
        legend->setBorderColor(legend->color());
        c->addSeries(legend);
    }
    for (std::size_t m = 0; m < m_means.size(); ++m) {
        m_means[m] = addLine(Price, {}, kMeanColours[m]);
    }
    const QColor bandColour(0x4B, 0x6E, 0xA8);
    const QString bandNames[] = {QStringLiteral("BB中心"), QStringLiteral("±1σ・2σ・3σ"),
        QStringLiteral("±2σ"), QStringLiteral("±3σ")};
    for (std::size_t b = 0; b < m_bands.size(); ++b) {
        const std::size_t k = (b + 1) / 2;
        m_bands[b] = addLine(Price, bandNames[k], bandColour, k == 0 ? 1.2 : 1);
        QPen pen = m_bands[b]->pen();
        pen.setStyle(
            k == 0 ? Qt::SolidLine : (k == 1 ? Qt::DotLine : (k == 2 ? Qt::DashLine : Qt::DashDotLine)));
        m_bands[b]->setPen(pen);
    }
    // The cloud first, so the lines lie over it.
    m_span1 = new QLineSeries;
    m_span2 = new QLineSeries;
    m_cloud = new QAreaSeries(m_span1, m_span2);
    m_cloud->setName(QStringLiteral("雲"));
    m_cloud->setBrush(QColor(0xB0, 0xB0, 0xB0, 0x60));
    m_cloud->setPen(Qt::NoPen);
    c->addSeries(m_cloud);
    m_tenkan = addLine(Price, QStringLiteral("転換線"), QColor(0xD0, 0x30, 0x60), 1.2);
    m_kijun = addLine(Price, QStringLiteral("基準線"), QColor(0x30, 0x80, 0x30), 1.2);
    auto* span1Line = addLine(Price, QStringLiteral("先行スパン1"), QColor(0xC0, 0x80, 0x40), 1);
    auto* span2Line = addLine(Price, QStringLiteral("先行スパン2"), QColor(0x60, 0x60, 0xA0), 1);
    m_lagging = addLine(Price, QStringLiteral("遅行スパン"), QColor(0x90, 0x90, 0x90), 1);
    // The lines at the cloud's edges are the spans the legend names.
    span1Line->setObjectName(QStringLiteral("Span1"));
    span2Line->setObjectName(QStringLiteral("Span2"));
    // Dashed, apart from the grey 遅行スパン which runs near it.
    m_topix = addLine(Price, QStringLiteral("TOPIX"), QColor(0x20, 0x20, 0x20), 1.2);
    m_topix->setObjectName(QStringLiteral("TopixLine"));
    QPen topixPen = m_topix->pen();
    topixPen.setStyle(Qt::DashLine);
    m_topix->setPen(topixPen);
    m_mean30 = addLine(Price, QStringLiteral("30日平均"), QColor(0xED, 0x7D, 0x31));
    m_mean54 = addLine(Price, QStringLiteral("54日平均"), QColor(0x70, 0xAD, 0x47));
    m_buyZone = new QScatterSeries;
    m_buyZone->setName(QStringLiteral("買ゾ"));
    m_sellZone = new QScatterSeries;
    m_sellZone->setName(QStringLiteral("売ゾ"));
    for (auto* zone : {m_buyZone, m_sellZone}) {
        zone->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        zone->setMarkerSize(5);
        zone->setPen(Qt::NoPen);
        zone->setColor(zone == m_buyZone ? buyColour() : sellColour());
        c->addSeries(zone);
    }
    attachDays(Price);
    // The −kσ lines share the legend's line of their +kσ.
    for (std::size_t b = 2; b < m_bands.size(); b += 2) {
        for (auto* marker : c->legend()->markers(m_bands[b])) {
            marker->setVisible(false);
        }
    }
    for (auto* marker : c->legend()->markers(m_cloud)) {
        marker->setVisible(false);
    }
}

void Frm_Chart::buildVolume()
{
    auto* c = newChart(Volume, QStringLiteral("出来高"));
    m_volumeBars = new ChartBarsItem(c, m_yAxes[Volume]);
    auto* legend = new QScatterSeries;
    legend->setName(QStringLiteral("出来高"));
    legend->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    legend->setColor(kVolumeBlue);
    legend->setBorderColor(kVolumeBlue);
    c->addSeries(legend);
    m_volumeMean = addLine(Volume, QStringLiteral("30日平均"), QColor(0xC0, 0x00, 0x00));
    attachDays(Volume);
}

void Frm_Chart::buildStrength()
{
    auto* c = newChart(Strength, QStringLiteral("強弱比率と帯判定"));
    // The flag is a shade behind the lines: an axis of its own, 0 to 1, that shows nothing.
    auto* flagAxis = new QValueAxis;
    flagAxis->setRange(0, 1);
    flagAxis->setVisible(false);
    c->addAxis(flagAxis, Qt::AlignRight);
    m_bandBars = new ChartBarsItem(c, flagAxis);
    m_bandBars->setZValue(3.4);
    auto* legend = new QScatterSeries;
    legend->setName(QStringLiteral("帯判定 (強弱比率)"));
    legend->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    legend->setColor(kBandGrey);
    legend->setBorderColor(kBandGrey);
    c->addSeries(legend);
    m_strength[0] = addLine(Strength, QStringLiteral("短期強弱"), QColor(0x2E, 0x75, 0xB6));
    m_strength[1] = addLine(Strength, QStringLiteral("14日強弱"), QColor(0xC5, 0x5A, 0x11));
    attachDays(Strength);
}

void Frm_Chart::buildRatio()
{
    newChart(Ratio, QStringLiteral("終値と移動平均の比 (1.00 = 平均と同じ)"));
    m_ratios[0] = addLine(Ratio, QStringLiteral("終値÷6日平均"), QColor(0x2E, 0x75, 0xB6));
    m_ratios[1] = addLine(Ratio, QStringLiteral("終値÷30日平均"), QColor(0xED, 0x7D, 0x31));
    m_ratios[2] = addLine(Ratio, QStringLiteral("終値÷54日平均"), QColor(0x70, 0xAD, 0x47));
    attachDays(Ratio);
}

void Frm_Chart::buildMacd()
{
    auto* c = newChart(Macd, QStringLiteral("MACD (12, 26, 9)"));
    m_macdBars = new ChartBarsItem(c, m_yAxes[Macd]);
    auto* legend = new QScatterSeries;
    legend->setName(QStringLiteral("ヒストグラム"));
    legend->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    legend->setColor(QColor(0xA0, 0xA0, 0xA0));
    legend->setBorderColor(legend->color());
    c->addSeries(legend);
    m_macdLines[0] = addLine(Macd, QStringLiteral("MACD (12, 26)"), QColor(0xC0, 0x30, 0x30));
    m_macdLines[1] = addLine(Macd, QStringLiteral("シグナル (9)"), QColor(0x30, 0x60, 0xC0));
    attachDays(Macd);
}

void Frm_Chart::buildRsi()
{
    newChart(Rsi, QStringLiteral("RSI (14)"));
    m_rsi = addLine(Rsi, QStringLiteral("RSI (14)"), QColor(0x80, 0x30, 0xA0));
    attachDays(Rsi);
}

void Frm_Chart::buildStochastics()
{
    newChart(Stochastics, QStringLiteral("ストキャスティクス (9, 3, 3)"));
    m_stochastics[0] = addLine(Stochastics, QStringLiteral("%K (9)"), QColor(0xC0, 0x30, 0x30));
    m_stochastics[1] = addLine(Stochastics, QStringLiteral("%D (3)"), QColor(0x30, 0x60, 0xC0));
    m_stochastics[2] = addLine(Stochastics, QStringLiteral("Slow%D (3)"), QColor(0x30, 0x90, 0x30));
    attachDays(Stochastics);
}

void Frm_Chart::fillSeries()
{
    const auto& s = m_studies;
    const bool days = s.period() == ChartChoice::Period::Day;
    std::vector<ChartBarsItem::Candle> candles;
    candles.reserve(s.bars().size());
    std::vector<bool> up;
    for (const auto& b : s.bars()) {
        candles.push_back({b.open, b.high, b.low, b.close, b.traded});
        up.push_back(b.close >= b.open);
    }
    m_candles->setCandles(std::move(candles), buyColour(), sellColour());
    m_volumeBars->setColumns(s.volume, {}, kVolumeBlue, kVolumeBlue, 0.8);
    for (std::size_t m = 0; m < m_means.size(); ++m) {
        m_means[m]->setName(QStringLiteral("MA%1").arg(s.meanLengths[m]));
        setLine(m_means[m], points(s.means[m]));
    }
    setLine(m_bands[0], points(s.bbMid));
    for (std::size_t b = 1; b < m_bands.size(); ++b) {
        // +1σ, −1σ, +2σ, …: the band's bth line.
        const std::size_t sigmas = (b + 1) / 2;
        const double k = static_cast<double>(sigmas) * (b % 2 == 1 ? 1 : -1);
        setLine(m_bands[b], points(shifted(s.bbMid, s.bbSigma, k)));
    }
    setLine(m_tenkan, points(s.tenkan));
    setLine(m_kijun, points(s.kijun));
    setLine(m_span1, points(s.span1));
    setLine(m_span2, points(s.span2));
    for (auto* series : chart(Price)->series()) {
        if (series->objectName() == QStringLiteral("Span1")) {
            setLine(static_cast<QLineSeries*>(series), points(s.span1));
        } else if (series->objectName() == QStringLiteral("Span2")) {
            setLine(static_cast<QLineSeries*>(series), points(s.span2));
        }
    }
    setLine(m_lagging, points(s.lagging));
    m_topixFrom = -1;
    scaleTopix();
    // The workbook's lines are of days.
    const std::vector<double> none;
    setLine(m_mean30, points(days ? m_data.mean30 : none));
    setLine(m_mean54, points(days ? m_data.mean54 : none));
    setLine(m_volumeMean, points(days ? m_data.volumeMean30 : none));
    m_bandBars->setColumns(days ? m_data.band : none, {}, kBandGrey, kBandGrey, 1.0);
    setLine(m_strength[0], points(days ? m_data.shortStrength : none));
    setLine(m_strength[1], points(days ? m_data.strength14 : none));
    setLine(m_ratios[0], points(days ? m_data.ratio6 : none));
    setLine(m_ratios[1], points(days ? m_data.ratio30 : none));
    setLine(m_ratios[2], points(days ? m_data.ratio54 : none));
    m_macdBars->setColumns(s.macdHist, {}, QColor(0xA0, 0xA0, 0xA0), QColor(0xA0, 0xA0, 0xA0), 0.7);
    setLine(m_macdLines[0], points(s.macd));
    setLine(m_macdLines[1], points(s.macdSignal));
    setLine(m_rsi, points(s.rsi));
    setLine(m_stochastics[0], points(s.stochK));
    setLine(m_stochastics[1], points(s.stochD));
    setLine(m_stochastics[2], points(s.slowD));
}

void Frm_Chart::scaleTopix()
{
    // Scaled anew only when the first shown bar changes, as a drag moves it.
    const int from = std::max(0, static_cast<int>(std::ceil(m_first)));
    if (from != m_topixFrom) {
        m_topixFrom = from;
        setLine(m_topix, points(m_studies.topixFrom(from)));
    }
}

void Frm_Chart::setLine(QLineSeries* series, QList<QPointF> all)
{
    auto& line = m_lines[series];
    line.all = std::move(all);
    line.from = line.to = -1;
}

void Frm_Chart::sliceLines()
{
    // A line series lays out and strokes every point it holds on each change of the range: each
    // holds the shown bars' points only, and one on either side to run on to the edge.
    for (auto& [series, line] : m_lines) {
        auto byX = [](const QPointF& p, double x) { return p.x() < x; };
        const auto from = std::lower_bound(line.all.cbegin(), line.all.cend(), std::floor(m_first) - 1, byX);
        const auto to = std::lower_bound(from, line.all.cend(), std::ceil(m_last) + 2, byX);
        const auto fromIndex = from - line.all.cbegin();
        const auto toIndex = to - line.all.cbegin();
        if (fromIndex != line.from || toIndex != line.to) {
            line.from = fromIndex;
            line.to = toIndex;
            series->replace(line.all.mid(fromIndex, toIndex - fromIndex));
        }
    }
}

void Frm_Chart::showChosen()
{
    const auto& c = m_choice;
    const bool days = c.period == ChartChoice::Period::Day;
    const bool zones = days && c.zones;
    for (auto* m : m_means) {
        m->setVisible(c.means);
    }
    for (auto* b : m_bands) {
        b->setVisible(c.bollinger);
    }
    m_topix->setVisible(c.topix);
    for (auto* series : chart(Price)->series()) {
        if (series->objectName().startsWith(QStringLiteral("Span"))) {
            series->setVisible(c.ichimoku);
        }
    }
    for (QAbstractSeries* s :
        std::initializer_list<QAbstractSeries*>{m_tenkan, m_kijun, m_lagging, m_cloud}) {
        s->setVisible(c.ichimoku);
    }
    for (QAbstractSeries* s :
        std::initializer_list<QAbstractSeries*>{m_mean30, m_mean54, m_buyZone, m_sellZone}) {
        s->setVisible(zones);
    }
    for (auto* s : m_signalSeries) {
        if (s) {
            s->setVisible(zones);
        }
    }
    // A hidden series keeps its line in the legend.
    auto* legend = chart(Price)->legend();
    for (auto* marker : legend->markers()) {
        // The band's ±σ lines share one line of the legend.
        const auto band = std::find(m_bands.begin(), m_bands.end(), marker->series()) - m_bands.begin();
        const bool shared = band >= 2 && band < static_cast<long>(m_bands.size());
        marker->setVisible(marker->series()->isVisible() && !shared && marker->series() != m_cloud);
    }
    m_volumeMean->setVisible(days);
    m_views[Volume]->setVisible(c.volume);
    m_views[Strength]->setVisible(days && c.strength);
    m_views[Ratio]->setVisible(days && c.strength);
    m_views[Macd]->setVisible(c.macd);
    m_views[Rsi]->setVisible(c.rsi);
    m_views[Stochastics]->setVisible(c.stochastics);
    // Over more than three panels the price keeps two fifths of the height; the dates are under
    // the price and the lowest panel only, the panels between them being low.
    int panels = 0;
    std::size_t lowest = 0;
    for (std::size_t v = 1; v < m_views.size(); ++v) {
        panels += m_views[v]->isHidden() ? 0 : 1;
        lowest = m_views[v]->isHidden() ? lowest : v;
    }
    for (std::size_t v = 0; v < m_views.size(); ++v) {
        m_xAxes[v]->setLabelsVisible(v == Price || v == lowest);
    }
    if (auto* box = qobject_cast<QBoxLayout*>(layout())) {
        box->setStretchFactor(m_views[Price], panels > 3 ? 14 * panels : 40);
    }
    m_layoutKey.clear();
}

std::vector<QChartView*> Frm_Chart::shownViews() const
{
    std::vector<QChartView*> out;
    for (auto* v : m_views) {
        if (!v->isHidden()) {
            out.push_back(v);
        }
    }
    return out;
}

void Frm_Chart::placeMonthLabels()
{
    // A category outside the axis's range is drawn at its end: only the shown ticks are set.
    // The axis gives each category's label an equal share of its width, so the ticks without
    // a label are no categories: their ticks are drawn by the window.
    const double width = std::max(100.0, chart(Price)->plotArea().width());
    const double perBar = width / std::max(1.0, m_last - m_first);
    QList<QPair<QString, int>> labels;
    m_monthStarts.clear();
    for (const auto& tick :
        ChartScale::periodTicks(m_barDates, m_first, m_last, perBar, kMonthLabelRoom, m_choice.period)) {
        m_monthStarts.push_back(tick.day);
        if (tick.labelled) {
            labels.append({q(tick.label), tick.day});
        }
    }
    placeMonthTicks();
    // A drag calls this on every move; the axes are laid out anew only when the labels change.
    if (labels == m_monthLabels) {
        return;
    }
    m_monthLabels = labels;
    for (auto* axis : m_xAxes) {
        for (const QString& label : axis->categoriesLabels()) {
            axis->remove(label);
        }
        for (const auto& [label, day] : labels) {
            axis->append(label, day);
        }
    }
}

void Frm_Chart::setDayRange(double first, double last)
{
    const double lowest = -0.5;
    const double highest = std::max(0.5, lastShownBar());
    double span
        = std::clamp(last - first, std::min<double>(kMinimumDays, highest - lowest), highest - lowest);
    first = std::clamp(first, lowest, highest - span);
    m_first = first;
    m_last = first + span;
    placeMonthLabels();
    for (auto* axis : m_xAxes) {
        axis->setRange(m_first, m_last);
    }
    for (auto* item : {m_candles, m_volumeBars, m_bandBars, m_macdBars}) {
        item->setBars(m_first, m_last);
    }
    scaleTopix();
    sliceLines();
    fitValueAxes();
    placeCrossHair();
}

void Frm_Chart::zoom(double factor, double day)
{
    const double span = (m_last - m_first) * factor;
    const double share = m_last > m_first ? (day - m_first) / (m_last - m_first) : 0.5;
    setDayRange(day - span * share, day - span * share + span);
}

void Frm_Chart::fitValueAxes()
{
    const auto& d = m_data;
    const auto& s = m_studies;
    const int from = std::max(0, static_cast<int>(std::ceil(m_first)));
    const int to = static_cast<int>(std::floor(m_last));
    const int toBar = std::min(s.count() - 1, to);
    auto ticksOf = [&](Chart which) {
        const double height = chart(which)->plotArea().height();
        const auto n = static_cast<std::size_t>(which);
        m_ticks[n] = height > 1
            ? ChartScale::ticksFor(height, QFontMetricsF(m_yAxes[which]->labelsFont()).height())
            : 5;
        return m_ticks[n];
    };
    auto fitExtent = [&](Chart which, ChartScale::Extent e, bool fromZero, double room, int minDecimals) {
        if (!e.any) {
            e = {0, 1, true};
        }
        const double extra = (e.hi - e.lo) * room;
        const int ticks = ticksOf(which);
        setRange(m_yAxes[which], ChartScale::fit(e.lo - extra, e.hi + extra, fromZero, ticks), minDecimals);
    };
    auto fit = [&](Chart which, const std::vector<const std::vector<double>*>& series, bool prices,
                   bool fromZero, double room, int minDecimals) {
        fitExtent(which, ChartScale::extent(series, from, toBar, prices), fromZero, room, minDecimals);
    };
    const bool days = m_choice.period == ChartChoice::Period::Day;
    const bool zones = days && m_choice.zones;
    auto price = s.priceExtent(from, to, m_choice);
    ChartScale::Extent e{price.lo, price.hi, price.any};
    if (zones) {
        const auto today = ChartScale::extent({&d.mean30, &d.mean54}, from, toBar, true);
        if (today.any) {
            e = e.any ? ChartScale::Extent{std::min(e.lo, today.lo), std::max(e.hi, today.hi), true} : today;
        }
    }
    // The marks over and under the bars need room.
    fitExtent(Price, e, false, zones && m_signalSeries[0] ? 0.06 : 0, 0);
    if (days) {
        fit(Volume, {&s.volume, &d.volumeMean30}, false, true, 0, 0);
    } else {
        fit(Volume, {&s.volume}, false, true, 0, 0);
    }
    fit(Strength, {&d.shortStrength, &d.strength14}, false, false, 0, 1);
    fit(Ratio, {&d.ratio6, &d.ratio30, &d.ratio54}, false, false, 0, 2);
    fit(Macd, {&s.macd, &s.macdSignal, &s.macdHist}, false, false, 0.05, 0);
    for (Chart which : {Rsi, Stochastics}) {
        const int ticks = ticksOf(which);
        setRange(m_yAxes[which], ChartScale::fit(0, 100, true, ticks), 0);
        m_yAxes[which]->setRange(0, 100);
    }
    placeZoneMarks();
    placeSignalMarks();
    alignPlotAreas();
    relayoutBars();
}

void Frm_Chart::relayoutBars()
{
    for (auto* item : {m_candles, m_volumeBars, m_bandBars, m_macdBars}) {
        item->relayout();
    }
}

void Frm_Chart::placeZoneMarks()
{
    // A strip along the bottom of the price chart, one mark a day.
    auto* axis = m_yAxes[Price];
    const double y = axis->min() + (axis->max() - axis->min()) * 0.02;
    QList<QPointF> buy;
    QList<QPointF> sell;
    if (m_choice.period == ChartChoice::Period::Day) {
        for (int i = 0; i < m_data.days(); ++i) {
            const auto& zone = m_data.zone14[static_cast<std::size_t>(i)];
            if (zone == "買ゾ") {
                buy.append(QPointF(i, y));
            } else if (zone == "売ゾ") {
                sell.append(QPointF(i, y));
            }
        }
    }
    m_buyZone->replace(buy);
    m_sellZone->replace(sell);
}

void Frm_Chart::setSignals(ChartSignals marks)
{
    m_signals = std::move(marks);
    if (!m_signalSeries[0]) {
        const char* names[] = {"短期買", "中期買", "短期売", "中期売"};
        auto* c = chart(Price);
        for (std::size_t i = 0; i < m_signalSeries.size(); ++i) {
            const bool buy = i < 2;
            const bool filled = i % 2 == 1;
            // A triangle drawn into the marker's texture: the charts have no downward marker.
            constexpr int kSize = 12;
            QImage image(kSize, kSize, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            const QColor color = buy ? buyColour() : sellColour();
            painter.setPen(QPen(color, 1.5));
            painter.setBrush(filled ? QBrush(color) : QBrush(Qt::white));
            const QPolygonF triangle = buy
                ? QPolygonF(
                    {QPointF(kSize / 2.0, 1), QPointF(kSize - 1, kSize - 1.5), QPointF(1, kSize - 1.5)})
                : QPolygonF({QPointF(1, 1.5), QPointF(kSize - 1, 1.5), QPointF(kSize / 2.0, kSize - 1)});
            painter.drawPolygon(triangle);
            painter.end();
            auto* series = new QScatterSeries;
            series->setName(QString::fromUtf8(names[i]));
            series->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
            series->setMarkerSize(kSize);
            series->setBrush(image);
            series->setPen(QColor(Qt::transparent));
            series->setObjectName(QStringLiteral("Signal%1").arg(i));
            c->addSeries(series);
            series->attachAxis(m_xAxes[Price]);
            series->attachAxis(m_yAxes[Price]);
            m_signalSeries[i] = series;
            for (auto* marker : c->legend()->markers(series)) {
                marker->setShape(QLegend::MarkerShapeFromSeries);
            }
        }
    }
    showChosen();
    fitValueAxes();
    showDay(m_shownDay);
}

void Frm_Chart::placeSignalMarks()
{
    if (!m_signalSeries[0]) {
        return;
    }
    using analysis::Indicators::Mark;
    auto* axis = m_yAxes[Price];
    const double gap = (axis->max() - axis->min()) * 0.03;
    std::array<QList<QPointF>, 4> marks;
    const bool fits = m_signals.days() == m_data.storedDays() && m_choice.period == ChartChoice::Period::Day;
    for (int i = 0; fits && i < m_data.days(); ++i) {
        const auto n = static_cast<std::size_t>(i);
        const int row = m_data.stored[n];
        if (row < 0) {
            continue;
        }
        const Mark h = m_signals.shortMark(row);
        const bool confirmed = m_signals.volumeMark(row) == h;
        if (h == Mark::Buy && defined(m_data.low[n])) {
            marks[confirmed ? 1 : 0].append(QPointF(i, m_data.low[n] - gap));
        } else if (h == Mark::Sell && defined(m_data.high[n])) {
            marks[confirmed ? 3 : 2].append(QPointF(i, m_data.high[n] + gap));
        }
    }
    for (std::size_t s = 0; s < marks.size(); ++s) {
        m_signalSeries[s]->replace(marks[s]);
    }
}

void Frm_Chart::showDay(int day)
{
    if (m_studies.count() == 0) {
        m_dayLabel->setFullText(QStringLiteral("データがありません"));
        return;
    }
    m_shownDay = std::clamp(day, 0, m_studies.count() - 1);
    std::string line = m_studies.topLine(m_shownDay, m_choice, m_data);
    // The stock's figures open the second line: they are the list day's, not the shown day's.
    std::string second = m_data.figures;
    const bool days = m_choice.period == ChartChoice::Period::Day;
    if (days && m_choice.zones && m_signals.days() == m_data.storedDays() && m_signals.days() > 0) {
        const int row = m_data.stored[static_cast<std::size_t>(m_shownDay)];
        if (row >= 0) {
            second += (second.empty() ? "" : "  ") + m_signals.returnsLine(row);
        }
    }
    if (!second.empty()) {
        line += "\n" + second;
    }
    m_dayLabel->setFullText(q(line));
    placeCrossHair();
}

void Frm_Chart::alignPlotAreas()
{
    // The same left and right edges in all four charts, so one day lies on one vertical line.
    // Each chart lays out its own title, legend and axes (a plot area set from outside would
    // leave them where they were); the margins then make up for the widths of the value labels
    // and the legends, which differ between the charts.
    QString key;
    const auto views = shownViews();
    for (auto* view : views) {
        auto* c = view->chart();
        if (c->size().isEmpty()) {
            return;
        }
        auto* y = m_yAxes[static_cast<std::size_t>(
            std::find(m_views.begin(), m_views.end(), view) - m_views.begin())];
        key += QStringLiteral("%1x%2 %3 %4 %5 %6;")
                   .arg(c->size().width())
                   .arg(c->size().height())
                   .arg(y->min())
                   .arg(y->max())
                   .arg(y->labelFormat())
                   .arg(c->legend()->markers().size());
    }
    if (key != m_layoutKey) {
        m_layoutKey = key;
        double left = 0;
        double right = std::numeric_limits<double>::infinity();
        for (auto* view : views) {
            auto* c = view->chart();
            c->setMargins(kChartMargins);
            c->layout()->activate();
            left = std::max(left, c->plotArea().left());
            right = std::min(right, c->plotArea().right());
        }
        for (auto* view : views) {
            auto* c = view->chart();
            const QRectF area = c->plotArea();
            QMargins margins = kChartMargins;
            margins.setLeft(margins.left() + static_cast<int>(std::lround(left - area.left())));
            margins.setRight(margins.right() + static_cast<int>(std::lround(area.right() - right)));
            c->setMargins(margins);
            c->layout()->activate();
        }
        // An axis lays out labels of a new width only on its next pass: once the window has
        // drawn them, the edges are matched again.
        if (!m_settling) {
            m_settling = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_layoutKey.clear();
                    alignPlotAreas();
                    m_settling = false;
                },
                Qt::QueuedConnection);
        }
    }
    // A new height may leave room for more or fewer value labels.
    for (std::size_t i = 0; i < m_views.size(); ++i) {
        if (m_views[i]->isHidden()) {
            continue;
        }
        const double height = m_views[i]->chart()->plotArea().height();
        if (ChartScale::ticksFor(height, QFontMetricsF(m_yAxes[i]->labelsFont()).height()) != m_ticks[i]) {
            fitValueAxes();
            return;
        }
    }
    placeMonthLabels();
    placeMonthTicks();
    placeCrossHair();
    relayoutBars();
}

void Frm_Chart::placeMonthTicks()
{
    constexpr double kTickLength = 5;
    for (std::size_t c = 0; c < m_views.size(); ++c) {
        auto* ch = m_views[c]->chart();
        auto& ticks = m_monthTicks[c];
        while (ticks.size() < m_monthStarts.size()) {
            auto* tick = new QGraphicsLineItem(ch); // owned by the chart
            tick->setPen(QPen(m_xAxes[c]->linePen().color(), 1));
            tick->setZValue(50);
            ticks.push_back(tick);
        }
        const QRectF area = ch->plotArea();
        for (std::size_t t = 0; t < ticks.size(); ++t) {
            if (t >= m_monthStarts.size() || area.isEmpty() || m_last <= m_first) {
                ticks[t]->setVisible(false);
                continue;
            }
            const double x = area.left() + (m_monthStarts[t] - m_first) / (m_last - m_first) * area.width();
            ticks[t]->setLine(x, area.bottom(), x, area.bottom() + kTickLength);
            ticks[t]->setVisible(true);
        }
    }
}

void Frm_Chart::placeCrossHair()
{
    for (int c = 0; c < kCharts; ++c) {
        auto* item = m_crossHair[static_cast<std::size_t>(c)];
        auto* ch = chart(static_cast<Chart>(c));
        const QRectF area = ch->plotArea();
        if (m_shownDay < 0 || m_shownDay < m_first || m_shownDay > m_last || area.isEmpty()) {
            item->setVisible(false);
            continue;
        }
        const double x = area.left() + (m_shownDay - m_first) / (m_last - m_first) * area.width();
        item->setLine(x, area.top(), x, area.bottom());
        item->setVisible(true);
    }
}

int Frm_Chart::dayAt(Chart which, const QPointF& viewPos) const
{
    auto* view = m_views[which];
    const QRectF area = view->chart()->plotArea();
    const QPointF scenePos = view->mapToScene(viewPos.toPoint());
    if (area.width() <= 0) {
        return -1;
    }
    const double value = m_first + (scenePos.x() - area.left()) / area.width() * (m_last - m_first);
    return static_cast<int>(std::lround(value));
}

bool Frm_Chart::eventFilter(QObject* watched, QEvent* event)
{
    int which = -1;
    for (int c = 0; c < kCharts; ++c) {
        if (m_views[static_cast<std::size_t>(c)]->viewport() == watched) {
            which = c;
        }
    }
    if (which < 0) {
        return QWidget::eventFilter(watched, event);
    }
    const auto chartId = static_cast<Chart>(which);
    switch (event->type()) {
    case QEvent::Paint:
        if (!m_painted) {
            m_painted = true;
            QMetaObject::invokeMethod(this, &Frm_Chart::firstPainted, Qt::QueuedConnection);
        }
        break;
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (m_dragging) {
            const double width = m_views[chartId]->chart()->plotArea().width();
            if (width > 0) {
                const double shift = (e->position().x() - m_dragStartX) / width * (m_dragLast - m_dragFirst);
                setDayRange(m_dragFirst - shift, m_dragLast - shift);
            }
        }
        showDay(dayAt(chartId, e->position()));
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            m_dragging = true;
            m_dragStartX = e->position().x();
            m_dragFirst = m_first;
            m_dragLast = m_last;
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(event);
        const double steps = e->angleDelta().y() / 120.0;
        if (steps != 0) {
            zoom(std::pow(0.8, steps), dayAt(chartId, e->position()));
            // The wheel comes without a move: the top line would go on naming the day pointed at before.
            showDay(dayAt(chartId, e->position()));
        }
        return true;
    }
    case QEvent::Resize:
        QMetaObject::invokeMethod(
            this, [this] { alignPlotAreas(); }, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

const QColor& Frm_Chart::buyColour()
{
    static const QColor colour(0xC0, 0x00, 0x00);
    return colour;
}

const QColor& Frm_Chart::sellColour()
{
    static const QColor colour(0x00, 0x60, 0xC0);
    return colour;
}

bool Frm_Chart::savePng(const QString& path, std::string* error)
{
    // The picture is of the charts, not of the window's own controls.
    m_saveButton->setVisible(false);
    m_saveStatus->setVisible(false);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const bool encoded = grab().save(&buffer, "PNG");
    m_saveButton->setVisible(true);
    m_saveStatus->setVisible(true);
    // Put in place whole, so a failed save leaves an earlier picture of that name as it was.
    return encoded
        && core::Platform::writeWholeFile(core::Platform::fromUtf8(path.toStdString()),
            std::string_view(png.constData(), static_cast<std::size_t>(png.size())), error);
}

void Frm_Chart::save()
{
    QString path;
    const QString name = QStringLiteral("株価チャート_") + q(m_data.code) + QStringLiteral(".png");
    if (m_saveTarget) {
        path = m_saveTarget();
    } else {
        path = SaveFileDialog::ask(this, QStringLiteral("画像保存"), name, QStringLiteral("PNG (*.png)"));
    }
    if (path.isEmpty()) {
        return;
    }
    const auto file = core::Platform::fromUtf8(path.toStdString());
    if (core::Connection::isOpenDatabaseFile(file)) {
        core::ShowMessage(
            "ファイル(" + path.toStdString() + ")はデータベースのファイルです。別の名前で保存してください。");
        takeFocusBack();
        return;
    }
    std::string error;
    if (!savePng(path, &error)) {
        core::ShowMessage("ファイル(" + path.toStdString() + ")を書き込めません。（" + error + "）");
        takeFocusBack();
        return;
    }
    m_saveStatus->setFullText(QStringLiteral("保存しました: ") + path);
}

void Frm_Chart::takeFocusBack()
{
    // A box's parent is the main window, which the window manager activates when it closes:
    // Escape would then not reach this window.
    raise();
    activateWindow();
    m_saveButton->setFocus(Qt::OtherFocusReason);
}

} // namespace zuvemo::ui
