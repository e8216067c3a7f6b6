#include "launcher/rules/http_rules.h"

#include <array>

#include "platform/text.h"
#include "launcher/rules/date_value.h"
#include "launcher/rules/side_file.h"

namespace vt::launcher {
namespace {

constexpr std::size_t kMaxValidator = 256;
constexpr std::uint64_t kMaxRetryAfterDigits = 18;  // fits 64 bits with room

std::optional<int> FixedDigits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view text) {
    text = Trim(text);
    constexpr std::string_view kUnit = "bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    text.remove_prefix(kUnit.size());
    const std::size_t dash = text.find('-');
    const std::size_t slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
    const auto first = DecimalDigits(text.substr(0, dash));
    const auto last = DecimalDigits(text.substr(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first) return std::nullopt;
    ContentRange range{*first, *last, std::nullopt};
    const std::string_view total = text.substr(slash + 1);
    if (total != "*") {
        range.total = DecimalDigits(total);
        if (!range.total || range.last >= *range.total) return std::nullopt;
    }
    return range;
}

bool RangeContinues(const ContentRange& range, std::uint64_t offset, std::uint64_t contentLength,
                    std::optional<std::uint64_t> knownTotal) {
    if (range.first != offset || !range.total) return false;
    if (range.last + 1 != *range.total) return false;  // the rest, up to the end
    if (range.last - range.first + 1 != contentLength) return false;
    return !knownTotal || *knownTotal == *range.total;
}

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters, fixed places.
    text = Trim(text);
    if (text.size() != 29 || text[3] != ',' || text[4] != ' ' || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':' || text[25] != ' ' || text.substr(26) != "GMT")
        return std::nullopt;
    static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = 0;
    for (std::size_t i = 0; i < kMonths.size(); ++i)
        if (text.substr(8, 3) == kMonths[i]) month = static_cast<int>(i) + 1;
    const auto day = FixedDigits(text, 5, 2), year = FixedDigits(text, 12, 4), hour = FixedDigits(text, 17, 2),
               minute = FixedDigits(text, 20, 2), second = FixedDigits(text, 23, 2);
    if (!month || !day || !year || !hour || !minute || !second) return std::nullopt;
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int monthDays = kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && IsLeap(*year));
    if (*day < 1 || *day > monthDays || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
    return DaysFromCivil(*year, month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::optional<std::uint64_t> ParseRetryAfterSeconds(std::string_view text, std::int64_t nowEpochSeconds) {
    text = Trim(text);
    if (!text.empty() && text.front() >= '0' && text.front() <= '9') {
        if (text.size() > kMaxRetryAfterDigits) {
            // Longer than any wait we would honour: all digits still means "long".
            for (const char c : text)
                if (c < '0' || c > '9') return std::nullopt;
            return ~std::uint64_t{0};
        }
        return DecimalDigits(text);
    }
    const auto date = ParseHttpDate(text);
    if (!date) return std::nullopt;
    return *date > nowEpochSeconds ? static_cast<std::uint64_t>(*date - nowEpochSeconds) : 0;
}

bool UsableValidator(std::string_view validator) {
    if (validator.empty() || validator.size() > kMaxValidator) return false;
    if (validator.substr(0, 2) == "W/") return false;
    for (const char c : validator)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) return false;
    return true;
}

// Version 2 adds the kept bytes and their digest; a version 1 record (which
// trusted whatever length the partial file had) is not continued.
std::string FormatResumeRecord(const ResumeRecord& record) {
    return "VTRESUME 2\r\n" + record.url + "\r\n" + record.validator + "\r\n" + std::to_string(record.total) + "\r\n" +
           std::to_string(record.kept) + "\r\n" + ToHex(record.keptSum.data(), record.keptSum.size()) + "\r\n";
}

std::optional<ResumeRecord> ParseResumeRecord(std::string_view text) {
    std::array<std::string_view, 6> lines;
    for (std::string_view& line : lines) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos) return std::nullopt;
        line = text.substr(0, end);
        text.remove_prefix(end + 2);
    }
    if (!text.empty() || lines[0] != "VTRESUME 2" || lines[1].empty() || !UsableValidator(lines[2])) return std::nullopt;
    for (const char c : lines[1])
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    const auto total = CanonicalDecimal(lines[3]);
    const auto kept = CanonicalDecimal(lines[4]);
    if (!total || !kept || *kept >= *total) return std::nullopt;
    ResumeRecord record{std::string(lines[1]), std::string(lines[2]), *total, *kept, {}};
    if (!FromHex(lines[5], record.keptSum.data(), record.keptSum.size()) ||
        ToHex(record.keptSum.data(), record.keptSum.size()) != lines[5])  // one spelling: lower case
        return std::nullopt;
    return record;
}

bool AnswerHasValidator(std::string_view sent, std::string_view etag, std::string_view lastModified) {
    if (!UsableValidator(sent)) return false;
    return sent.front() == '"' ? Trim(etag) == sent : Trim(lastModified) == sent;
}

bool IsRedirectStatus(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool HasHeader(std::string_view headers, std::string_view name) {
    while (!headers.empty()) {
        const std::size_t end = headers.find("\r\n");
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualsIgnoringAsciiCase(Trim(line.substr(0, colon)), name)) return true;
    }
    return false;
}

std::optional<std::string> ResolveRedirect(std::string_view base, std::string_view location) {
    location = Trim(location);
    if (location.empty() || location.size() > 4096) return std::nullopt;
    for (const char c : location)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return std::nullopt;
    // The scheme and authority of an http(s) URL: "http://host:port".
    auto origin = [](std::string_view url, std::string_view& scheme) -> std::optional<std::string_view> {
        const std::size_t colon = url.find("://");
        if (colon == std::string_view::npos) return std::nullopt;
        scheme = url.substr(0, colon);
        if (!EqualsIgnoringAsciiCase(scheme, "http") && !EqualsIgnoringAsciiCase(scheme, "https")) return std::nullopt;
        const std::size_t end = url.find_first_of("/?#", colon + 3);
        const std::string_view all = url.substr(0, end);
        if (all.size() == colon + 3) return std::nullopt;  // no host
        return all;
    };
    std::string_view scheme;
    if (location.find("://") != std::string_view::npos) {
        if (!origin(location, scheme)) return std::nullopt;
        return std::string(location);
    }
    const auto baseOrigin = origin(base, scheme);
    if (!baseOrigin) return std::nullopt;
    if (location.substr(0, 2) == "//") {
        const std::string url = std::string(scheme) + ":" + std::string(location);
        std::string_view again;
        if (!origin(url, again)) return std::nullopt;
        return url;
    }
    if (location.front() == '/') return std::string(*baseOrigin) + std::string(location);
    // Relative to the base's folder (its path up to the last "/", query cut).
    std::string_view path = base.substr(baseOrigin->size());
    path = path.substr(0, path.find_first_of("?#"));
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string_view::npos ? "/" : std::string(path.substr(0, slash + 1));
    if (location.find(':') < location.find('/')) return std::nullopt;  // another scheme ("ftp:x", "mailto:")
    return std::string(*baseOrigin) + folder + std::string(location);
}

}  // namespace vt::launcher
