#include "Frm_Chart.h"
#include "ModuleFixture.h"
#include "SyntheticMarket.h"
#include "analysis/CSVMDB.h"
#include "core/Clock.h"
#include "export/ChartData.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QValueAxis>
#include <cmath>

using namespace zuvemo;
using namespace std::chrono;
using ui::Frm_Chart;

namespace {

// A known history of 300 days, analysed in chart mode as "検索発行" analyses it.
class ChartWindow : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        sample::SyntheticMarket::Options options;
        options.stocks = 20;
        options.days = 300;
        options.today = year_month_day{2024y, January, 9d};
        sample::SyntheticMarket market(options);
        // A stock traded up to the latest day.
        const auto* stock = &market.stocks().front();
        for (const auto& s : market.stocks()) {
            stock = s.lastDay > stock->lastDay ? &s : stock;
        }
        m_latest = core::Clock::dashed(year_month_day{market.latestTradingDay()});
        const auto file = m_dir / "history.csv";
        test::writeFile(file, *market.historyFile(stock->code));
        analysis::CSVMDB(*m_module, file, 1, analysis::Indicators::Bounds{0.9, 1.2});
        m_data = exporting::ChartData::read(*m_module, stock->code, stock->name);
    }
    std::unique_ptr<Frm_Chart> open()
    {
        auto window = std::make_unique<Frm_Chart>(m_data);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->resize(1100, 900);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
    // The pixel of a value on a chart, from its plot area and the axes' ranges.
    static QPoint pixel(Frm_Chart& w, Frm_Chart::Chart c, double day, double value, QValueAxis* y = nullptr)
    {
        auto* view = w.view(c);
        const QRectF area = view->chart()->plotArea();
        y = y ? y : w.valueAxis(c);
        const double x = area.left() + (day - w.firstDay()) / (w.lastDay() - w.firstDay()) * area.width();
        const double top = area.bottom() - (value - y->min()) / (y->max() - y->min()) * area.height();
        return view->mapFromScene(QPointF(x, top));
    }
    // True when a pixel within two of point has colour (within a small tolerance).
    static bool drawnNear(const QImage& image, QPoint point, const QColor& colour)
    {
        for (int dx = -2; dx <= 2; ++dx) {
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = image.pixelColor(point.x() + dx, point.y() + dy);
                if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                        + std::abs(c.blue() - colour.blue())
                    < 60) {
                    return true;
                }
            }
        }
        return false;
    }

    exporting::ChartData m_data;
    std::string m_latest;
};

} // namespace

TEST_F(ChartWindow, MeansThatDoNotExistYetAreLeftOutNotZero)
{
    ASSERT_EQ(m_data.days(), 250);
    // The workbook stores 0 for them; the window has no value there.
    EXPECT_TRUE(std::isnan(m_data.mean54[52]));
    EXPECT_FALSE(std::isnan(m_data.mean54[53]));
    EXPECT_TRUE(std::isnan(m_data.mean30[28]));
    EXPECT_FALSE(std::isnan(m_data.mean30[29]));
    EXPECT_TRUE(std::isnan(m_data.ratio54[53]));
    EXPECT_FALSE(std::isnan(m_data.ratio54[54]));
    EXPECT_TRUE(std::isnan(m_data.volumeMean30[28]));
    EXPECT_TRUE(std::isnan(m_data.strength14[14]));
    EXPECT_EQ(m_data.dates.back(), m_latest);
    EXPECT_EQ(m_data.dayLine(249).rfind(m_latest + "  始値 ", 0), 0u) << m_data.dayLine(249);

    auto w = open();
    // The price axis starts near the prices, not at 0.
    double lowest = 1e18;
    for (double v : m_data.low) {
        lowest = std::min(lowest, v);
    }
    EXPECT_GT(w->valueAxis(Frm_Chart::Price)->min(), lowest * 0.8);
    EXPECT_LE(w->valueAxis(Frm_Chart::Price)->min(), lowest);
}

TEST_F(ChartWindow, EachChartDrawsItsSeriesWhereTheValuesAre)
{
    auto w = open();
    const QColor ink(0x1F, 0x4E, 0x79);
    const QColor volumeBlue(0x9D, 0xC3, 0xE6);
    const QColor strengthBlue(0x2E, 0x75, 0xB6);
    const QColor mean30Orange(0xED, 0x7D, 0x31);
    const QImage price = w->view(Frm_Chart::Price)->grab().toImage();
    const QImage volume = w->view(Frm_Chart::Volume)->grab().toImage();
    const QImage strength = w->view(Frm_Chart::Strength)->grab().toImage();
    const QImage ratio = w->view(Frm_Chart::Ratio)->grab().toImage();
    for (int day : {60, 151, 243}) {
        const auto n = static_cast<std::size_t>(day);
        EXPECT_TRUE(drawnNear(price, pixel(*w, Frm_Chart::Price, day, m_data.close[n]), ink)) << "close, day " << day;
        EXPECT_TRUE(drawnNear(price, pixel(*w, Frm_Chart::Price, day, m_data.mean30[n]), mean30Orange))
            << "30-day mean, day " << day;
        EXPECT_TRUE(drawnNear(volume, pixel(*w, Frm_Chart::Volume, day, m_data.volume[n] / 2), volumeBlue))
            << "volume, day " << day;
        EXPECT_TRUE(
            drawnNear(strength, pixel(*w, Frm_Chart::Strength, day, m_data.shortStrength[n]), strengthBlue))
            << "short strength, day " << day;
        EXPECT_TRUE(drawnNear(ratio, pixel(*w, Frm_Chart::Ratio, day, m_data.ratio30[n]), mean30Orange))
            << "30-day ratio, day " << day;
    }
    // Nothing of the 54-day mean where it does not exist: no green at its stored 0 nor on day 20.
    const QColor mean54Green(0x70, 0xAD, 0x47);
    EXPECT_FALSE(drawnNear(price, pixel(*w, Frm_Chart::Price, 20, m_data.close[20]), mean54Green));
}

TEST_F(ChartWindow, PointerWheelDragAndSave)
{
    auto w = open();
    auto* viewport = w->view(Frm_Chart::Volume)->viewport();
    const QPoint at = pixel(*w, Frm_Chart::Volume, 100, 0);
    QTest::mouseMove(viewport, QPoint(at.x(), viewport->height() / 2));
    EXPECT_EQ(w->shownDay(), 100);
    EXPECT_EQ(w->dayLabel()->text().toStdString(), m_data.dayLine(100));

    // The wheel over day 100 shows fewer days around it; dragging moves them.
    QWheelEvent wheel(QPointF(at.x(), viewport->height() / 2.0), viewport->mapToGlobal(QPointF(at.x(), 10)),
        QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    const double span = w->lastDay() - w->firstDay();
    EXPECT_NEAR(span, 250 * 0.64, 1);
    EXPECT_LT(w->firstDay(), 100);
    EXPECT_GT(w->lastDay(), 100);
    const double first = w->firstDay();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(at.x(), 40));
    QTest::mouseMove(viewport, QPoint(at.x() + 100, 40));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(at.x() + 100, 40));
    EXPECT_LT(w->firstDay(), first);
    EXPECT_NEAR(w->lastDay() - w->firstDay(), span, 1e-9);

    test::TempFolder dir;
    const QString target = QString::fromStdString((dir / "chart.png").string());
    w->setSaveTarget([&] { return target; });
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("SavePng")), Qt::LeftButton);
    QImage saved(target);
    EXPECT_EQ(saved.size(), w->size() * w->devicePixelRatio());
}
