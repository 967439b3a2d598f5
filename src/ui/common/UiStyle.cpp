#include "UiStyle.h"

#include "model/GridData.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace zuvemo::ui {

void UiStyle::installFontSubstitutes()
{
    const QStringList gothic{
        "MS Gothic", "Noto Sans Mono CJK JP", "Noto Sans CJK JP", "IPAGothic", "TakaoGothic"};
    const QStringList pgothic{"MS PGothic", "Noto Sans CJK JP", "IPAPGothic", "TakaoPGothic"};
    const QStringList mincho{"MS Mincho", "Noto Serif CJK JP", "IPAMincho", "Noto Sans CJK JP"};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), pgothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), mincho);
    QFont::insertSubstitutions(
        QStringLiteral("ＭＳ Ｐ明朝"), QStringList{"MS PMincho", "Noto Serif CJK JP", "IPAPMincho"} + mincho);
}

QFont UiStyle::font(const QString& family, double points, bool bold)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QFont UiStyle::gothic(double points, bool bold)
{
    return font(QStringLiteral("ＭＳ ゴシック"), points, bold);
}

QFont UiStyle::proportional(double points, bool bold)
{
    return font(QStringLiteral("ＭＳ Ｐゴシック"), points, bold);
}

QFont UiStyle::mincho(double points, bool bold)
{
    return font(QStringLiteral("ＭＳ 明朝"), points, bold);
}

QColor UiStyle::color(std::uint32_t value)
{
    if (value == GridColor::kHighlight) {
        return QApplication::palette().color(QPalette::Highlight);
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
        static_cast<int>((value >> 16) & 0xFF));
}

void UiStyle::setBackground(QWidget* widget, std::uint32_t value)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color(value));
    widget->setPalette(p);
    // Buttons fill with their Button role by default: option buttons and check boxes would show
    // a grey box behind their captions.
    widget->setBackgroundRole(QPalette::Window);
    widget->setAutoFillBackground(true);
}

QColor UiStyle::disabledFace(const QColor& face)
{
    // Most of the colour drained towards the grey of a disabled control, so a green or yellow
    // button that cannot be pressed does not look as if it could.
    const QColor grey(0xD8, 0xD8, 0xD8);
    auto mix = [](int a, int b) { return (a + 3 * b) / 4; };
    return QColor(
        mix(face.red(), grey.red()), mix(face.green(), grey.green()), mix(face.blue(), grey.blue()));
}

void UiStyle::setDialogButton(QPushButton* button, std::uint32_t face)
{
    setButtonFace(button, face);
    button->setFont(proportional(12));
    button->setAutoDefault(false);
    button->setMinimumSize(130, 34);
}

void UiStyle::tintRefused(QWidget* box, bool bad)
{
    QPalette p = box->palette();
    p.setColor(QPalette::Base, bad ? color(0xD0D0FF) : QApplication::palette().color(QPalette::Base));
    box->setPalette(p);
}

void UiStyle::setButtonFace(QWidget* button, std::uint32_t value)
{
    QColor c = color(value);
    // The focused button keeps its face and gets a dark frame, which the flat faces would
    // otherwise not show.
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }"
                                         "QPushButton:focus { border: 2px solid #1F3F8F; }"
                                         "QPushButton:pressed { background-color: %2; }"
                                         "QPushButton:disabled { background-color: %3; color: #8c8c8c;"
                                         " border: 1px solid #b4b4b4; }")
                              .arg(c.name(), c.darker(115).name(), disabledFace(c).name()));
}

void UiStyle::setPasswordBox(QLineEdit* box)
{
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(box->styleSheet() + QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

} // namespace zuvemo::ui
