#include "launcher/rules/progress_text.h"

#include <cstdio>

#include "launcher/rules/patch_entry.h"

namespace vt::launcher {
namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Rate(std::uint64_t bytesPerSecond) {
    if (bytesPerSecond >= 1000 * 1024) return OneDecimal(static_cast<double>(bytesPerSecond) / kMegabyte) + " MB/s";
    return std::to_string(bytesPerSecond / 1024) + " KB/s";  // a slow link reads as slow, not as "0.0 MB/s"
}

}  // namespace

std::string ProgressText(std::int32_t lineIndex, const BodyProgress* body) {
    std::string text = EntryStatusText(lineIndex);
    if (!body) return text;
    const std::uint64_t size = body->total > 0 ? body->total : body->received;
    if (size < kProgressShownFrom && body->resumedAt == 0) return text;
    const std::string resumedAt = OneDecimal(static_cast<double>(body->resumedAt) / kMegabyte) + " MB";
    if (body->resumedAt > 0 && body->received <= body->resumedAt) return text + " resuming at " + resumedAt;
    text += " " + OneDecimal(static_cast<double>(body->received) / kMegabyte);
    if (body->total > 0) text += " of " + OneDecimal(static_cast<double>(body->total) / kMegabyte);
    text += " MB";
    if (body->bytesPerSecond > 0) text += ", " + Rate(body->bytesPerSecond);
    if (body->resumedAt > 0) text += ", resumed at " + resumedAt;
    return text;
}

}  // namespace vt::launcher
