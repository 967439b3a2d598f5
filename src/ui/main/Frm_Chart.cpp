#include "Frm_Chart.h"

#include "ElidedLabel.h"
#include "SaveFileDialog.h"
#include "UiStyle.h"
#include "core/Connection.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "model/ChartScale.h"

#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QByteArray>
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zuvemo::ui {

namespace {

constexpr int kMinimumDays = 10;

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
// Day labels as wide as "2026-12" with room on both sides.
constexpr double kMonthLabelRoom = 60;
// Below this a chart's legend and axes would cover its plot.
constexpr int kMinimumWidth = 640;
constexpr int kMinimumHeight = 820;

QLineSeries* line(const QString& name, const std::vector<double>& values, const QColor& color)
{
    auto* series = new QLineSeries;
    series->setName(name);
    QList<QPointF> points;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (defined(values[i])) {
            points.append(QPointF(static_cast<double>(i), values[i]));
        }
    }
    series->replace(points);
    QPen pen(color);
    pen.setWidthF(1.5);
    series->setPen(pen);
    return series;
}

// One column a day; a day without a value gets an empty column.
QBarSeries* columns(const QString& name, const std::vector<double>& values, const QColor& color, double width)
{
    auto* set = new QBarSet(name);
    set->setColor(color);
    set->setBorderColor(color);
    QList<qreal> list;
    list.reserve(static_cast<qsizetype>(values.size()));
    for (double v : values) {
        list.append(defined(v) ? v : 0);
    }
    set->append(list);
    auto* bars = new QBarSeries;
    bars->setBarWidth(width);
    bars->append(set);
    return bars;
}

} // namespace

Frm_Chart::Frm_Chart(exporting::ChartData data, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_data(std::move(data))
{
    setObjectName(QStringLiteral("Frm_Chart"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("株価チャート ") + q(m_data.code) + QStringLiteral(" ") + q(m_data.name));
    resize(1100, 900);
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
    connect(m_saveButton, &QPushButton::clicked, this, [this] { save(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    buildPrice();
    buildVolume();
    buildStrength();
    buildRatio();
    // The price chart's legend has nine lines.
    const int stretch[] = {46, 22, 22, 22};
    for (int c = 0; c < 4; ++c) {
        layout->addWidget(m_views[static_cast<std::size_t>(c)], stretch[c]);
    }
    layout->addWidget(m_saveStatus);

    const double days = m_data.days();
    setDayRange(-0.5, days - 0.5);
    showDay(m_data.days() - 1);
}

Frm_Chart::~Frm_Chart() = default;

QChart* Frm_Chart::chart(Chart which) const
{
    return m_views[which]->chart();
}

QChart* Frm_Chart::newChart(Chart which, const QString& title)
{
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTitle(title);
    chart->setTitleFont(UiStyle::proportional(10.5, true));
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setFont(UiStyle::proportional(9));
    chart->setMargins(kChartMargins);
    chart->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    chart->setLocalizeNumbers(true);
    auto* view = new QChartView(chart, this);
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setMouseTracking(true);
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
    view->setObjectName(QStringLiteral("Chart%1").arg(static_cast<int>(which)));
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

void Frm_Chart::attachDays(Chart which)
{
    auto* c = chart(which);
    for (auto* series : c->series()) {
        if (!series->attachedAxes().isEmpty() && series->type() == QAbstractSeries::SeriesTypeCandlestick) {
            continue;
        }
        series->attachAxis(m_xAxes[which]);
        if (series->attachedAxes().size() < 2) {
            series->attachAxis(m_yAxes[which]);
        }
    }
}

void Frm_Chart::buildPrice()
{
    auto* c = newChart(Price, QStringLiteral("株価 (高値・安値・終値) と移動平均、売買ゾーン (14日)"));
    auto* bars = new QCandlestickSeries;
    bars->setName(QStringLiteral("高値・安値・終値"));
    const QColor ink(0x1F, 0x4E, 0x79);
    bars->setIncreasingColor(ink);
    bars->setDecreasingColor(ink);
    bars->setPen(QPen(ink, 1));
    bars->setBodyWidth(0.7);
    bars->setCapsVisible(false);
    const auto& d = m_data;
    for (int i = 0; i < d.days(); ++i) {
        const auto n = static_cast<std::size_t>(i);
        if (!defined(d.close[n]) || d.close[n] == 0) {
            continue;
        }
        // The close is the tick across the bar from the low to the high.
        bars->append(new QCandlestickSet(d.close[n], d.high[n], d.low[n], d.close[n], i));
    }
    c->addSeries(bars);
    // Candlesticks take no axis of month labels: a hidden axis of days carries them.
    m_candleAxis = new QValueAxis;
    m_candleAxis->setVisible(false);
    c->addAxis(m_candleAxis, Qt::AlignBottom);
    bars->attachAxis(m_candleAxis);
    bars->attachAxis(m_yAxes[Price]);
    c->addSeries(line(QStringLiteral("30日平均"), d.mean30, QColor(0xED, 0x7D, 0x31)));
    c->addSeries(line(QStringLiteral("54日平均"), d.mean54, QColor(0x70, 0xAD, 0x47)));
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
}

void Frm_Chart::buildVolume()
{
    auto* c = newChart(Volume, QStringLiteral("出来高と30日平均"));
    c->addSeries(columns(QStringLiteral("出来高"), m_data.volume, QColor(0x9D, 0xC3, 0xE6), 0.8));
    c->addSeries(line(QStringLiteral("30日平均"), m_data.volumeMean30, QColor(0xC0, 0x00, 0x00)));
    attachDays(Volume);
}

void Frm_Chart::buildStrength()
{
    auto* c = newChart(Strength, QStringLiteral("強弱比率と帯判定"));
    auto* bars = columns(QStringLiteral("帯判定"), m_data.band, QColor(0xD9, 0xD9, 0xD9), 1.0);
    c->addSeries(bars);
    // The flag is a shade behind the lines: an axis of its own, 0 to 1, that shows nothing.
    auto* flagAxis = new QValueAxis;
    flagAxis->setRange(0, 1);
    flagAxis->setVisible(false);
    c->addAxis(flagAxis, Qt::AlignRight);
    bars->attachAxis(flagAxis);
    c->addSeries(line(QStringLiteral("短期強弱"), m_data.shortStrength, QColor(0x2E, 0x75, 0xB6)));
    c->addSeries(line(QStringLiteral("14日強弱"), m_data.strength14, QColor(0xC5, 0x5A, 0x11)));
    attachDays(Strength);
}

void Frm_Chart::buildRatio()
{
    auto* c = newChart(Ratio, QStringLiteral("終値と移動平均の比 (1.00 = 平均と同じ)"));
    c->addSeries(line(QStringLiteral("6日"), m_data.ratio6, QColor(0x2E, 0x75, 0xB6)));
    c->addSeries(line(QStringLiteral("30日"), m_data.ratio30, QColor(0xED, 0x7D, 0x31)));
    c->addSeries(line(QStringLiteral("54日"), m_data.ratio54, QColor(0x70, 0xAD, 0x47)));
    attachDays(Ratio);
}

void Frm_Chart::placeMonthLabels()
{
    // A category outside the axis's range is drawn at its end: only the shown months are set.
    // The axis gives each category's label an equal share of its width, so the months without
    // a label are no categories: their ticks are drawn by the window.
    const double width = std::max(100.0, chart(Price)->plotArea().width());
    const double perDay = width / std::max(1.0, m_last - m_first);
    QList<QPair<QString, int>> labels;
    m_monthStarts.clear();
    for (const auto& month : ChartScale::months(m_data.dates, m_first, m_last, perDay, kMonthLabelRoom)) {
        m_monthStarts.push_back(month.day);
        if (month.labelled) {
            labels.append({q(month.label), month.day});
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
    const double highest = std::max(0.5, m_data.days() - 0.5);
    double span
        = std::clamp(last - first, std::min<double>(kMinimumDays, highest - lowest), highest - lowest);
    first = std::clamp(first, lowest, highest - span);
    m_first = first;
    m_last = first + span;
    placeMonthLabels();
    for (auto* axis : m_xAxes) {
        axis->setRange(m_first, m_last);
    }
    m_candleAxis->setRange(m_first, m_last);
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
    const int from = std::max(0, static_cast<int>(std::ceil(m_first)));
    const int to = std::min(d.days() - 1, static_cast<int>(std::floor(m_last)));
    auto fit = [&](Chart which, const std::vector<const std::vector<double>*>& series, bool prices,
                   bool fromZero, double room, int minDecimals) {
        auto e = ChartScale::extent(series, from, to, prices);
        if (!e.any) {
            e = {0, 1, true};
        }
        const double extra = (e.hi - e.lo) * room;
        const double height = chart(which)->plotArea().height();
        const auto n = static_cast<std::size_t>(which);
        m_ticks[n] = height > 1
            ? ChartScale::ticksFor(height, QFontMetricsF(m_yAxes[which]->labelsFont()).height())
            : 5;
        setRange(
            m_yAxes[which], ChartScale::fit(e.lo - extra, e.hi + extra, fromZero, m_ticks[n]), minDecimals);
    };
    // A price of 0 is a day without trade; the marks over and under the bars need room.
    fit(Price, {&d.high, &d.low, &d.mean30, &d.mean54}, true, false, m_signalSeries[0] ? 0.06 : 0, 0);
    fit(Volume, {&d.volume, &d.volumeMean30}, false, true, 0, 0);
    fit(Strength, {&d.shortStrength, &d.strength14}, false, false, 0, 1);
    fit(Ratio, {&d.ratio6, &d.ratio30, &d.ratio54}, false, false, 0, 2);
    placeZoneMarks();
    placeSignalMarks();
    alignPlotAreas();
}

void Frm_Chart::placeZoneMarks()
{
    // A strip along the bottom of the price chart, one mark a day.
    auto* axis = m_yAxes[Price];
    const double y = axis->min() + (axis->max() - axis->min()) * 0.02;
    QList<QPointF> buy;
    QList<QPointF> sell;
    for (int i = 0; i < m_data.days(); ++i) {
        const auto& zone = m_data.zone14[static_cast<std::size_t>(i)];
        if (zone == "買ゾ") {
            buy.append(QPointF(i, y));
        } else if (zone == "売ゾ") {
            sell.append(QPointF(i, y));
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
    std::array<QList<QPointF>, 4> points;
    const int days = m_signals.days() == m_data.days() ? m_data.days() : 0;
    for (int i = 0; i < days; ++i) {
        const auto n = static_cast<std::size_t>(i);
        const Mark h = m_signals.shortMark(i);
        const bool confirmed = m_signals.volumeMark(i) == h;
        if (h == Mark::Buy && defined(m_data.low[n])) {
            points[confirmed ? 1 : 0].append(QPointF(i, m_data.low[n] - gap));
        } else if (h == Mark::Sell && defined(m_data.high[n])) {
            points[confirmed ? 3 : 2].append(QPointF(i, m_data.high[n] + gap));
        }
    }
    for (std::size_t s = 0; s < points.size(); ++s) {
        m_signalSeries[s]->replace(points[s]);
    }
}

void Frm_Chart::showDay(int day)
{
    if (m_data.days() == 0) {
        m_dayLabel->setFullText(QStringLiteral("データがありません"));
        return;
    }
    m_shownDay = std::clamp(day, 0, m_data.days() - 1);
    std::string line = m_data.dayLine(m_shownDay);
    // The stock's figures open the second line: they are the list day's, not the shown day's.
    std::string second = m_data.figures;
    if (m_signals.days() == m_data.days() && m_signals.days() > 0) {
        second += (second.empty() ? "" : "  ") + m_signals.returnsLine(m_shownDay);
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
    for (std::size_t i = 0; i < m_views.size(); ++i) {
        auto* c = m_views[i]->chart();
        if (c->size().isEmpty()) {
            return;
        }
        auto* y = m_yAxes[i];
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
        for (auto* view : m_views) {
            auto* c = view->chart();
            c->setMargins(kChartMargins);
            c->layout()->activate();
            left = std::max(left, c->plotArea().left());
            right = std::min(right, c->plotArea().right());
        }
        for (auto* view : m_views) {
            auto* c = view->chart();
            const QRectF area = c->plotArea();
            QMargins margins = kChartMargins;
            margins.setLeft(margins.left() + static_cast<int>(std::lround(left - area.left())));
            margins.setRight(margins.right() + static_cast<int>(std::lround(area.right() - right)));
            c->setMargins(margins);
            c->layout()->activate();
        }
    }
    // A new height may leave room for more or fewer value labels.
    for (std::size_t i = 0; i < m_views.size(); ++i) {
        const double height = m_views[i]->chart()->plotArea().height();
        if (ChartScale::ticksFor(height, QFontMetricsF(m_yAxes[i]->labelsFont()).height()) != m_ticks[i]) {
            fitValueAxes();
            return;
        }
    }
    placeMonthLabels();
    placeMonthTicks();
    placeCrossHair();
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
    for (int c = 0; c < 4; ++c) {
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
    for (int c = 0; c < 4; ++c) {
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
