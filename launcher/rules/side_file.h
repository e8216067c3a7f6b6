// The side file: what the publisher released, beside the patch list on the
// server ("<list>.vtsums"). The patch list keeps its format byte for byte, so
// launchers that know nothing of hashes go on as before; this one fetches the
// side file right after the list and, when it is there, checks the list and
// every fetched body against it.
//
// Format, version 1: text lines ending in CR LF, fields separated by one space.
//
//   VTSUMS 1
//   list SIZE SHA256
//   entry N SIZE SHA256 repair|keep
//   ...
//   signature R||S
//
// "list" names the patch list's own bytes. Each "entry" line names the N-th
// entry of the list (1 for the line after the heading, as the launcher counts
// them), in rising order; an entry without a line is unhashed and keeps the
// date rule alone. "keep" marks a file the launcher must not repair (one that
// players are meant to edit). SHA256 is 64 lower-case hex digits. The
// optional last line is an ECDSA P-256 signature over SHA-256 of every byte
// before it, as 128 hex digits (r then s, 32 bytes each, big-endian).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::launcher {

inline constexpr char kSideFileSuffix[] = ".vtsums";
inline constexpr std::size_t kMaxSideFileBytes = 64ull * 1024 * 1024;

using Sha256 = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;   // r || s
using PublicKey = std::array<std::uint8_t, 64>;   // X || Y of a P-256 point

struct SideEntry {
    std::uint64_t size = 0;
    Sha256 hash{};
    bool repair = true;
};

struct SideFile {
    std::uint64_t listSize = 0;
    Sha256 listHash{};
    std::map<std::int32_t, SideEntry> entries;  // by entry number
    std::optional<Signature> signature;
    std::size_t signedBytes = 0;  // the bytes the signature covers: all before its line
};

// The side file, or nothing with `error` saying which line is wrong.
std::optional<SideFile> ParseSideFile(std::string_view text, std::string* error = nullptr);

// The text of a side file without its signature line; SignSideFile-style
// callers append FormatSignatureLine of a signature over exactly these bytes.
std::string FormatSideFile(const SideFile& sums);
std::string FormatSignatureLine(const Signature& signature);

// "PUBLICKEY=" values: 128 hex digits, X then Y.
std::optional<PublicKey> ParsePublicKey(std::string_view text);
std::string FormatPublicKey(const PublicKey& key);

std::string ToHex(const std::uint8_t* data, std::size_t size);
// Exactly 2 * out.size() hex digits, either case; false otherwise.
bool FromHex(std::string_view text, std::uint8_t* out, std::size_t size);

}  // namespace vt::launcher
