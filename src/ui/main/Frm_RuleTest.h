#pragma once

#include "model/RuleTestDialogModel.h"

#include <QDialog>

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zuvemo::ui {

class GridView;

// "成績" of "条件検索"'s conditions: the rule's rows, its money beside the market's in a grid and
// a small chart, and what the test rests on. The test runs on a thread of its own, its progress
// shown and "中 止" at hand.
class Frm_RuleTest : public QDialog
{
    Q_OBJECT

public:
    explicit Frm_RuleTest(std::unique_ptr<RuleTestDialogModel> model, QWidget* parent = nullptr);
    ~Frm_RuleTest() override;

    RuleTestDialogModel& model() { return *m_model; }
    GridView* grid() const { return m_grid; }
    GridView* money() const { return m_money; }
    QChartView* chart() const { return m_chart; }
    // Runs the test with the boxes' settings; a box refused is tinted and its reason shown.
    void runTest();
    // Shows a report made elsewhere as the test's result.
    void showReport(analysis::TrackReport report);

protected:
    void done(int result) override;

private:
    void poll();
    void render();
    void renderChart();
    QWidget* boxOf(RuleTestDialogModel::Box box) const;
    void openRange();
    RuleTestDialogModel::Boxes typedBoxes() const;

    std::unique_ptr<RuleTestDialogModel> m_model;
    QLabel* m_heading = nullptr;
    QLineEdit* m_horizons = nullptr;
    QComboBox* m_entry = nullptr;
    QCheckBox* m_byYear = nullptr;
    QCheckBox* m_everyDay = nullptr;
    QLineEdit* m_hold = nullptr;
    QLineEdit* m_slots = nullptr;
    QLineEdit* m_capital = nullptr;
    QComboBox* m_lot = nullptr;
    QLineEdit* m_cost = nullptr;
    QCheckBox* m_dividends = nullptr;
    QCheckBox* m_tax = nullptr;
    QComboBox* m_market = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_range = nullptr;
    QLabel* m_progress = nullptr;
    QProgressBar* m_bar = nullptr;
    GridView* m_grid = nullptr;
    QLabel* m_moneyHeading = nullptr;
    GridView* m_money = nullptr;
    QChartView* m_chart = nullptr;
    QLabel* m_limits = nullptr;
    QPushButton* m_close = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace zuvemo::ui
