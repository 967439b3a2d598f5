#pragma once

#include "export/ChartData.h"
#include "model/ChartChoice.h"
#include "model/ChartSignals.h"
#include "model/ChartStudies.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QGraphicsLineItem;
class QColor;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QSpinBox;
class QValueAxis;

namespace zuvemo::ui {

class ChartBarsItem;
class ElidedLabel;

// The stock's whole stored history as candlesticks by day, week or month, with the overlays and
// the panels the user chose, and the workbook's own view (the 30- and 54-day means with the
// zones, the strength lines and ratios) as one of the choices. Newest bar on the right; the wheel
// zooms, dragging pans, the pointer shows one bar's figures.
class Frm_Chart : public QWidget
{
    Q_OBJECT

public:
    enum Chart { Price, Volume, Strength, Ratio, Macd, Rsi, Stochastics };
    static constexpr int kCharts = 7;

    explicit Frm_Chart(exporting::ChartData data, QWidget* parent = nullptr);
    Frm_Chart(exporting::ChartData data, const ChartChoice& choice, QWidget* parent = nullptr);
    ~Frm_Chart() override;

    const exporting::ChartData& data() const { return m_data; }
    const ChartStudies& studies() const { return m_studies; }
    const ChartChoice& choice() const { return m_choice; }
    // Draws as chosen, as the window's own controls would.
    void setChoice(const ChartChoice& choice);
    // Called with the choice whenever the user changes it.
    void setChoiceKeeper(std::function<void(const ChartChoice&)> keep) { m_keep = std::move(keep); }

    QChartView* view(Chart chart) const { return m_views[chart]; }
    QChart* chart(Chart chart) const;
    QValueAxis* valueAxis(Chart chart) const { return m_yAxes[chart]; }
    // The figures of the shown bar on its first line, the returns that followed on its second.
    ElidedLabel* dayLabel() const { return m_dayLabel; }
    ElidedLabel* saveStatus() const { return m_saveStatus; }

    // The bars shown, as bar indices (the oldest bar is 0).
    void setDayRange(double first, double last);
    double firstDay() const { return m_first; }
    double lastDay() const { return m_last; }
    // Zooms by factor (below 1: fewer bars) around bar.
    void zoom(double factor, double day);
    // The bars of the axis ticks: each shown month's (日足), quarter's or year's first bar.
    const std::vector<int>& monthTicks() const { return m_monthStarts; }
    // Moves the cross-hair to bar and shows its figures.
    void showDay(int day);
    int shownDay() const { return m_shownDay; }

    // Marks the days a signal fired, ▲ under the bar for 買 and ▼ over it for 売 (filled when
    // the volume confirmed it), and adds the returns that followed to the top line (日足 with the
    // zones).
    void setSignals(ChartSignals marks);
    const ChartSignals& signalMarks() const { return m_signals; }
    // 短期買, 中期買, 短期売, 中期売.
    QScatterSeries* signalSeries(int index) const { return m_signalSeries[static_cast<std::size_t>(index)]; }

    // One scheme for the window: 買 and 陽線 red, 売 and 陰線 blue.
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
    QWidget* buildControls();
    void buildPrice();
    void buildVolume();
    void buildStrength();
    void buildRatio();
    void buildMacd();
    void buildRsi();
    void buildStochastics();
    QChart* newChart(Chart which, const QString& title);
    QLineSeries* addLine(Chart which, const QString& name, const QColor& colour, double width = 1.5);
    void attachDays(Chart which);
    void apply(bool periodChanged);
    void fillSeries();
    // The TOPIX line from the first shown bar.
    void scaleTopix();
    void setLine(QLineSeries* series, QList<QPointF> all);
    void sliceLines();
    void showChosen();
    void controlsFromChoice();
    void choiceFromControls();
    double lastShownBar() const;
    void placeMonthLabels();
    void fitValueAxes();
    void alignPlotAreas();
    void placeMonthTicks();
    void placeCrossHair();
    void placeZoneMarks();
    void placeSignalMarks();
    void relayoutBars();
    int dayAt(Chart which, const QPointF& viewPos) const;
    void save();
    void takeFocusBack();
    std::vector<QChartView*> shownViews() const;

    exporting::ChartData m_data;
    ChartChoice m_choice;
    ChartStudies m_studies;
    std::vector<std::string> m_barDates;
    std::function<void(const ChartChoice&)> m_keep;
    bool m_applying = false;

    std::array<QChartView*, kCharts> m_views{};
    std::array<QCategoryAxis*, kCharts> m_xAxes{};
    QList<QPair<QString, int>> m_monthLabels;
    std::vector<int> m_monthStarts;
    std::array<std::vector<QGraphicsLineItem*>, kCharts> m_monthTicks;
    std::array<QValueAxis*, kCharts> m_yAxes{};
    std::array<QGraphicsLineItem*, kCharts> m_crossHair{};
    std::array<int, kCharts> m_ticks{5, 5, 5, 5, 5, 5, 5}; // value labels each chart has room for
    QString m_layoutKey;
    bool m_settling = false; // a second matching of the plots' edges is on its way

    ChartBarsItem* m_candles = nullptr;
    ChartBarsItem* m_volumeBars = nullptr;
    ChartBarsItem* m_bandBars = nullptr;
    ChartBarsItem* m_macdBars = nullptr;
    QScatterSeries* m_upLegend = nullptr;
    QScatterSeries* m_downLegend = nullptr;
    std::array<QLineSeries*, ChartChoice::kMeans> m_means{};
    std::array<QLineSeries*, 7> m_bands{}; // mid, +1σ, −1σ, +2σ, −2σ, +3σ, −3σ
    QLineSeries* m_tenkan = nullptr;
    QLineSeries* m_kijun = nullptr;
    QLineSeries* m_span1 = nullptr;
    QLineSeries* m_span2 = nullptr;
    QLineSeries* m_lagging = nullptr;
    QLineSeries* m_topix = nullptr;
    int m_topixFrom = -1; // the bar the TOPIX line is scaled from; -1: not drawn yet
    QAreaSeries* m_cloud = nullptr;
    QLineSeries* m_mean30 = nullptr;
    QLineSeries* m_mean54 = nullptr;
    QScatterSeries* m_buyZone = nullptr;
    QScatterSeries* m_sellZone = nullptr;
    QLineSeries* m_volumeMean = nullptr;
    std::array<QLineSeries*, 2> m_strength{};
    std::array<QLineSeries*, 3> m_ratios{};
    std::array<QLineSeries*, 2> m_macdLines{};
    QLineSeries* m_rsi = nullptr;
    std::array<QLineSeries*, 3> m_stochastics{};
    struct Line
    {
        QList<QPointF> all;
        qsizetype from = -1, to = -1; // the points it holds
    };
    std::map<QLineSeries*, Line> m_lines;
    ChartSignals m_signals;
    std::array<QScatterSeries*, 4> m_signalSeries{};

    QComboBox* m_period = nullptr;
    std::array<QCheckBox*, 10> m_boxes{}; // in the order of ChartChoice's flags
    std::array<QSpinBox*, ChartChoice::kMeans> m_lengths{};
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
