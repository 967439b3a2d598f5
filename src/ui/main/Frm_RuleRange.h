#pragma once

#include "model/RuleRangeModel.h"

#include <QDialog>
#include <memory>
#include <vector>

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace zuvemo::ui {

class GridView;
class HeatMapView;

// "範囲で試す" of the rule window: a range beside each bound, the objective and the walk-forward,
// every combination tested on a thread of its own; the variants' grid, the heat map, the
// walk-forward beside the market and TOPIX, the odds of an accident and the folder's history.
class Frm_RuleRange : public QDialog
{
    Q_OBJECT

public:
    Frm_RuleRange(std::filesystem::path programFolder, std::unique_ptr<RuleRangeModel> model,
        QWidget* parent = nullptr);
    ~Frm_RuleRange() override;

    RuleRangeModel& model() { return *m_model; }
    HeatMapView* heatMap() const { return m_heatMap; }
    GridView* grid() const { return m_grid; }
    void runTest();

protected:
    void done(int result) override;

private:
    struct FieldBoxes
    {
        QLineEdit *from = nullptr, *to = nullptr, *step = nullptr;
    };
    void poll();
    void render();
    void renderChart();
    void openVariant(std::size_t variant);

    std::filesystem::path m_folder;
    std::unique_ptr<RuleRangeModel> m_model;
    std::vector<FieldBoxes> m_fields;
    QComboBox* m_objective = nullptr;
    QComboBox* m_walkForward = nullptr;
    QCheckBox* m_rolling = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_progress = nullptr;
    GridView* m_grid = nullptr;
    HeatMapView* m_heatMap = nullptr;
    QChartView* m_chart = nullptr;
    QLabel* m_odds = nullptr;
    QLabel* m_walkText = nullptr;
    QLabel* m_historyHeading = nullptr;
    QListWidget* m_history = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace zuvemo::ui
