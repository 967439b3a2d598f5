#include "Frm_DataSettings.h"

#include "ElidedLabel.h"
#include "SampleMarket.h"
#include "UiStyle.h"
#include "core/DatabaseError.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "model/GridData.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <future>

namespace zuvemo::ui {

namespace {

constexpr std::uint32_t kYellowFace = 0x00FFFF;
const char* const kPlans[] = {"free", "light", "standard", "premium"};

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QLabel* note(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent); // owned by parent
    label->setWordWrap(true);
    // A long reason or path wraps to the box's width rather than widen the box.
    QSizePolicy policy = label->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Ignored);
    label->setSizePolicy(policy);
    return label;
}

} // namespace

Frm_DataSettings::Frm_DataSettings(
    core::Mdl_Start& module, const core::Clock& clock, SampleMarket* sample, QWidget* parent)
    : QDialog(parent)
    , m_model(module, clock)
    , m_sample(sample)
{
    setWindowTitle(QString::fromUtf8(DataSettingsModel::kTitle));
    setObjectName(QStringLiteral("Frm_DataSettings"));
    setModal(true);
    setMinimumWidth(660);
    UiStyle::setBackground(this, GridColor::kLightOrange);
    setFont(UiStyle::proportional(11));

    auto* layout = new QVBoxLayout(this); // owned by the dialog
    m_reason = note(QString(), this);
    m_reason->setObjectName(QStringLiteral("Label_reason"));
    QPalette red = m_reason->palette();
    red.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
    m_reason->setPalette(red);
    layout->addWidget(m_reason);

    m_useJQuants = new QRadioButton(QStringLiteral("J-Quants"), this);
    m_useCsv = new QRadioButton(QStringLiteral("CSV アドレス"), this);
    m_useSample = new QRadioButton(QStringLiteral("サンプル市場"), this);
    auto* group = new QButtonGroup(this);
    for (auto* b : {m_useJQuants, m_useCsv, m_useSample}) {
        group->addButton(b);
    }

    layout->addWidget(m_useJQuants);
    m_jquants = new QGroupBox(this);
    auto* form = new QFormLayout(m_jquants);
    auto* keyRow = new QHBoxLayout;
    m_key = new QLineEdit(m_jquants);
    m_key->setObjectName(QStringLiteral("Text_key"));
    UiStyle::setPasswordBox(m_key);
    m_key->setMinimumWidth(240);
    keyRow->addWidget(m_key);
    // The key file's path is cut in its middle rather than widen the box.
    m_keyStatus = new ElidedLabel(1, Qt::ElideMiddle, m_jquants);
    keyRow->addWidget(m_keyStatus, 1);
    form->addRow(QStringLiteral("APIキー"), keyRow);
    // A key file others may read is said here, as on the tool's standard error.
    m_keyWarning = note(QString(), m_jquants);
    m_keyWarning->setObjectName(QStringLiteral("Label_keyWarning"));
    m_keyWarning->setPalette(red);
    form->addRow(QString(), m_keyWarning);
    m_plan = new QComboBox(m_jquants);
    for (const char* plan : kPlans) {
        m_plan->addItem(q(marketdata::DataSource::planName(plan)), QString::fromLatin1(plan));
    }
    form->addRow(QStringLiteral("プラン"), m_plan);
    m_days = new QSpinBox(m_jquants);
    m_days->setRange(20, 5000);
    m_days->setSuffix(QStringLiteral(" 日"));
    form->addRow(QStringLiteral("取得日数"), m_days);
    // What the plan reaches and how long a first fill of these days takes.
    m_planNote = note(QString(), m_jquants);
    m_planNote->setObjectName(QStringLiteral("Label_planNote"));
    form->addRow(QString(), m_planNote);
    auto showPlan = [this] {
        m_planNote->setText(
            q(DataSettingsModel::planText(m_plan->currentData().toString().toStdString(), m_days->value())));
    };
    connect(m_plan, &QComboBox::currentIndexChanged, this, showPlan);
    connect(m_days, &QSpinBox::valueChanged, this, showPlan);
    m_apiUrl = new QLineEdit(m_jquants);
    form->addRow(QStringLiteral("API アドレス"), m_apiUrl);
    m_check = new QPushButton(QStringLiteral("接続確認"), m_jquants);
    m_check->setObjectName(QStringLiteral("Command_check"));
    UiStyle::setButtonFace(m_check, kYellowFace);
    m_check->setMinimumWidth(110);
    m_checkLabel = note(QString(), m_jquants);
    m_checkLabel->setObjectName(QStringLiteral("Label_check"));
    // Room for a reason of two lines, so the box need not grow under the user's eyes.
    m_checkLabel->setMinimumHeight(2 * m_checkLabel->fontMetrics().lineSpacing() + 4);
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(m_check, 0, Qt::AlignTop);
    checkRow->addWidget(m_checkLabel, 1);
    form->addRow(checkRow);
    layout->addWidget(m_jquants);

    layout->addWidget(m_useCsv);
    m_csv = new QGroupBox(this);
    auto* csvForm = new QFormLayout(m_csv);
    m_daily = new QLineEdit(m_csv);
    m_daily->setObjectName(QStringLiteral("Text_daily"));
    m_history = new QLineEdit(m_csv);
    m_history->setObjectName(QStringLiteral("Text_history"));
    csvForm->addRow(QStringLiteral("日別一覧"), m_daily);
    csvForm->addRow(QStringLiteral("株価履歴"), m_history);
    layout->addWidget(m_csv);

    layout->addWidget(m_useSample);
    m_sampleBox = new QGroupBox(this);
    auto* sampleLayout = new QVBoxLayout(m_sampleBox);
    sampleLayout->addWidget(
        note(QStringLiteral("架空の銘柄の市場をこのコンピューターで起動します（本プログラムの"
                            "実行中のみ）。アカウントなしで試せます。"),
            m_sampleBox));
    layout->addWidget(m_sampleBox);
    const bool sampleOffered = m_sample && SampleMarket::available();
    m_useSample->setVisible(sampleOffered);
    m_sampleBox->setVisible(sampleOffered);

    m_error = note(QString(), this);
    m_error->setObjectName(QStringLiteral("Label_error"));
    m_error->setPalette(red);
    layout->addWidget(m_error);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("Command_ok"));
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("Command_cancel"));
    for (auto* b : {m_ok, m_cancel}) {
        UiStyle::setButtonFace(b, kYellowFace);
        b->setMinimumWidth(110);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    // Enter saves, also in the key's field; only a click or Space asks the server.
    m_ok->setDefault(true);
    m_check->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    for (QWidget* w :
        std::initializer_list<QWidget*>{m_jquants, m_csv, m_sampleBox, m_useJQuants, m_useCsv, m_useSample}) {
        UiStyle::setBackground(w, GridColor::kLightOrange);
    }

    connect(group, &QButtonGroup::buttonClicked, this, [this] {
        // What was said of one choice does not hold for another.
        m_error->clear();
        m_checkLabel->clear();
        showChoice();
    });
    connect(m_check, &QPushButton::clicked, this, [this] { checkConnection(); });
    // The check's answer holds for the plan, key and address it was given only.
    auto inputsChanged = [this] {
        if (m_loading) {
            return;
        }
        takeControls();
        m_model.inputsChanged();
        m_checkLabel->setText(q(m_model.checkMessage));
    };
    connect(m_plan, &QComboBox::currentIndexChanged, this, inputsChanged);
    connect(m_key, &QLineEdit::textEdited, this, inputsChanged);
    connect(m_apiUrl, &QLineEdit::textEdited, this, inputsChanged);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (accept_()) {
            accept();
        }
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QRadioButton* Frm_DataSettings::choiceButton(DataSettingsModel::Choice choice) const
{
    switch (choice) {
    case DataSettingsModel::Choice::JQuants:
        return m_useJQuants;
    case DataSettingsModel::Choice::Csv:
        return m_useCsv;
    case DataSettingsModel::Choice::Sample:
        return m_useSample;
    }
    return m_useCsv;
}

void Frm_DataSettings::load(const std::string& reason)
{
    const QScopedValueRollback<bool> loading(m_loading, true);
    m_model.load();
    m_model.reason = reason;
    m_reason->setText(q(reason));
    m_reason->setVisible(!reason.empty());
    m_key->clear();
    m_key->setPlaceholderText(m_model.keyPlace() == marketdata::ApiKey::Place::None
            ? QStringLiteral("APIキーを入力")
            : QStringLiteral("変更するときだけ入力"));
    m_keyStatus->setFullText(q(m_model.keyStatus()));
    m_keyWarning->setText(q(m_model.keyWarning()));
    m_keyWarning->setVisible(!m_model.keyWarning().empty());
    m_plan->setCurrentIndex(std::max(0, m_plan->findData(q(m_model.plan))));
    m_days->setValue(m_model.days);
    m_planNote->setText(q(DataSettingsModel::planText(m_model.plan, m_model.days)));
    m_apiUrl->setText(q(m_model.apiUrl));
    m_daily->setText(q(m_model.dailyUrl));
    m_history->setText(q(m_model.historyUrl));
    m_checkLabel->clear();
    m_error->clear();
    choiceButton(m_model.choice)->setChecked(true);
    showChoice();
}

void Frm_DataSettings::showChoice()
{
    m_jquants->setEnabled(m_useJQuants->isChecked());
    m_csv->setEnabled(m_useCsv->isChecked());
    m_sampleBox->setEnabled(m_useSample->isChecked());
}

void Frm_DataSettings::takeControls()
{
    m_model.choice = m_useJQuants->isChecked() ? DataSettingsModel::Choice::JQuants
        : m_useSample->isChecked()             ? DataSettingsModel::Choice::Sample
                                               : DataSettingsModel::Choice::Csv;
    m_model.keyInput = m_key->text().toStdString();
    m_model.plan = m_plan->currentData().toString().toStdString();
    m_model.days = m_days->value();
    m_model.apiUrl = m_apiUrl->text().trimmed().toStdString();
    while (!m_model.apiUrl.empty() && m_model.apiUrl.back() == '/') {
        m_model.apiUrl.pop_back();
    }
    m_model.dailyUrl = m_daily->text().toStdString();
    m_model.historyUrl = m_history->text().toStdString();
}

void Frm_DataSettings::checkConnection()
{
    takeControls();
    std::string error;
    const auto options = m_model.probeOptions(&error);
    if (!options) {
        m_model.setCheckMessage(error);
        m_checkLabel->setText(q(error));
        return;
    }
    // The answer may take the whole time-out: the dialog stays painted meanwhile.
    m_checkLabel->setText(QStringLiteral("確認しています…"));
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const core::Clock* clock = &m_model.clock();
    auto answer = std::async(std::launch::async, [options = *options, code = m_model.probeCode(), clock] {
        return marketdata::JQuantsRefresh::probe(options, code, *clock);
    });
    while (answer.wait_for(std::chrono::milliseconds(30)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 30);
    }
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    m_model.setCheckMessage(DataSettingsModel::probeText(answer.get(), m_model.plan));
    m_checkLabel->setText(q(m_model.checkMessage));
}

bool Frm_DataSettings::accept_()
{
    takeControls();
    if (m_model.choice == DataSettingsModel::Choice::Sample) {
        QString error;
        if (!m_sample || !m_sample->start(&error)) {
            m_error->setText(error.isEmpty() ? QStringLiteral("サンプル市場を起動できません。") : error);
            return false;
        }
        m_model.setSampleAddresses(m_sample->dailyUrl().toStdString(), m_sample->historyUrl().toStdString());
    }
    const bool changed = m_model.sourceChanged();
    std::string error;
    try {
        if (!m_model.save(&error)) {
            m_error->setText(q(error));
            return false;
        }
    } catch (const core::DatabaseError& e) {
        m_error->setText(q(e.userText()));
        return false;
    }
    m_key->clear();
    m_changed = changed;
    return true;
}

} // namespace zuvemo::ui
