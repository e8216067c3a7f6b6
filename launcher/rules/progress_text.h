// The status text while a file arrives: the entry's own text, and after it,
// for a body of 1 MiB or more, what has arrived, of how much, and how fast:
//
//   DOWNLOADING File 1 ... 34.0 of 200.0 MB, 5.2 MB/s
//   DOWNLOADING File 1 ... resuming at 29.4 MB            (a cut body continued,
//   DOWNLOADING File 1 ... 31.0 of 200.0 MB, 3.1 MB/s, resumed at 29.4 MB)
//
// The entry's text stays the start of the line, so whatever reads its
// beginning reads what it always did. MB are 1,048,576 bytes, as Windows
// counts them in Explorer.
#pragma once

#include <cstdint>
#include <string>

namespace vt::launcher {

// What is known of a body on its way.
struct BodyProgress {
    std::uint64_t received = 0;        // bytes held, continued ones included
    std::uint64_t total = 0;           // the whole body; 0 when the server did not say
    std::uint64_t resumedAt = 0;       // a cut body continued from here; 0 when not
    std::uint64_t bytesPerSecond = 0;  // of this attempt's bytes; 0 while not yet known
};

// Bodies below this show the entry's text alone.
inline constexpr std::uint64_t kProgressShownFrom = 1024 * 1024;

// `body` null: the entry's text alone ("DOWNLOADING File 7 ...").
std::string ProgressText(std::int32_t lineIndex, const BodyProgress* body);

}  // namespace vt::launcher
