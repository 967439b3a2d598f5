#pragma once

#include "model/ConditionSearchModel.h"

#include <QDialog>
#include <filesystem>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace zuvemo::ui {

class GridView;

// "条件検索": find's conditions in boxes and its stocks in a grid, in a window of its own beside the
// main window.
class Frm_ConditionSearch : public QDialog
{
    Q_OBJECT

public:
    // What the dialog asks of the main window.
    struct Hooks
    {
        // Runs a handler as the main window runs its own; false while a command of its runs.
        std::function<bool(const std::function<void()>&)> run;
        // "画面表示" for the stock; false while a command of the main window runs.
        std::function<bool(const std::string& code, const std::string& name)> showChart;
        // "候補に追加" for the chosen rows of the model.
        std::function<void(ConditionSearchModel&)> addCandidates;
        std::function<bool()> fillRunning;
    };

    Frm_ConditionSearch(core::Mdl_Start& module, Hooks hooks, const std::vector<std::string>& markets,
        const std::vector<std::string>& industries, QWidget* parent = nullptr);

    ConditionSearchModel& model() { return m_model; }
    GridView* grid() const { return m_grid; }
    void search();
    // "この条件を検証": the boxes' conditions tested over the stored days in a window of its own.
    void testRule();
    // The boxes from the model: at the start and after "条件クリア"; the user's typing stays else.
    void showConditions();
    // The messages, the grid and the lines under it.
    void render();
    // The main window's fill began or ended.
    void fillChanged(bool running);

    static constexpr const char* kBusyNote = "実行中の処理が終わってから操作してください。";
    // Box pairs a column of a tab holds before the next column starts: the dialog stays low.
    static constexpr int kRowsPerColumn = 6;
    static constexpr int kBoxWidth = 80;
    static constexpr int kTechnicalBoxWidth = 56;
    static constexpr int kFlagsPerLine = 3;

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A tab of one group's range boxes; the flags and the crosses go on the technical one, in
    // its groups side by side.
    QWidget* groupPage(ConditionSearchModel::Group group, std::vector<QWidget*>& order);
    QWidget* technicalPage(std::vector<QWidget*>& order);
    // The model's box i as caption, 下限, 〜, 上限 (width wide) and unit from column at of row.
    void addBoxPair(std::size_t i, QGridLayout* grid, int row, int at, int width, QWidget* parent,
        std::vector<QWidget*>& order);
    void readBoxes();
    // The first box in error in view and with the focus.
    void showFirstError();
    // Through the main window's gate: one handler at a time, its errors shown as its own.
    void runInMain(const std::function<void()>& handler);
    void holdSize();
    void keep();

    ConditionSearchModel m_model;
    Hooks m_hooks;
    std::filesystem::path m_folder;
    // By the model's boxes, in their order.
    std::vector<QLineEdit*> m_low;
    std::vector<QLineEdit*> m_high;
    std::vector<QCheckBox*> m_flags; // by FigureTable's flags
    QComboBox* m_cross = nullptr;
    std::vector<QComboBox*> m_crosses; // by FigureTable's crosses
    QTabWidget* m_tabs = nullptr;
    QLabel* m_errors = nullptr;
    QLabel* m_figuresNote = nullptr;
    QComboBox* m_signal = nullptr;
    QCheckBox* m_confirmed = nullptr;
    QComboBox* m_market = nullptr;
    QComboBox* m_industry = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_test = nullptr;
    GridView* m_grid = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_close = nullptr;
    Qt::KeyboardModifiers m_modifiers;
};

} // namespace zuvemo::ui
