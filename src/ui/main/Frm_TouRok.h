#pragma once

#include "model/PriceDialogModel.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zuvemo::ui {

class MainWindowModel;

// "希望額登録": the purchase and target price of one watched stock, modal over the main window.
class Frm_TouRok : public QDialog
{
    Q_OBJECT

public:
    Frm_TouRok(core::Mdl_Start& module, MainWindowModel& mainWindow, QWidget* parent = nullptr);

    // Loads the stock of Text_code; the dialog is then shown with exec().
    void load(const std::string& code, const std::string& row);

    PriceDialogModel& model() { return m_model; }
    void render();

private:
    void registerPrices();

    PriceDialogModel m_model;
    MainWindowModel& m_main;
    int m_row = 0;
    QLineEdit* m_text[5] = {};
    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QPushButton* m_command1 = nullptr;
};

} // namespace zuvemo::ui
