#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

class QWidget;

class QLineEdit;
class QPushButton;

namespace zuvemo::ui {

// Fonts and colours of the forms.
class UiStyle
{
public:
    // Registers fallbacks for the Windows Japanese fonts the forms name, so an installed
    // Japanese font is used where those are missing. Call once after the application starts.
    static void installFontSubstitutes();

    static QFont font(const QString& family, double points, bool bold = false);
    static QFont gothic(double points, bool bold = false); // "ＭＳ ゴシック"
    static QFont proportional(double points, bool bold = false); // "ＭＳ Ｐゴシック"
    static QFont mincho(double points, bool bold = false); // "ＭＳ 明朝"

    // A grid colour value (red in the low byte); the system highlight colour is resolved.
    static QColor color(std::uint32_t value);

    static void setBackground(QWidget* widget, std::uint32_t value);
    static void setButtonFace(QWidget* button, std::uint32_t value);
    // The face a button of the given colour shows while disabled.
    static QColor disabledFace(const QColor& face);
    // A button of a dialog's bottom line ("閉じる"), the same size in every window.
    static void setDialogButton(QPushButton* button, std::uint32_t face);
    // A box whose value is refused, tinted; back to the normal base when bad is false.
    static void tintRefused(QWidget* box, bool bad);
    // A password box that shows each typed character as "*", as the original forms did.
    static void setPasswordBox(QLineEdit* box);
};

} // namespace zuvemo::ui
