#include "frmSplash.h"

#include "Twips.h"
#include "UiStyle.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/Version.h"
#include "model/GridData.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

namespace zuvemo::ui {

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(px(7200), px(4320));
    UiStyle::setBackground(this, 0xF0F0F0);
    m_frame = new QFrame(this); // owned by the splash
    m_frame->setObjectName(QStringLiteral("Frame1"));
    m_frame->setFrameShape(QFrame::Box);
    m_frame->setGeometry(twipsRect(120, 120, 6960, 3600));
    UiStyle::setBackground(m_frame, GridColor::kLightOrange);
    m_frame->installEventFilter(this);

    auto label = [this](const QString& text, const QFont& font, int top, int height) {
        auto* l = new QLabel(text, m_frame);
        l->setFont(font);
        l->setGeometry(twipsRect(240, top, 6480, height));
        l->setAlignment(Qt::AlignCenter);
        l->installEventFilter(this);
        return l;
    };
    label(QStringLiteral("Zuvemo"), UiStyle::proportional(36, true), 240, 900);
    label(QStringLiteral("株式銘柄検索・テクニカル分析"), UiStyle::proportional(15.75), 1200, 480);
    m_version = label(versionText(), UiStyle::gothic(12), 1920, 360);
    m_version->setObjectName(QStringLiteral("lblVersion"));
    label(QStringLiteral("製作: Zuvemo 開発チーム"), UiStyle::proportional(11), 2520, 360);
    label(QStringLiteral("Copyright © Zuvemo 開発チーム"), UiStyle::proportional(9), 3000, 360);

    m_label5 = new QLabel(this);
    m_label5->setObjectName(QStringLiteral("Label5"));
    m_label5->setGeometry(twipsRect(120, 3840, 6960, 360));
    m_label5->setFont(UiStyle::proportional(11));
    m_label5->installEventFilter(this);
    setManual(core::ProgramFolder::findManual(core::Platform::executableFolder()));

    openAddress = [](const QString& address) { core::Platform::openAddress(address.toStdString()); };
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_cursorSet = true;
    m_timer.setSingleShot(true);
    m_timer.setInterval(5000);
    connect(&m_timer, &QTimer::timeout, this, &frmSplash::finish);
    m_timer.start();
}

void frmSplash::setManual(const std::optional<std::filesystem::path>& manual)
{
    if (!manual) {
        m_address.clear();
        m_label5->setText(QStringLiteral("参照HP　（説明書が見つかりません）"));
        m_label5->setToolTip(QString());
        m_label5->unsetCursor();
        return;
    }
    const QString path = QString::fromStdString(core::Platform::toUtf8(*manual));
    m_address = QUrl::fromLocalFile(path).toString();
    // A long folder is cut in its middle: the label has the splash's width and no more.
    const QString caption = QStringLiteral("参照HP　");
    const QFontMetrics metrics(m_label5->font());
    m_label5->setText(caption
        + metrics.elidedText(path, Qt::ElideMiddle, m_label5->width() - metrics.horizontalAdvance(caption)));
    m_label5->setToolTip(QStringLiteral("説明書を開きます"));
    m_label5->setCursor(Qt::PointingHandCursor);
}

QString frmSplash::versionText()
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ:%1.%2.%3")
        .arg(ZUVEMO_VERSION_MAJOR)
        .arg(ZUVEMO_VERSION_MINOR)
        .arg(ZUVEMO_VERSION_PATCH);
}

void frmSplash::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A splash window is not given the focus by every window manager; a key press must still
    // close it, so it takes the keyboard for the few seconds it is up.
    activateWindow();
    QTimer::singleShot(0, this, [this] {
        if (!m_done && isVisible() && !m_keyboardGrabbed) {
            grabKeyboard();
            m_keyboardGrabbed = true;
        }
    });
}

void frmSplash::keyPressEvent(QKeyEvent* event)
{
    if (!event->text().isEmpty() || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
        || event->key() == Qt::Key_Escape) {
        finish();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            if (watched == m_label5) {
                // The browser is started and the splash goes on; it does not wait for it.
                if (openAddress && !m_address.isEmpty()) {
                    openAddress(m_address);
                }
                return true;
            }
            if (watched == m_frame) {
                finish();
                return true;
            }
            // A click on one of the other labels does nothing.
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmSplash::closeEvent(QCloseEvent* event)
{
    finish();
    event->accept();
}

void frmSplash::finish()
{
    if (m_done) {
        return;
    }
    m_done = true;
    m_timer.stop();
    if (m_keyboardGrabbed) {
        releaseKeyboard();
        m_keyboardGrabbed = false;
    }
    hide();
    if (m_cursorSet) {
        QApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
    if (onClosed) {
        onClosed();
    }
}

} // namespace zuvemo::ui
