#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <vector>

class QChart;
class QValueAxis;

namespace zuvemo::ui {

// Candlesticks or columns on a chart's plot area, painted for the shown bars only: a series of
// the charts makes an item of every bar, which a history of years cannot afford.
class ChartBarsItem : public QGraphicsItem
{
public:
    struct Candle
    {
        double open = 0, high = 0, low = 0, close = 0;
        bool traded = false; // false: nothing drawn, a gap
    };

    // Owned by chart; values on y.
    ChartBarsItem(QChart* chart, QValueAxis* y);

    void setCandles(std::vector<Candle> candles, const QColor& up, const QColor& down);
    // A column from 0 to each finite value; up colours those of up[i] (or every one, up empty).
    void setColumns(std::vector<double> values, std::vector<bool> up, const QColor& upColour,
        const QColor& downColour, double width);
    // The bars shown, as bar indices along the plot's width.
    void setBars(double first, double last);
    // After the plot area or the value axis moved.
    void relayout();

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    double yOf(double value, const QRectF& area) const;

    QChart* m_chart;
    QValueAxis* m_y;
    std::vector<Candle> m_candles;
    std::vector<double> m_values;
    std::vector<bool> m_up;
    QColor m_upColour, m_downColour;
    double m_width = 0.7;
    double m_first = 0, m_last = 1;
    QRectF m_area;
};

} // namespace zuvemo::ui
