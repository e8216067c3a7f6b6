// Asking a static web server for byte ranges of one file, and reading its
// answer: the requests of a partial update (block_index.h).
//
// Several ranges go in one request ("Range: bytes=0-9,100-199"); a server
// that can answers 206 with a "multipart/byteranges" body (nginx, Apache,
// IIS and the big CDNs do), one that cannot may answer a single range, or
// the whole file with 200. Nothing in an answer is trusted: every piece must
// say where it lies in a file of the expected size and be exactly as long as
// it says, and a range asked for that no piece covers is an answer that does
// not fit (the caller then fetches the file whole). The bytes themselves are
// checked later, by the whole file's SHA-256.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/rules/block_index.h"

namespace vt::launcher {

// "Range: bytes=A-B,C-D\r\n" (inclusive ends, as HTTP counts).
std::string RangeHeader(const std::vector<ByteRange>& ranges);

// The next request's ranges, taken from the front of `pending`: at most
// `maxRanges` ranges and at most `maxBytes` bytes in all. A range longer
// than what is left of that is split, its rest staying at the front, so no
// answer held in memory is bigger than `maxBytes` whatever the change.
std::vector<ByteRange> TakeBatch(std::deque<ByteRange>& pending, std::size_t maxRanges, std::uint64_t maxBytes);

// The boundary of a "multipart/byteranges; boundary=..." Content-Type
// (quoted or not), or nothing when it is another type.
std::optional<std::string> MultipartBoundary(std::string_view contentType);

// One piece of a 206 answer: where its bytes lie in the file.
struct RangePiece {
    std::uint64_t start = 0;
    std::string_view bytes;
};

// The pieces of a 206 answer to a range request for a file of `fileSize`
// bytes: a multipart body split at its boundary, or the single piece its
// Content-Range names. Nothing, with `error`, for any piece that does not
// fit (outside the file, a size that differs, a length that differs).
std::optional<std::vector<RangePiece>> RangeAnswerPieces(std::string_view contentType,
                                                         const std::optional<std::string>& contentRange,
                                                         std::string_view body, std::uint64_t fileSize,
                                                         std::string* error = nullptr);

// The first range asked for that no piece holds whole, or nothing when each is held.
std::optional<ByteRange> UncoveredRange(const std::vector<RangePiece>& pieces, const std::vector<ByteRange>& asked);

}  // namespace vt::launcher
