#pragma once

#include <optional>
#include <string>

namespace zuvemo::ui {

// Where a window goes on a screen: its rectangles in pixels, the frame the window manager adds
// around it counted, so that no part of it lies outside the screen's available area.
class WindowPlacement
{
public:
    struct Rect
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool operator==(const Rect&) const = default;
    };
    // The window manager's frame: the title bar above, the borders.
    struct Margins
    {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };

    // The client rectangle wanted, shrunk (never below the minimum) to the area less the frame,
    // then moved as little as needed to lie within it with its frame; the top left wins where
    // even the minimum does not fit.
    static Rect within(
        Rect wanted, const Margins& frame, const Rect& area, int minWidth = 0, int minHeight = 0);
    // A window of this size beside the anchor's frame, right of it where the area has room,
    // its top at the anchor's; then within the area.
    static Rect beside(
        const Rect& anchorFrame, int width, int height, const Margins& frame, const Rect& area);
    // A window of this size over the middle of the anchor's frame, within the area.
    static Rect centredOn(const Rect& anchorFrame, int width, int height, const Margins& frame,
        const Rect& area, int minWidth = 0, int minHeight = 0);

    // "x,y,width,height" as kept between starts, and back; nothing for other text.
    static std::string text(const Rect& rect);
    static std::optional<Rect> parse(const std::string& text);
};

} // namespace zuvemo::ui
