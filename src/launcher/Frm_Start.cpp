#include "Frm_Start.h"

#include "Twips.h"
#include "UiStyle.h"
#include "model/GridData.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zuvemo::ui {

Frm_Start::Frm_Start(LauncherModel& model, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_model(model)
{
    setObjectName(QStringLiteral("Frm_Start"));
    setWindowTitle(QStringLiteral("初期設定(Zuvemo)"));
    setFixedSize(px(6000), px(3360));
    UiStyle::setBackground(this, GridColor::kLightOrange);
    const char* captions[] = {"ユーザー名", "パスワード", "パスワード"};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(QString::fromUtf8(captions[i]), this); // owned by the form
        l->setObjectName(QStringLiteral("Label1_%1").arg(i));
        l->setFont(UiStyle::gothic(12));
        l->setGeometry(twipsRect(240, 300 + i * 660, 1800, 450));
        m_text[i] = new QLineEdit(this);
        m_text[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        m_text[i]->setFont(UiStyle::mincho(12));
        m_text[i]->setGeometry(twipsRect(2160, 300 + i * 660, 3480, 450));
        if (i > 0) {
            UiStyle::setPasswordBox(m_text[i]);
        }
    }
    m_execute = new QPushButton(QStringLiteral("実行"), this);
    m_execute->setObjectName(QStringLiteral("Command1"));
    m_execute->setGeometry(twipsRect(2160, 2400, 1560, 540));
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("Command2"));
    m_cancel->setGeometry(twipsRect(4080, 2400, 1560, 540));
    for (auto* b : {m_execute, m_cancel}) {
        b->setFont(UiStyle::gothic(12));
        UiStyle::setButtonFace(b, 0x00FFFF);
    }
    connect(m_execute, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < 3; ++i) {
            m_model.text1[static_cast<std::size_t>(i)] = m_text[i]->text().toStdString();
        }
        if (m_model.Command1_Click()) {
            m_done = true;
            hide();
            if (onSaved) {
                onSaved();
            }
        }
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { close(); });
    // Enter in any box runs "実行", the form's default button.
    m_execute->setDefault(true);
    for (auto* box : m_text) {
        connect(box, &QLineEdit::returnPressed, m_execute, &QPushButton::click);
    }
    m_text[0]->setFocus();
}

void Frm_Start::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_cancel->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frm_Start::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (!m_done) {
        m_done = true;
        m_model.Command2_Click();
        if (onCancelled) {
            onCancelled();
        }
    }
}

} // namespace zuvemo::ui
