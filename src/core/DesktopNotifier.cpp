#include "DesktopNotifier.h"

#include "Platform.h"

namespace zuvemo::core {

namespace {

// GVariant text syntax of a string literal, for gdbus.
std::string variantString(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

} // namespace

bool DesktopNotifier::notify(const std::string& title, const std::string& body)
{
    // notify-send where it is installed; else the notification service over the session bus.
    if (Platform::onSearchPath("notify-send")) {
        return Platform::runProgram("notify-send", {"--app-name=Zuvemo", "--icon=zuvemo", title, body}) == 0;
    }
    if (Platform::environment("DBUS_SESSION_BUS_ADDRESS") && Platform::onSearchPath("gdbus")) {
        return Platform::runProgram("gdbus",
                   {"call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                       "/org/freedesktop/Notifications", "--method", "org.freedesktop.Notifications.Notify",
                       "Zuvemo", "0", "zuvemo", variantString(title), variantString(body), "[]", "{}", "-1"})
            == 0;
    }
    return false;
}

} // namespace zuvemo::core
