// The launcher window's fixed layout in twips (1/1440 inch), and its
// conversion to pixels at a window's real DPI: twips x dpi / 1440, rounded, so
// 15 twips are one pixel at 96 dpi and the window scales at 120 or 144 dpi.
#pragma once

#include <array>

namespace vt::launcher {

struct TwipsRect {
    int left, top, width, height;
};

struct PixelRect {
    int left, top, width, height;
    bool Contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

// In tab order.
enum class Element { Browser, cmdLaunch, cmdQuit, txtStatus, SchalterSingleLaunch };

inline constexpr int kClientWidthTwips = 10815;
inline constexpr int kClientHeightTwips = 7935;

inline constexpr std::array<TwipsRect, 5> kElementTwips = {{
    {120, 120, 10575, 6495},   // Browser
    {4800, 7320, 4567, 495},   // cmdLaunch
    {9480, 7320, 1215, 495},   // cmdQuit
    {120, 6720, 10575, 495},   // txtStatus
    {120, 7320, 4567, 495},    // SchalterSingleLaunch
}};

int TwipsToPixels(int twips, int dpi);
PixelRect ElementRect(Element element, int dpi);

// A point of the client area (pixels) that no element covers: the margins and
// the gaps, where a double-click shows the about message.
bool IsOnBackground(int x, int y, int dpi);

// A font height for CreateFont: minus the point size in pixels at `dpi`, for a
// size given in hundredths of a point (975 for 9.75 pt).
int FontHeight(int hundredthsOfPoint, int dpi);

}  // namespace vt::launcher
