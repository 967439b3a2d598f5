#include "Frm_TouRok.h"

#include "Twips.h"
#include "UiStyle.h"
#include "core/DatabaseError.h"
#include "core/MessagePresenter.h"
#include "model/MainWindowModel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace zuvemo::ui {

Frm_TouRok::Frm_TouRok(core::Mdl_Start& module, MainWindowModel& mainWindow, QWidget* parent)
    : QDialog(parent)
    , m_model(module)
    , m_main(mainWindow)
{
    setWindowTitle(QStringLiteral("希望額登録"));
    setObjectName(QStringLiteral("Frm_TouRok"));
    setModal(true);
    setFixedSize(px(5400), px(4200));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    const QFont f = UiStyle::proportional(11);
    auto* frame = new QGroupBox(this); // owned by the dialog
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 60, 5160, 3240));
    UiStyle::setBackground(frame, GridColor::kLightOrange);

    const char* captions[] = {"銘柄コード", "銘柄名", "購入時株価", "現在の株価", "希望株価額"};
    const int tops[] = {240, 720, 1200, 1680, 2640};
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(QString::fromUtf8(captions[i]), frame);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setFont(f);
        label->setGeometry(twipsRect(120, tops[i], 1500, 360));
        m_text[i] = new QLineEdit(frame);
        m_text[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        m_text[i]->setFont(f);
        m_text[i]->setGeometry(twipsRect(1680, tops[i], i == 1 ? 3240 : 1800, 360));
        if (i >= 2) {
            m_text[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    // Boxes the user cannot type into are left out of the Tab order and look it.
    for (int i : {0, 1, 3}) {
        m_text[i]->setReadOnly(true);
        m_text[i]->setFocusPolicy(Qt::NoFocus);
        QPalette p = m_text[i]->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        m_text[i]->setPalette(p);
    }
    m_option1 = new QRadioButton(QStringLiteral("希望株価"), frame);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option1->setGeometry(twipsRect(1680, 2160, 1500, 360));
    m_option2 = new QRadioButton(QStringLiteral("希望％UP"), frame);
    m_option2->setObjectName(QStringLiteral("Option2"));
    m_option2->setGeometry(twipsRect(3240, 2160, 1500, 360));
    m_option1->setFont(f);
    m_option2->setFont(f);
    m_label2 = new QLabel(frame);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setFont(f);
    m_label2->setGeometry(twipsRect(3540, 2640, 600, 360));

    m_label3 = new QLabel(this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setGeometry(twipsRect(120, 3480, 3300, 480));
    QPalette lp = m_label3->palette();
    lp.setColor(QPalette::WindowText, UiStyle::color(GridColor::kDarkRed));
    m_label3->setPalette(lp);
    m_label3->setFont(f);
    m_command1 = new QPushButton(QStringLiteral("登 録"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(twipsRect(3600, 3420, 1680, 600));
    m_command1->setFont(UiStyle::proportional(12, true));
    UiStyle::setButtonFace(m_command1, 0x00FFFF);

    connect(m_option1, &QRadioButton::clicked, this, [this] {
        m_model.chooseAmount();
        render();
    });
    connect(m_option2, &QRadioButton::clicked, this, [this] {
        m_model.choosePercent();
        render();
    });
    for (int i = 2; i < 5; ++i) {
        connect(m_text[i], &QLineEdit::textEdited, this,
            [this, i](const QString& t) { m_model.text1[static_cast<std::size_t>(i)] = t.toStdString(); });
    }
    connect(m_command1, &QPushButton::clicked, this, &Frm_TouRok::registerPrices);
}

void Frm_TouRok::load(const std::string& code, const std::string& row)
{
    m_row = std::atoi(row.c_str());
    m_model.load(code);
    m_command1->setEnabled(m_model.rowExists);
    m_command1->setDefault(true);
    render();
    m_text[2]->setFocus();
}

void Frm_TouRok::render()
{
    for (int i = 0; i < 5; ++i) {
        m_text[i]->setText(QString::fromStdString(m_model.text1[static_cast<std::size_t>(i)]));
    }
    m_option1->setChecked(m_model.option1);
    m_option2->setChecked(m_model.option2);
    m_label2->setText(QString::fromStdString(m_model.label2));
    m_label3->setText(QString::fromStdString(m_model.label3));
}

void Frm_TouRok::registerPrices()
{
    for (int i = 2; i < 5; ++i) {
        m_model.text1[static_cast<std::size_t>(i)] = m_text[i]->text().toStdString();
    }
    // A locked database keeps the dialog open with what was typed, so the user can try again.
    try {
        auto saved = m_model.registerPrices();
        render();
        if (!saved) {
            return;
        }
        m_main.updateWatchRow(m_row, saved->purchase, saved->target);
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        return;
    }
    accept();
}

} // namespace zuvemo::ui
