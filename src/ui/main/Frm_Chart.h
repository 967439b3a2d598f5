#pragma once

#include "export/ChartData.h"
#include "model/ChartSignals.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

class QCategoryAxis;
class QChart;
class QChartView;
class QGraphicsLineItem;
class QColor;
class QPushButton;
class QScatterSeries;
class QValueAxis;

namespace zuvemo::ui {

class ElidedLabel;

// The four charts of the workbook's sheet in a window of the program's own: the daily price
// with its means and zones, the volume with its mean, the strength ratios with the band flag,
// and the close against its means. Newest day on the right; the wheel zooms the days, dragging
// pans, the pointer shows one day's figures.
class Frm_Chart : public QWidget
{
    Q_OBJECT

public:
    enum Chart { Price, Volume, Strength, Ratio };

    explicit Frm_Chart(exporting::ChartData data, QWidget* parent = nullptr);
    ~Frm_Chart() override;

    const exporting::ChartData& data() const { return m_data; }
    QChartView* view(Chart chart) const { return m_views[chart]; }
    QChart* chart(Chart chart) const;
    QValueAxis* valueAxis(Chart chart) const { return m_yAxes[chart]; }
    // The figures of the shown day on its first line, the returns that followed on its second.
    ElidedLabel* dayLabel() const { return m_dayLabel; }
    ElidedLabel* saveStatus() const { return m_saveStatus; }

    // The days shown, as day indices (the oldest day is 0).
    void setDayRange(double first, double last);
    double firstDay() const { return m_first; }
    double lastDay() const { return m_last; }
    // Zooms by factor (below 1: fewer days) around day.
    void zoom(double factor, double day);
    // The days of the month ticks: each shown month's first day.
    const std::vector<int>& monthTicks() const { return m_monthStarts; }
    // Moves the cross-hair to day and shows its figures.
    void showDay(int day);
    int shownDay() const { return m_shownDay; }

    // Marks the days a signal fired, ▲ under the bar for 買 and ▼ over it for 売 (filled when
    // the volume confirmed it), and adds the returns that followed to the top line. 買 and 売
    // have the colours of the zone strip's 買ゾ and 売ゾ.
    void setSignals(ChartSignals marks);
    const ChartSignals& signalMarks() const { return m_signals; }
    // 短期買, 中期買, 短期売, 中期売.
    QScatterSeries* signalSeries(int index) const { return m_signalSeries[static_cast<std::size_t>(index)]; }

    static const QColor& buyColour();
    static const QColor& sellColour();

    bool savePng(const QString& path, std::string* error = nullptr);
    // Where "画像保存" writes; by default a file dialog. Tests answer it.
    void setSaveTarget(std::function<QString()> ask) { m_saveTarget = std::move(ask); }

signals:
    void firstPainted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPrice();
    void buildVolume();
    void buildStrength();
    void buildRatio();
    QChart* newChart(Chart which, const QString& title);
    void attachDays(Chart which);
    void placeMonthLabels();
    void fitValueAxes();
    void alignPlotAreas();
    void placeMonthTicks();
    void placeCrossHair();
    void placeZoneMarks();
    void placeSignalMarks();
    int dayAt(Chart which, const QPointF& viewPos) const;
    void save();
    void takeFocusBack();

    exporting::ChartData m_data;
    std::array<QChartView*, 4> m_views{};
    std::array<QCategoryAxis*, 4> m_xAxes{};
    QList<QPair<QString, int>> m_monthLabels;
    std::vector<int> m_monthStarts;
    std::array<std::vector<QGraphicsLineItem*>, 4> m_monthTicks;
    std::array<QValueAxis*, 4> m_yAxes{};
    std::array<QGraphicsLineItem*, 4> m_crossHair{};
    QString m_layoutKey;
    std::array<int, 4> m_ticks{5, 5, 5, 5}; // value labels each chart has room for
    QValueAxis* m_candleAxis = nullptr;
    QScatterSeries* m_buyZone = nullptr;
    QScatterSeries* m_sellZone = nullptr;
    ChartSignals m_signals;
    std::array<QScatterSeries*, 4> m_signalSeries{};
    ElidedLabel* m_dayLabel = nullptr;
    ElidedLabel* m_saveStatus = nullptr;
    QPushButton* m_saveButton = nullptr;
    std::function<QString()> m_saveTarget;
    double m_first = 0;
    double m_last = 0;
    int m_shownDay = -1;
    bool m_painted = false;
    bool m_dragging = false;
    double m_dragStartX = 0;
    double m_dragFirst = 0;
    double m_dragLast = 0;
};

} // namespace zuvemo::ui
