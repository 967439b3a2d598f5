#pragma once

#include <string>

namespace zuvemo::core {

// Shows a message on the desktop outside the program's windows. Replaceable so tests never
// reach the user's desktop.
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    // False when the desktop offers no way to show it; nothing is reported to the user then.
    virtual bool notify(const std::string& title, const std::string& body);
};

} // namespace zuvemo::core
