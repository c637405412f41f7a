// Positions and sizes in the game are written in twips, as the game's layout tables give
// them; this is the one place that turns them into logical pixels (15 twips to a pixel,
// so a 15360 x 11520 twip window is 1024 x 768 pixels).
#pragma once

#include <QRect>

namespace twips {

inline constexpr int perPixel = 15;

// Rounds to the nearest pixel. Grid cells (285 twips, placed at multiples of 285 from
// 720) divide exactly, so the 8 x 8 boards stay gap-free.
constexpr int toPixels(int t)
{
    return t >= 0 ? (t + perPixel / 2) / perPixel : -((-t + perPixel / 2) / perPixel);
}

constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace twips
