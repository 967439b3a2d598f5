#include "WindowPlacement.h"

#include <algorithm>
#include <charconv>

namespace zuvemo::ui {

WindowPlacement::Rect WindowPlacement::within(
    Rect wanted, const Margins& frame, const Rect& area, int minWidth, int minHeight)
{
    const int roomWidth = area.width - frame.left - frame.right;
    const int roomHeight = area.height - frame.top - frame.bottom;
    wanted.width = std::max(std::min(wanted.width, roomWidth), minWidth);
    wanted.height = std::max(std::min(wanted.height, roomHeight), minHeight);
    // The frame's right and bottom edges inside, then its left and top: the title bar stays
    // reachable when nothing else does.
    const int right = area.x + area.width - frame.right - wanted.width;
    const int bottom = area.y + area.height - frame.bottom - wanted.height;
    wanted.x = std::max(std::min(wanted.x, right), area.x + frame.left);
    wanted.y = std::max(std::min(wanted.y, bottom), area.y + frame.top);
    return wanted;
}

WindowPlacement::Rect WindowPlacement::beside(
    const Rect& anchorFrame, int width, int height, const Margins& frame, const Rect& area)
{
    const int gap = 8;
    Rect wanted{
        anchorFrame.x + anchorFrame.width + gap + frame.left, anchorFrame.y + frame.top, width, height};
    return within(wanted, frame, area);
}

WindowPlacement::Rect WindowPlacement::centredOn(const Rect& anchorFrame, int width, int height,
    const Margins& frame, const Rect& area, int minWidth, int minHeight)
{
    const int outerWidth = width + frame.left + frame.right;
    const int outerHeight = height + frame.top + frame.bottom;
    Rect wanted{anchorFrame.x + (anchorFrame.width - outerWidth) / 2 + frame.left,
        anchorFrame.y + (anchorFrame.height - outerHeight) / 2 + frame.top, width, height};
    return within(wanted, frame, area, minWidth, minHeight);
}

std::string WindowPlacement::text(const Rect& rect)
{
    return std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) + ","
        + std::to_string(rect.height);
}

std::optional<WindowPlacement::Rect> WindowPlacement::parse(const std::string& text)
{
    int values[4] = {};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        const auto [next, error] = std::from_chars(at, end, values[i]);
        if (error != std::errc() || (i < 3 && (next == end || *next != ',')) || (i == 3 && next != end)) {
            return std::nullopt;
        }
        at = next + 1;
    }
    if (values[2] <= 0 || values[3] <= 0) {
        return std::nullopt;
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

} // namespace zuvemo::ui
