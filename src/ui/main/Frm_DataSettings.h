#pragma once

#include "model/DataSettingsModel.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace zuvemo::ui {

class ElidedLabel;
class SampleMarket;

// "データ設定": where the folder takes its market data from. The stored key is never shown;
// the box takes a new one.
class Frm_DataSettings : public QDialog
{
    Q_OBJECT

public:
    Frm_DataSettings(
        core::Mdl_Start& module, const core::Clock& clock, SampleMarket* sample, QWidget* parent = nullptr);

    // Fills the boxes from the folder; reason, when not empty, says why the dialog opened.
    void load(const std::string& reason);
    DataSettingsModel& model() { return m_model; }
    // True after "OK" saved a change of source.
    bool sourceChanged() const { return m_changed; }

    // For the tests: the controls a user works.
    QLineEdit* keyBox() const { return m_key; }
    QComboBox* planBox() const { return m_plan; }
    QSpinBox* daysBox() const { return m_days; }
    QLineEdit* apiUrlBox() const { return m_apiUrl; }
    QLineEdit* dailyBox() const { return m_daily; }
    QLineEdit* historyBox() const { return m_history; }
    QRadioButton* choiceButton(DataSettingsModel::Choice choice) const;
    QPushButton* checkButton() const { return m_check; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* checkLabel() const { return m_checkLabel; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* keyWarningLabel() const { return m_keyWarning; }
    QLabel* planNoteLabel() const { return m_planNote; }
    ElidedLabel* keyStatusLabel() const { return m_keyStatus; }

    // "接続確認", waiting for the answer with the dialog painted.
    void checkConnection();
    // "OK": true when saved (the dialog then closes).
    bool accept_();

private:
    void takeControls();
    void showChoice();

    DataSettingsModel m_model;
    SampleMarket* m_sample;
    bool m_changed = false;
    // The controls are being set from the model: their signals are no user's change.
    bool m_loading = false;
    QLabel* m_reason = nullptr;
    QRadioButton* m_useJQuants = nullptr;
    QRadioButton* m_useCsv = nullptr;
    QRadioButton* m_useSample = nullptr;
    QGroupBox* m_jquants = nullptr;
    QGroupBox* m_csv = nullptr;
    QGroupBox* m_sampleBox = nullptr;
    QLineEdit* m_key = nullptr;
    ElidedLabel* m_keyStatus = nullptr;
    QLabel* m_keyWarning = nullptr;
    QComboBox* m_plan = nullptr;
    QSpinBox* m_days = nullptr;
    QLabel* m_planNote = nullptr;
    QLineEdit* m_apiUrl = nullptr;
    QPushButton* m_check = nullptr;
    QLabel* m_checkLabel = nullptr;
    QLineEdit* m_daily = nullptr;
    QLineEdit* m_history = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace zuvemo::ui
