#include "Frm_Chart.h"

#include "SaveFileDialog.h"
#include "UiStyle.h"
#include "core/Connection.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
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

// A range a little wider than lo..hi, on ticks of 1, 2, 2.5 or 5 times a power of ten, about
// five of them: the axis's own "nice numbers" may double the range.
void fitAxis(QValueAxis* axis, double lo, double hi, bool fromZero)
{
    if (!(hi > lo)) {
        const double half = std::max(std::abs(hi) * 0.05, 0.5);
        lo -= half;
        hi += half;
    }
    const double pad = (hi - lo) * 0.03;
    const double low = fromZero && lo >= 0 ? 0 : lo - pad;
    const double high = hi + pad;
    const double rough = (high - low) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (double m : {1.0, 2.0, 2.5, 5.0}) {
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    }
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setRange(std::floor(low / step) * step, std::ceil(high / step) * step);
}

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);
    auto* top = new QHBoxLayout;
    m_dayLabel = new QLabel(this);
    m_dayLabel->setObjectName(QStringLiteral("DayLabel"));
    m_dayLabel->setFont(UiStyle::proportional(10.5));
    m_dayLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_saveStatus = new QLabel(this);
    m_saveStatus->setObjectName(QStringLiteral("SaveStatus"));
    m_saveStatus->setFont(UiStyle::proportional(9));
    m_saveButton = new QPushButton(QStringLiteral("画像保存"), this);
    m_saveButton->setObjectName(QStringLiteral("SavePng"));
    top->addWidget(m_dayLabel, 1);
    top->addWidget(m_saveStatus);
    top->addWidget(m_saveButton);
    layout->addLayout(top);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { save(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    buildPrice();
    buildVolume();
    buildStrength();
    buildRatio();
    const int stretch[] = {38, 24, 24, 24};
    for (int c = 0; c < 4; ++c) {
        layout->addWidget(m_views[static_cast<std::size_t>(c)], stretch[c]);
    }

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
    chart->setMargins(QMargins(4, 2, 4, 2));
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
        zone->setColor(zone == m_buyZone ? QColor(0x00, 0x99, 0x44) : QColor(0xD0, 0x20, 0x20));
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
    // A label at the first day of each month inside the shown days, the newest first, and none
    // closer to the one on its right than a label's width: a category outside the axis's range
    // is drawn at its end, and labels of short months would overlap.
    const double width = std::max(100.0, chart(Price)->plotArea().width());
    const double perDay = width / std::max(1.0, m_last - m_first);
    constexpr double kLabelRoom = 64;
    QList<QPair<QString, int>> labels;
    double keptAt = std::numeric_limits<double>::infinity();
    for (int i = std::min(m_data.days() - 1, static_cast<int>(std::floor(m_last))); i >= 0 && i >= m_first;
         --i) {
        const auto n = static_cast<std::size_t>(i);
        const bool monthStart = i == 0 || m_data.dates[n].substr(0, 7) != m_data.dates[n - 1].substr(0, 7);
        const double at = (i - m_first) * perDay;
        if (!monthStart || keptAt - at < kLabelRoom || at < kLabelRoom / 2) {
            continue;
        }
        labels.prepend({q(m_data.dates[n].substr(0, 7)), i});
        keptAt = at;
    }
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
    auto fit = [&](Chart which, std::initializer_list<const std::vector<double>*> series, bool fromZero) {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        for (const auto* values : series) {
            for (int i = from; i <= to; ++i) {
                const double v = (*values)[static_cast<std::size_t>(i)];
                if (defined(v) && !(values == &d.low && v == 0)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
        }
        if (!std::isfinite(lo)) {
            lo = 0;
            hi = 1;
        }
        if (fromZero) {
            lo = std::min(lo, 0.0);
        }
        fitAxis(m_yAxes[which], lo, hi, fromZero);
    };
    fit(Price, {&d.high, &d.low, &d.mean30, &d.mean54}, false);
    if (m_signalSeries[0]) {
        // Room for the marks over and under the bars.
        const double min = m_yAxes[Price]->min();
        const double max = m_yAxes[Price]->max();
        fitAxis(m_yAxes[Price], min - (max - min) * 0.05, max + (max - min) * 0.05, false);
    }
    fit(Volume, {&d.volume, &d.volumeMean30}, true);
    fit(Strength, {&d.shortStrength, &d.strength14}, false);
    fit(Ratio, {&d.ratio6, &d.ratio30, &d.ratio54}, false);
    m_yAxes[Price]->setLabelFormat(QStringLiteral("%.0f"));
    m_yAxes[Volume]->setLabelFormat(QStringLiteral("%.0f"));
    m_yAxes[Strength]->setLabelFormat(QStringLiteral("%.1f"));
    m_yAxes[Ratio]->setLabelFormat(QStringLiteral("%.2f"));
    placeZoneMarks();
    placeSignalMarks();
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
        const char* names[] = {"短期買", "出来高確認買", "短期売", "出来高確認売"};
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
            const QColor color = buy ? QColor(0xC0, 0x00, 0x00) : QColor(0x00, 0x60, 0xC0);
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
        m_dayLabel->setText(QStringLiteral("データがありません"));
        return;
    }
    m_shownDay = std::clamp(day, 0, m_data.days() - 1);
    std::string line = m_data.dayLine(m_shownDay);
    if (m_signals.days() == m_data.days() && m_signals.days() > 0) {
        line += "  " + m_signals.returnsLine(m_shownDay);
    }
    m_dayLabel->setText(q(line));
    placeCrossHair();
}

void Frm_Chart::alignPlotAreas()
{
    // The same left and right edges in all four charts, so one day lies on one vertical line.
    constexpr double kLeft = 70;
    constexpr double kRight = 150;
    constexpr double kTop = 30;
    constexpr double kBottom = 30;
    for (auto* view : m_views) {
        auto* c = view->chart();
        const QSizeF size = c->size();
        if (size.width() > kLeft + kRight + 50 && size.height() > kTop + kBottom + 20) {
            c->setPlotArea(
                QRectF(kLeft, kTop, size.width() - kLeft - kRight, size.height() - kTop - kBottom));
        }
    }
    placeMonthLabels();
    placeCrossHair();
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

bool Frm_Chart::savePng(const QString& path)
{
    // The picture is of the charts, not of the window's own controls.
    m_saveButton->setVisible(false);
    m_saveStatus->setVisible(false);
    const bool saved = grab().save(path, "PNG");
    m_saveButton->setVisible(true);
    m_saveStatus->setVisible(true);
    return saved;
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
        return;
    }
    if (!savePng(path)) {
        core::ShowMessage("ファイル(" + path.toStdString() + ")を書き込めません。");
        return;
    }
    m_saveStatus->setText(QStringLiteral("保存しました: ") + path);
    m_saveStatus->setToolTip(path);
}

} // namespace zuvemo::ui
