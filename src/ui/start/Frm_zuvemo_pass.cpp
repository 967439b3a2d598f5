#include "Frm_zuvemo_pass.h"

#include "Twips.h"
#include "UiStyle.h"
#include "model/GridData.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zuvemo::ui {

Frm_zuvemo_pass::Frm_zuvemo_pass(core::Mdl_Start& module, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_model(module)
{
    setObjectName(QStringLiteral("Frm_zuvemo_pass"));
    setWindowTitle(QStringLiteral("パスワード(Zuvemo)"));
    setFixedSize(px(5025), px(2820));
    UiStyle::setBackground(this, 0xC0FFFF); // red 255, green 255, blue 192
    const QFont labelFont = UiStyle::proportional(15.75);
    const QFont entryFont = UiStyle::font(QStringLiteral("ＭＳ Ｐ明朝"), 15.75);
    auto label = [&](const QString& text, int top, const char* name) {
        auto* l = new QLabel(text, this); // owned by the dialog
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(twipsRect(240, top, 1695, 450));
        l->setFont(labelFont);
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, QColor(0, 0, 128));
        p.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(p);
    };
    label(QStringLiteral("ユーザー名"), 255, "Label1_0");
    label(QStringLiteral("パスワード"), 840, "Label1_1");
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("Text1_0"));
    m_user->setGeometry(twipsRect(1965, 255, 2355, 465));
    m_user->setMaxLength(50);
    m_user->setFont(entryFont);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("Text1_1"));
    m_password->setGeometry(twipsRect(1980, 840, 2355, 465));
    m_password->setMaxLength(20);
    UiStyle::setPasswordBox(m_password);
    m_password->setFont(entryFont);
    m_confirm = new QPushButton(QStringLiteral("確認"), this);
    m_confirm->setObjectName(QStringLiteral("Command1"));
    m_confirm->setGeometry(twipsRect(1395, 1545, 2205, 465));
    m_confirm->setFont(labelFont);
    UiStyle::setButtonFace(m_confirm, GridColor::kOrange);
    m_confirm->setDefault(true);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_confirm);
    connect(m_confirm, &QPushButton::clicked, this, &Frm_zuvemo_pass::confirm);
    // Enter confirms from either box, as the form's default button.
    connect(m_user, &QLineEdit::returnPressed, this, &Frm_zuvemo_pass::confirm);
    connect(m_password, &QLineEdit::returnPressed, this, &Frm_zuvemo_pass::confirm);
}

bool Frm_zuvemo_pass::load(bool anotherCopyRunning)
{
    if (!m_model.Form_Load(anotherCopyRunning)) {
        return false;
    }
    m_user->clear();
    m_password->clear();
    return true;
}

void Frm_zuvemo_pass::confirm()
{
    switch (m_model.Command1_Click(m_user->text().toStdString(), m_password->text().toStdString())) {
    case LoginModel::Result::Stay:
        return;
    case LoginModel::Result::SignedIn:
        m_signedIn = true;
        hide();
        if (onSignedIn) {
            onSignedIn();
        }
        return;
    case LoginModel::Result::EndProgram:
        m_signedIn = true;
        hide();
        if (onEnd) {
            onEnd();
        }
        return;
    }
}

void Frm_zuvemo_pass::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (!m_signedIn) {
        m_signedIn = true;
        m_model.Form_Unload();
        if (onEnd) {
            onEnd();
        }
    }
}

} // namespace zuvemo::ui
