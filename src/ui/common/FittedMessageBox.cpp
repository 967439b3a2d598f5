#include "FittedMessageBox.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>

namespace zuvemo::ui {

namespace {

// Room a window manager takes beside the title: the icon and the three title buttons.
constexpr int kTitleBarRoom = 140;
// The label's margins beside its text.
constexpr int kLabelRoom = 24;

} // namespace

FittedMessageBox::FittedMessageBox(
    const QString& title, const QString& text, QWidget* parent, QMessageBox::StandardButtons buttons)
    : QMessageBox(QMessageBox::NoIcon, title, text, buttons, parent)
{
    if (auto* yes = button(QMessageBox::Yes)) {
        yes->setText(QStringLiteral("はい(&Y)"));
    }
    if (auto* no = button(QMessageBox::No)) {
        no->setText(QStringLiteral("いいえ(&N)"));
    }
    const QString normalized = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    int widest = 0;
    const QFontMetrics fm(font());
    for (const QString& line : normalized.split(QLatin1Char('\n'))) {
        widest = std::max(widest, fm.horizontalAdvance(line));
    }
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1280;
    // QMessageBox wraps a text wider than 500 pixels at 500, anywhere in a Japanese word; a box
    // at least as wide as the widest line keeps the lines whole. Past its own hard limit it
    // wraps anyway.
    const int room = (screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000)) - kLabelRoom;
    // QMessageBox keeps no minimum width of its own; a spacer across its grid sets one.
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addItem(new QSpacerItem(std::min(std::max(titleWidth(), widest + kLabelRoom), room), 0,
                          QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
}

int FittedMessageBox::titleWidth() const
{
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(windowTitle()) + kTitleBarRoom;
}

bool FittedMessageBox::ask(const QString& title, const QString& text, QWidget* parent)
{
    FittedMessageBox box(title, text, parent, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void FittedMessageBox::run(const QString& title, const QString& text, QWidget* parent)
{
    FittedMessageBox box(title, text, parent);
    box.exec();
}

} // namespace zuvemo::ui
