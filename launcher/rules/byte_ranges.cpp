#include "launcher/rules/byte_ranges.h"

#include <algorithm>

#include "platform/text.h"
#include "launcher/rules/http_rules.h"

namespace vt::launcher {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// A piece named by a Content-Range value, checked against the file's size.
std::optional<RangePiece> Piece(std::string_view contentRange, std::string_view bytes, std::uint64_t fileSize,
                                std::string* error) {
    const std::optional<ContentRange> range = ParseContentRange(contentRange);
    if (!range || !range->total || *range->total != fileSize || range->last >= fileSize ||
        range->last - range->first + 1 != bytes.size()) {
        if (error)
            *error = "a piece that does not fit: Content-Range \"" + std::string(contentRange) + "\" with " +
                     std::to_string(bytes.size()) + " bytes, in a file of " + std::to_string(fileSize);
        return std::nullopt;
    }
    return RangePiece{range->first, bytes};
}

// The Content-Range value among a part's header lines.
std::optional<std::string_view> PartContentRange(std::string_view head) {
    for (std::size_t at = 0; at < head.size();) {
        std::size_t end = head.find("\r\n", at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        if (StartsWithNoCase(line, "content-range:")) return Trim(line.substr(14));
        at = end + 2;
    }
    return std::nullopt;
}

}  // namespace

std::string RangeHeader(const std::vector<ByteRange>& ranges) {
    std::string header = "Range: bytes=";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) header += ',';
        header += std::to_string(ranges[i].start) + "-" + std::to_string(ranges[i].end - 1);
    }
    return header + "\r\n";
}

std::vector<ByteRange> TakeBatch(std::deque<ByteRange>& pending, std::size_t maxRanges, std::uint64_t maxBytes) {
    std::vector<ByteRange> batch;
    std::uint64_t bytes = 0;
    while (!pending.empty() && batch.size() < maxRanges && bytes < maxBytes) {
        ByteRange& front = pending.front();
        const std::uint64_t take = std::min(front.Length(), maxBytes - bytes);
        batch.push_back({front.start, front.start + take});
        bytes += take;
        front.start += take;
        if (front.start >= front.end) pending.pop_front();
    }
    return batch;
}

std::optional<std::string> MultipartBoundary(std::string_view contentType) {
    const std::size_t semicolon = contentType.find(';');
    if (Trim(contentType.substr(0, semicolon)).size() != 20 ||
        !StartsWithNoCase(Trim(contentType.substr(0, semicolon)), "multipart/byteranges"))
        return std::nullopt;
    for (std::size_t at = semicolon; at != std::string_view::npos;) {
        const std::size_t next = contentType.find(';', at + 1);
        const std::string_view parameter =
            Trim(contentType.substr(at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1));
        at = next;
        if (!StartsWithNoCase(parameter, "boundary=")) continue;
        std::string_view value = parameter.substr(9);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.empty() || value.size() > 200) return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::vector<RangePiece>> RangeAnswerPieces(std::string_view contentType,
                                                         const std::optional<std::string>& contentRange,
                                                         std::string_view body, std::uint64_t fileSize,
                                                         std::string* error) {
    const std::optional<std::string> boundary = MultipartBoundary(contentType);
    if (!boundary) {
        if (!contentRange) {
            if (error) *error = "a 206 answer without Content-Range or parts";
            return std::nullopt;
        }
        const std::optional<RangePiece> piece = Piece(*contentRange, body, fileSize, error);
        if (!piece) return std::nullopt;
        return std::vector<RangePiece>{*piece};
    }
    auto fail = [&](const std::string& why) -> std::optional<std::vector<RangePiece>> {
        if (error) *error = "a multipart answer that does not read: " + why;
        return std::nullopt;
    };
    const std::string delimiter = "--" + *boundary;
    std::size_t at = body.find(delimiter);  // a preamble before it is allowed
    std::vector<RangePiece> pieces;
    while (at != std::string_view::npos) {
        at += delimiter.size();
        if (body.substr(at, 2) == "--") return pieces.empty() ? fail("no parts") : std::optional(std::move(pieces));
        if (body.substr(at, 2) != "\r\n") return fail("no line end after a boundary");
        const std::size_t headEnd = body.find("\r\n\r\n", at);
        if (headEnd == std::string_view::npos) return fail("a part's head does not end");
        const std::optional<std::string_view> range = PartContentRange(body.substr(at + 2, headEnd - at));
        const std::optional<ContentRange> parsed = range ? ParseContentRange(*range) : std::nullopt;
        if (!parsed || parsed->last < parsed->first) return fail("a part without a usable Content-Range");
        const std::size_t dataStart = headEnd + 4;
        const std::uint64_t length = parsed->last - parsed->first + 1;
        if (length > body.size() - dataStart) return fail("a part is cut short");
        const std::optional<RangePiece> piece =
            Piece(*range, body.substr(dataStart, static_cast<std::size_t>(length)), fileSize, error);
        if (!piece) return std::nullopt;
        pieces.push_back(*piece);
        at = dataStart + static_cast<std::size_t>(length);
        if (body.substr(at, 2 + delimiter.size()) != "\r\n" + delimiter) return fail("no boundary after a part");
        at += 2;
    }
    return fail("no boundary");
}

std::optional<ByteRange> UncoveredRange(const std::vector<RangePiece>& pieces, const std::vector<ByteRange>& asked) {
    for (const ByteRange& range : asked) {
        const bool held = std::any_of(pieces.begin(), pieces.end(), [&](const RangePiece& piece) {
            return piece.start <= range.start && piece.start + piece.bytes.size() >= range.end;
        });
        if (!held) return range;
    }
    return std::nullopt;
}

}  // namespace vt::launcher
