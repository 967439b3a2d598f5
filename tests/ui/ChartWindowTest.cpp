#include "ElidedLabel.h"
#include "Frm_Chart.h"
#include "ModuleFixture.h"
#include "SyntheticMarket.h"
#include "analysis/CSVMDB.h"
#include "core/Clock.h"
#include "export/ChartData.h"
#include "model/ChartChoice.h"
#include "model/ChartScale.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSpinBox>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QValueAxis>
#include <cmath>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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
        // Tall enough for the value labels of the lower charts under the window's controls.
        window->resize(1100, 1000);
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

// The inodes this process holds a POSIX lock on, from /proc/locks ("1: POSIX ADVISORY READ pid
// major:minor:inode start end").
std::set<unsigned long> lockedInodes()
{
    std::set<unsigned long> inodes;
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, pid, device;
        fields >> number >> kind;
        if (kind == "->") {
            fields >> kind;
        }
        fields >> advisory >> access >> pid >> device;
        if (kind == "POSIX" && pid == std::to_string(::getpid())) {
            inodes.insert(std::stoul(device.substr(device.rfind(':') + 1)));
        }
    }
    return inodes;
}

unsigned long inodeOf(const std::filesystem::path& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
}

} // namespace

TEST_F(ChartWindow, TheSaveDialogOnTheProgramFolderLeavesTheDatabaseLocksAlone)
{
    // SQLite's locks die with any close() of the database's files in this process; Qt's stock
    // dialog reads files it cannot name by their extension (the "-shm" map) to pick an icon.
    const auto shm = m_dir / "zuvemo.db-shm";
    const unsigned long dbInode = inodeOf(m_dir / "zuvemo.db");
    const unsigned long shmInode = inodeOf(shm);
    ASSERT_NE(shmInode, 0u);
    const auto before = lockedInodes();
    ASSERT_TRUE(before.count(shmInode)) << "the connection holds the map's lock";

    std::ofstream(m_dir / "株価チャート_1301.png") << "png";
    std::filesystem::create_directory(m_dir / "画像");
    auto w = open();
    bool listed = false;
    bool shown = false;
    bool locksWhileOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = true;
        // The dialog starts in the user's pictures folder; the user goes to the program folder.
        EXPECT_NE(dialog->directory().absolutePath().toStdString(), m_dir.path().string());
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        QObject::connect(model, &QFileSystemModel::directoryLoaded, [&](const QString&) { listed = true; });
        dialog->setDirectory(QString::fromStdString(m_dir.path().string()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed; }, 5000));
        // The listed files' types and icons are taken after the listing.
        QTest::qWait(700);
        locksWhileOpen = lockedInodes().count(shmInode) > 0;
        // Japanese dates whatever the environment's language, in columns that hold their texts.
        auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!list) {
            dialog->reject();
            FAIL() << "no file list";
        }
        const QModelIndex root = list->rootIndex();
        EXPECT_GT(list->model()->rowCount(root), 0);
        // A cell's text keeps the focus frame's margin on either side.
        const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        const QRegularExpression date(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}$"));
        for (int row = 0; row < list->model()->rowCount(root); ++row) {
            EXPECT_TRUE(date.match(list->model()->index(row, 3, root).data().toString()).hasMatch());
            for (int column = 1; column < 4; ++column) {
                const QString text = list->model()->index(row, column, root).data().toString();
                EXPECT_LE(list->fontMetrics().horizontalAdvance(text) + margins,
                    list->header()->sectionSize(column))
                    << text.toStdString();
            }
        }
        EXPECT_GE(list->header()->sectionSize(0), list->header()->sectionSize(3));
        dialog->reject();
    });
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("SavePng")), Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(listed);
    EXPECT_TRUE(locksWhileOpen);
    const auto after = lockedInodes();
    EXPECT_TRUE(after.count(shmInode)) << "the map's lock is gone";
    if (before.count(dbInode)) {
        EXPECT_TRUE(after.count(dbInode)) << "the database's lock is gone";
    }

    // Another program writes and closes; believing itself alone it would remove the log and the
    // map under this connection.
    const std::string command = "sqlite3 -cmd '.timeout 5000' '" + (m_dir / "zuvemo.db").string()
        + "' \"UPDATE Table_Url SET kabuHdate='20991231'\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(shm));
    EXPECT_EQ(scalar("SELECT kabuHdate FROM Table_Url"), "20991231");
    EXPECT_TRUE(m_messages.recorder().boxes.empty());
}

TEST_F(ChartWindow, APictureIsNotSavedOverTheDatabase)
{
    auto w = open();
    w->setSaveTarget([&] { return QString::fromStdString((m_dir / "zuvemo.db-wal").string()); });
    const auto size = std::filesystem::file_size(m_dir / "zuvemo.db-wal");
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("SavePng")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    ASSERT_EQ(m_messages.recorder().boxes.size(), 1u);
    EXPECT_NE(m_messages.recorder().boxes[0].text.find("データベースのファイル"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(m_dir / "zuvemo.db-wal"), size);
    EXPECT_TRUE(w->saveStatus()->fullText().isEmpty());
}

TEST_F(ChartWindow, TheWholeHistoryIsReadAndTheMeansStartOnItsOwnDays)
{
    // Every stored day; the workbook's figures on its newest 250, starting once their window has
    // left its day 0.
    ASSERT_EQ(m_data.days(), 300);
    ASSERT_EQ(m_data.storedDays(), 300);
    constexpr std::size_t kWindow = 50;
    const std::vector<std::pair<const std::vector<double>*, int>> firstShown{{&m_data.ratio6, 7},
        {&m_data.ratio30, 31}, {&m_data.ratio54, 55}, {&m_data.strength14, 15}, {&m_data.shortStrength, 5}};
    for (const auto& [series, first] : firstShown) {
        const auto n = kWindow + static_cast<std::size_t>(first);
        EXPECT_TRUE(std::isnan((*series)[n - 1])) << first;
        EXPECT_FALSE(std::isnan((*series)[n])) << first;
    }
    // No spike at the start: the first 6-day ratio is the close against the five closes before.
    double before = 0;
    for (std::size_t i = 1; i <= 6; ++i) {
        before += m_data.close[kWindow + i];
    }
    EXPECT_NEAR(m_data.ratio6[kWindow + 7], m_data.close[kWindow + 7] / (before / 6), 1e-9);
    // The means over the whole history: from the 30th and 54th stored day, older days and all.
    for (const auto& [series, span] : {std::pair{&m_data.mean30, 30}, std::pair{&m_data.mean54, 54}}) {
        const auto n = static_cast<std::size_t>(span);
        EXPECT_TRUE(std::isnan((*series)[n - 2])) << span;
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            sum += m_data.close[i];
        }
        EXPECT_NEAR((*series)[n - 1], sum / span, 1e-9) << span;
    }
    EXPECT_NEAR(m_data.volumeMean30[299],
        std::accumulate(m_data.volume.end() - 30, m_data.volume.end(), 0.0) / 30, 1e-6);
    EXPECT_EQ(m_data.dates.back(), m_latest);

    auto w = open();
    // A year of days to begin with; zoomed out, the first stored day.
    EXPECT_DOUBLE_EQ(w->firstDay(), 49.5);
    EXPECT_DOUBLE_EQ(w->lastDay(), 299.5);
    EXPECT_EQ(w->studies().topLine(299, w->choice(), m_data).rfind(m_latest + "  始値 ", 0), 0u);
    w->zoom(4, 150);
    EXPECT_DOUBLE_EQ(w->firstDay(), -0.5);
    EXPECT_DOUBLE_EQ(w->lastDay(), 299.5);
    // The price axis starts near the prices, not at 0.
    double lowest = 1e18;
    for (double v : m_data.low) {
        lowest = std::min(lowest, v);
    }
    EXPECT_GT(w->valueAxis(Frm_Chart::Price)->min(), lowest * 0.8);
    EXPECT_LE(w->valueAxis(Frm_Chart::Price)->min(), lowest);
    // Zoomed onto the last month, the price axis fits that month's prices.
    w->setDayRange(275.5, 299.5);
    const auto& s = w->studies();
    const auto shown = ui::ChartScale::extent(
        {&m_data.high, &m_data.low, &m_data.mean30, &m_data.mean54, &s.means[0], &s.means[1], &s.means[2]},
        276, 299, true);
    auto* y = w->valueAxis(Frm_Chart::Price);
    EXPECT_LE(y->min(), shown.lo);
    EXPECT_GE(y->max(), shown.hi);
    EXPECT_LT(y->max() - y->min(), (shown.hi - shown.lo) * 2.5) << y->min() << " " << y->max();
}

TEST_F(ChartWindow, EachChartDrawsItsSeriesWhereTheValuesAre)
{
    auto w = open();
    const QColor volumeBlue(0x9D, 0xC3, 0xE6);
    const QColor strengthBlue(0x2E, 0x75, 0xB6);
    const QColor mean30Orange(0xED, 0x7D, 0x31);
    const QImage price = w->view(Frm_Chart::Price)->grab().toImage();
    const QImage volume = w->view(Frm_Chart::Volume)->grab().toImage();
    const QImage strength = w->view(Frm_Chart::Strength)->grab().toImage();
    const QImage ratio = w->view(Frm_Chart::Ratio)->grab().toImage();
    int up = 0;
    int down = 0;
    for (int day = 60; day < 300; day += 7) {
        // 陽線 red, 陰線 blue, from the middle of the body.
        const auto n = static_cast<std::size_t>(day);
        const bool rising = m_data.close[n] >= m_data.open[n];
        if (std::abs(pixel(*w, Frm_Chart::Price, day, m_data.open[n]).y()
                - pixel(*w, Frm_Chart::Price, day, m_data.close[n]).y())
            < 3) {
            continue;
        }
        (rising ? up : down) += 1;
        // Down the body's middle column: the candle's colour, never the other's (a line may cross it).
        const QPoint top = pixel(*w, Frm_Chart::Price, day, std::max(m_data.open[n], m_data.close[n]));
        const QPoint bottom = pixel(*w, Frm_Chart::Price, day, std::min(m_data.open[n], m_data.close[n]));
        int own = 0;
        int other = 0;
        for (int y = top.y() + 1; y < bottom.y(); ++y) {
            const QColor c = price.pixelColor(top.x(), y);
            own += c == (rising ? Frm_Chart::buyColour() : Frm_Chart::sellColour());
            other += c == (rising ? Frm_Chart::sellColour() : Frm_Chart::buyColour());
        }
        EXPECT_GT(own, 0) << day;
        EXPECT_EQ(other, 0) << day;
    }
    EXPECT_GT(up, 5);
    EXPECT_GT(down, 5);
    for (int day : {110, 201, 293}) {
        const auto n = static_cast<std::size_t>(day);
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
    w->setDayRange(-0.5, 299.5);
    const QImage whole = w->view(Frm_Chart::Price)->grab().toImage();
    EXPECT_FALSE(drawnNear(whole, pixel(*w, Frm_Chart::Price, 20, m_data.close[20]), mean54Green));
    EXPECT_TRUE(drawnNear(whole, pixel(*w, Frm_Chart::Price, 60, m_data.mean54[60]), mean54Green));
}

TEST_F(ChartWindow, PointerWheelDragAndSave)
{
    auto w = open();
    auto* viewport = w->view(Frm_Chart::Volume)->viewport();
    const QPoint at = pixel(*w, Frm_Chart::Volume, 100, 0);
    QTest::mouseMove(viewport, QPoint(at.x(), viewport->height() / 2));
    EXPECT_EQ(w->shownDay(), 100);
    EXPECT_EQ(w->dayLabel()->fullText().toStdString(), w->studies().topLine(100, w->choice(), m_data));

    // The wheel over day 150 shows fewer days around it, and the top line the day under the
    // pointer without waiting for it to move; dragging moves them.
    const QPoint wheelAt = pixel(*w, Frm_Chart::Volume, 150, 0);
    QWheelEvent wheel(QPointF(wheelAt.x(), viewport->height() / 2.0),
        viewport->mapToGlobal(QPointF(wheelAt.x(), 10)), QPoint(), QPoint(0, 240), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    const double span = w->lastDay() - w->firstDay();
    EXPECT_NEAR(span, 250 * 0.64, 1);
    EXPECT_LT(w->firstDay(), 100);
    EXPECT_GT(w->lastDay(), 150);
    EXPECT_NEAR(w->shownDay(), 150, 1);
    EXPECT_EQ(
        w->dayLabel()->fullText().toStdString(), w->studies().topLine(w->shownDay(), w->choice(), m_data));
    const double first = w->firstDay();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(at.x(), 40));
    QTest::mouseMove(viewport, QPoint(at.x() + 100, 40));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(at.x() + 100, 40));
    EXPECT_LT(w->firstDay(), first);
    EXPECT_NEAR(w->lastDay() - w->firstDay(), span, 1e-9);

    test::TempFolder dir;
    const QString target = QString::fromStdString((dir / "chart.png").string());
    w->setSaveTarget([&] { return target; });
    auto* button = w->findChild<QPushButton*>(QStringLiteral("SavePng"));
    QTest::mouseClick(button, Qt::LeftButton);
    QImage saved(target);
    EXPECT_EQ(saved.size(), w->size() * w->devicePixelRatio());
    EXPECT_EQ(w->saveStatus()->fullText(), QStringLiteral("保存しました: ") + target);
    // The picture shows the charts, not the button: its place is one plain colour.
    const QRect place = button->geometry();
    const QColor plain = saved.pixelColor(place.topLeft());
    int others = 0;
    for (int x = place.left(); x <= place.right(); ++x) {
        for (int y = place.top(); y <= place.bottom(); ++y) {
            others += saved.pixelColor(x, y) != plain;
        }
    }
    EXPECT_EQ(others, 0);
    EXPECT_TRUE(button->isVisible());

    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(ChartWindow, AfterAZoomTheAxesShowTheShownDaysOnly)
{
    auto w = open();
    for (auto [first, last] : {std::pair{40.5, 110.5}, std::pair{-0.5, 249.5}, std::pair{150.5, 175.5}}) {
        w->setDayRange(first, last);
        QApplication::processEvents();
        // Month labels inside the shown days, none on top of another.
        for (auto c : {Frm_Chart::Price, Frm_Chart::Volume, Frm_Chart::Strength, Frm_Chart::Ratio}) {
            QCategoryAxis* x = nullptr;
            for (auto* axis : w->chart(c)->axes(Qt::Horizontal)) {
                x = x ? x : qobject_cast<QCategoryAxis*>(axis);
            }
            ASSERT_NE(x, nullptr);
            const double perDay = w->chart(c)->plotArea().width() / (last - first);
            // A tick on every month's first shown day; labels apart and evenly thinned.
            std::vector<int> starts;
            for (int i = static_cast<int>(std::ceil(first)); i <= static_cast<int>(last); ++i) {
                const auto n = static_cast<std::size_t>(i);
                if (i > 0 && m_data.dates[n].substr(0, 7) != m_data.dates[n - 1].substr(0, 7)) {
                    starts.push_back(i);
                }
            }
            EXPECT_EQ(w->monthTicks(), starts);
            double previous = -1e9;
            for (const QString& label : x->categoriesLabels()) {
                const int day = static_cast<int>(x->endValue(label));
                EXPECT_NE(std::find(starts.begin(), starts.end(), day), starts.end()) << day;
                EXPECT_EQ(label.toStdString(), m_data.dates[static_cast<std::size_t>(day)].substr(0, 7));
                EXPECT_GE((day - previous) * perDay, 50) << label.toStdString();
                previous = day;
            }
            EXPECT_FALSE(x->categoriesLabels().isEmpty());
        }
        // The strength axis fits the shown values, with no second axis beside it.
        double lo = 1e9;
        double hi = -1e9;
        for (int i = static_cast<int>(std::ceil(first)); i <= static_cast<int>(last); ++i) {
            for (const auto* v : {&m_data.shortStrength, &m_data.strength14}) {
                if (std::isfinite((*v)[static_cast<std::size_t>(i)])) {
                    lo = std::min(lo, (*v)[static_cast<std::size_t>(i)]);
                    hi = std::max(hi, (*v)[static_cast<std::size_t>(i)]);
                }
            }
        }
        auto* y = w->valueAxis(Frm_Chart::Strength);
        // Labels with every digit their step needs.
        const double step = y->tickInterval();
        EXPECT_EQ(y->labelFormat(), QStringLiteral("%.%1f").arg(std::max(1, ui::ChartScale::decimals(step))));
        EXPECT_LE(y->min(), lo);
        EXPECT_GE(y->max(), hi);
        EXPECT_LT(y->max() - y->min(), (hi - lo) * 1.6 + 0.1) << y->min() << " " << y->max();
        int visible = 0;
        for (auto* axis : w->chart(Frm_Chart::Strength)->axes(Qt::Vertical)) {
            visible += axis->isVisible();
        }
        EXPECT_EQ(visible, 1);
    }
}

TEST_F(ChartWindow, SignalsAreMarkedUnderAndOverTheBarsAndTheTopLineSaysWhatFollowed)
{
    auto w = open();
    const auto marks = ui::ChartSignals::read(*m_module, m_data.days());
    w->setSignals(marks);
    QApplication::processEvents();
    // 短期買, 中期買, 短期売, 中期売: every marked day in exactly one of them.
    std::array<int, 4> expected{};
    for (int day = 0; day < m_data.days(); ++day) {
        const auto h = marks.shortMark(day);
        const bool confirmed = marks.volumeMark(day) == h;
        if (h == analysis::Indicators::Mark::Buy) {
            ++expected[confirmed ? 1 : 0];
        } else if (h == analysis::Indicators::Mark::Sell) {
            ++expected[confirmed ? 3 : 2];
        }
    }
    EXPECT_GT(expected[0] + expected[1] + expected[2] + expected[3], 5);
    for (int s = 0; s < 4; ++s) {
        ASSERT_NE(w->signalSeries(s), nullptr);
        EXPECT_EQ(w->signalSeries(s)->count(), expected[static_cast<std::size_t>(s)]) << s;
        for (const auto& p : w->signalSeries(s)->points()) {
            const auto i = static_cast<std::size_t>(std::lround(p.x()));
            // Under the low for a buy, over the high for a sell, inside the axis.
            EXPECT_TRUE(s < 2 ? p.y() < m_data.low[i] : p.y() > m_data.high[i]) << s << " day " << i;
            EXPECT_GE(p.y(), w->valueAxis(Frm_Chart::Price)->min());
            EXPECT_LE(p.y(), w->valueAxis(Frm_Chart::Price)->max());
        }
    }
    EXPECT_EQ(w->signalSeries(1)->name(), "中期買");

    // The day under the pointer (the pointer's path is the existing one): its figures, then the
    // returns that followed it.
    w->showDay(100);
    ASSERT_EQ(w->shownDay(), 100);
    EXPECT_EQ(w->dayLabel()->fullText().toStdString(),
        w->studies().topLine(100, w->choice(), m_data) + "\n" + marks.returnsLine(100));
    double r = 0;
    ASSERT_TRUE(marks.returnAfter(100, 5, &r));
    EXPECT_DOUBLE_EQ(r, (m_data.close[105] - m_data.close[100]) / m_data.close[100]);
}

TEST_F(ChartWindow, NoTextWidensTheWindowAndThePlotsStayInsideTheirPanels)
{
    auto w = open();
    w->setSignals(ui::ChartSignals::read(*m_module, m_data.days()));
    QApplication::processEvents();
    const QSize size = w->size();
    auto* viewport = w->view(Frm_Chart::Price)->viewport();
    for (int x = 0; x < viewport->width(); x += 7) {
        QTest::mouseMove(viewport, QPoint(x, viewport->height() / 2));
    }
    test::TempFolder dir;
    const QString target = QString::fromStdString((dir / std::string(200, 'x')).string()) + ".png";
    w->setSaveTarget([&] { return target; });
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("SavePng")), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(w->saveStatus()->fullText(), QStringLiteral("保存しました: ") + target);
    EXPECT_EQ(w->size(), size);
    EXPECT_LE(w->minimumSizeHint().width(), size.width());
    EXPECT_LE(w->minimumSizeHint().height(), size.height());
    // The top line is cut to its room; the tip holds it whole.
    EXPECT_EQ(w->dayLabel()->toolTip(), w->dayLabel()->fullText());
    EXPECT_LE(w->dayLabel()->geometry().right(), w->findChild<QPushButton*>(QStringLiteral("SavePng"))->x());

    // At any size and zoom each plot lies inside its chart, clear of the legend, and all four
    // share their left and right edges.
    for (QSize at : {QSize(640, 820), QSize(1270, 980), QSize(900, 700)}) {
        w->resize(at);
        for (auto [first, last] : {std::pair{-0.5, 249.5}, std::pair{200.5, 215.5}}) {
            w->setDayRange(first, last);
            QApplication::processEvents();
            QApplication::processEvents();
            const QRectF shared = w->chart(Frm_Chart::Price)->plotArea();
            for (auto c : {Frm_Chart::Price, Frm_Chart::Volume, Frm_Chart::Strength, Frm_Chart::Ratio}) {
                auto* chart = w->chart(c);
                const QRectF area = chart->plotArea();
                EXPECT_TRUE(QRectF(QPointF(0, 0), chart->size()).contains(area)) << at.width() << " " << c;
                EXPECT_FALSE(area.intersects(chart->legend()->geometry())) << at.width() << " " << c;
                EXPECT_NEAR(area.left(), shared.left(), 1);
                EXPECT_NEAR(area.right(), shared.right(), 1);
            }
        }
    }
}

TEST_F(ChartWindow, BuyAndSellKeepOneColourEach)
{
    auto w = open();
    w->setSignals(ui::ChartSignals::read(*m_module, m_data.days()));
    std::map<std::string, QScatterSeries*> series;
    for (auto* s : w->chart(Frm_Chart::Price)->series()) {
        if (auto* scatter = qobject_cast<QScatterSeries*>(s)) {
            series[scatter->name().toStdString()] = scatter;
        }
    }
    ASSERT_EQ(series.size(), 8u);
    EXPECT_EQ(series["陽線"]->color(), Frm_Chart::buyColour());
    EXPECT_EQ(series["陰線"]->color(), Frm_Chart::sellColour());
    // The marks are drawn into their texture: its middle row holds the triangle's colour.
    auto markColour = [](QScatterSeries* s) {
        const QImage image = s->brush().textureImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    EXPECT_EQ(series["買ゾ"]->color(), Frm_Chart::buyColour());
    EXPECT_EQ(series["売ゾ"]->color(), Frm_Chart::sellColour());
    EXPECT_EQ(markColour(series["中期買"]), Frm_Chart::buyColour());
    EXPECT_EQ(markColour(series["中期売"]), Frm_Chart::sellColour());
    EXPECT_NE(Frm_Chart::buyColour(), Frm_Chart::sellColour());
}

TEST_F(ChartWindow, PeriodsOverlaysAndPanelsAreChosenFromTheControlsAndKept)
{
    for (std::size_t i = 0; i < m_data.dates.size(); ++i) {
        m_data.topix.push_back(1500.0 + static_cast<double>(i));
    }
    auto w = open();
    std::vector<ui::ChartChoice> kept;
    w->setChoiceKeeper([&](const ui::ChartChoice& c) { kept.push_back(c); });
    auto box = [&](const char* name) { return w->findChild<QCheckBox*>(QString::fromUtf8(name)); };

    // The cloud runs on 25 bars past the last day, into the range when that ended on it.
    box("Ichimoku")->click();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept.back().ichimoku);
    EXPECT_DOUBLE_EQ(w->lastDay(), 299.5 + ui::ChartStudies::kShift);
    EXPECT_FALSE(std::isnan(w->studies().span1.back()));
    box("Topix")->click();
    EXPECT_TRUE(kept.back().topix);
    w->showDay(10);
    EXPECT_NE(
        w->dayLabel()->fullText().toStdString().find("  TOPIX " + exporting::ChartData::priceText(1510)),
        std::string::npos)
        << w->dayLabel()->fullText().toStdString();
    box("MacdPanel")->click();
    box("StochasticsPanel")->click();
    EXPECT_TRUE(w->view(Frm_Chart::Macd)->isVisibleTo(w.get()));
    EXPECT_TRUE(w->view(Frm_Chart::Stochastics)->isVisibleTo(w.get()));
    EXPECT_FALSE(w->view(Frm_Chart::Rsi)->isVisibleTo(w.get()));
    QApplication::processEvents();
    // Every chart shown shares the price chart's left and right edges.
    const QRectF shared = w->chart(Frm_Chart::Price)->plotArea();
    for (auto c :
        {Frm_Chart::Volume, Frm_Chart::Strength, Frm_Chart::Ratio, Frm_Chart::Macd, Frm_Chart::Stochastics}) {
        EXPECT_NEAR(w->chart(c)->plotArea().left(), shared.left(), 1) << c;
        EXPECT_NEAR(w->chart(c)->plotArea().right(), shared.right(), 1) << c;
    }

    // 週足: the calendar weeks of the days, the workbook's view and its panels left out.
    auto* period = w->findChild<QComboBox*>(QStringLiteral("Period"));
    period->setCurrentIndex(1);
    EXPECT_EQ(kept.back().period, ui::ChartChoice::Period::Week);
    const auto weeks = analysis::PeriodBars::of(m_data.dailyBars(), analysis::PeriodBars::Period::Week);
    ASSERT_EQ(w->studies().count(), static_cast<int>(weeks.size()));
    EXPECT_FALSE(w->view(Frm_Chart::Strength)->isVisibleTo(w.get()));
    EXPECT_FALSE(box("Zones")->isEnabled());
    EXPECT_TRUE(box("Zones")->isChecked());
    EXPECT_EQ(w->findChild<QSpinBox*>(QStringLiteral("MeanLength2"))->value(), 26);
    // Zoomed out, the first week; its ticks on the quarters' first weeks.
    w->zoom(10, 10);
    EXPECT_DOUBLE_EQ(w->firstDay(), -0.5);
    for (int tick : w->monthTicks()) {
        const auto& date = weeks[static_cast<std::size_t>(tick)].date;
        const auto& before = weeks[static_cast<std::size_t>(tick) - 1].date;
        EXPECT_NE((std::stoi(date.substr(5, 2)) - 1) / 3, (std::stoi(before.substr(5, 2)) - 1) / 3) << date;
    }
    EXPECT_FALSE(w->monthTicks().empty());
    w->showDay(10);
    EXPECT_EQ(w->dayLabel()->fullText().toStdString().rfind(weeks[10].date + "の週  始値 ", 0), 0u);

    auto* length = w->findChild<QSpinBox*>(QStringLiteral("MeanLength1"));
    length->setValue(10);
    EXPECT_EQ(w->studies().meanLengths[0], 10);
    EXPECT_EQ(kept.back().lengths[1][0], 10);
    EXPECT_EQ(kept.back().lengths[0][0], 5);

    // Kept in the database, the next window opens as it was left.
    kept.back().write(*m_module->SharedConnection);
    const auto read = ui::ChartChoice::read(*m_module->SharedConnection);
    EXPECT_EQ(read, kept.back());
    auto again = std::make_unique<Frm_Chart>(m_data, read);
    EXPECT_EQ(again->findChild<QComboBox*>(QStringLiteral("Period"))->currentIndex(), 1);
    EXPECT_TRUE(again->findChild<QCheckBox*>(QStringLiteral("MacdPanel"))->isChecked());
    EXPECT_TRUE(again->findChild<QCheckBox*>(QStringLiteral("Topix"))->isChecked());
    EXPECT_EQ(again->findChild<QSpinBox*>(QStringLiteral("MeanLength1"))->value(), 10);
    EXPECT_EQ(again->studies().count(), static_cast<int>(weeks.size()));
}

TEST_F(ChartWindow, ADayWithoutATradeIsAGapAndItsTopLineSaysSo)
{
    // A Saturday taken for a market day the stock has no row of, as a store can have it.
    std::vector<std::string> market = m_data.dates;
    std::size_t friday = 0;
    // A Friday whose Monday is in the same month, the day between them a Saturday.
    for (std::size_t i = 260; i + 1 < market.size() && friday == 0; ++i) {
        const bool sameMonth = market[i + 1].substr(0, 7) == market[i].substr(0, 7);
        if (sameMonth && std::stoi(market[i + 1].substr(8)) - std::stoi(market[i].substr(8)) == 3) {
            friday = i;
        }
    }
    ASSERT_NE(friday, 0u);
    char saturday[32];
    std::snprintf(saturday, sizeof saturday, "%s%02d", market[friday].substr(0, 8).c_str(),
        std::stoi(market[friday].substr(8)) + 1);
    market.insert(market.begin() + static_cast<long>(friday) + 1, saturday);
    m_data.addUntradedDays(market);
    ASSERT_EQ(m_data.days(), 301);
    auto w = open();
    const int gap = static_cast<int>(friday) + 1;
    w->showDay(gap);
    EXPECT_EQ(w->dayLabel()->fullText().toStdString().rfind(std::string(saturday) + "  取引なし", 0), 0u);
    // Its column holds no candle; the days either side do.
    const QImage price = w->view(Frm_Chart::Price)->grab().toImage();
    auto candlePixels = [&](int day) {
        const QPoint top = pixel(*w, Frm_Chart::Price, day, w->valueAxis(Frm_Chart::Price)->max());
        const QPoint bottom = pixel(*w, Frm_Chart::Price, day, w->valueAxis(Frm_Chart::Price)->min());
        int count = 0;
        for (int y = top.y() + 1; y < bottom.y() - 1; ++y) {
            const QColor c = price.pixelColor(top.x(), y);
            count += c == Frm_Chart::buyColour() || c == Frm_Chart::sellColour();
        }
        return count;
    };
    EXPECT_EQ(candlePixels(gap), 0);
    EXPECT_GT(candlePixels(gap - 1), 0);
    EXPECT_GT(candlePixels(gap + 1), 0);
}

TEST_F(ChartWindow, EveryValueAxisHasRoomForItsLabelsInEachPeriodWithEverythingOn)
{
    auto w = open();
    ui::ChartChoice all;
    all.bollinger = all.ichimoku = all.macd = all.rsi = all.stochastics = true;
    for (auto period :
        {ui::ChartChoice::Period::Month, ui::ChartChoice::Period::Week, ui::ChartChoice::Period::Day}) {
        all.period = period;
        w->setChoice(all);
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
        }
        for (int c = 0; c < Frm_Chart::kCharts; ++c) {
            const auto which = static_cast<Frm_Chart::Chart>(c);
            if (w->view(which)->isHidden()) {
                continue;
            }
            auto* y = w->valueAxis(which);
            const double labels = (y->max() - y->min()) / y->tickInterval() + 1;
            const double height = w->chart(which)->plotArea().height();
            // Each label's share of the height, less the axis's padding, holds its line: a lower
            // one is cut to "…".
            EXPECT_GE(height / labels - 8, QFontMetricsF(y->labelsFont()).height())
                << static_cast<int>(period) << " chart " << c << ": " << labels << " labels in " << height
                << " " << y->min() << ".." << y->max() << " by " << y->tickInterval();
        }
    }
}
