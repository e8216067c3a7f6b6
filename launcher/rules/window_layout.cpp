#include "launcher/rules/window_layout.h"

namespace vt::launcher {
namespace {

int RoundedRatio(long long value, long long divisor) {
    return static_cast<int>(value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor));
}

}  // namespace

int TwipsToPixels(int twips, int dpi) { return RoundedRatio(static_cast<long long>(twips) * dpi, 1440); }

PixelRect ElementRect(Element element, int dpi) {
    const TwipsRect& t = kElementTwips[static_cast<std::size_t>(element)];
    return {TwipsToPixels(t.left, dpi), TwipsToPixels(t.top, dpi), TwipsToPixels(t.width, dpi),
            TwipsToPixels(t.height, dpi)};
}

bool IsOnBackground(int x, int y, int dpi) {
    if (x < 0 || y < 0 || x >= TwipsToPixels(kClientWidthTwips, dpi) || y >= TwipsToPixels(kClientHeightTwips, dpi))
        return false;
    for (std::size_t i = 0; i < kElementTwips.size(); ++i)
        if (ElementRect(static_cast<Element>(i), dpi).Contains(x, y)) return false;
    return true;
}

int FontHeight(int hundredthsOfPoint, int dpi) { return -RoundedRatio(static_cast<long long>(hundredthsOfPoint) * dpi, 7200); }

}  // namespace vt::launcher
