#pragma once

#include <QRect>

namespace zuvemo::ui {

// Positions of the forms are given in twips; 15 twips make one logical pixel, which Qt scales
// with the screen's device pixel ratio.
constexpr int kTwipsPerPixel = 15;

inline int px(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace zuvemo::ui
