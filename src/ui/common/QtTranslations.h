#pragma once

namespace zuvemo::ui {

// Qt's own texts in Japanese: the standard dialogs, the message box buttons, the line edits'
// context menus. Call once after the application starts, before the first window.
class QtTranslations
{
public:
    // False when Qt's Japanese catalogue is not installed; Qt's texts then stay English.
    static bool install();
};

} // namespace zuvemo::ui
