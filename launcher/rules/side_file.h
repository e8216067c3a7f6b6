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
//   release N                       (optional, once)
//   valid FROM UNTIL                (optional, once)
//   rotate OLDKEY NEWKEY R||S       (optional, any number, oldest first)
//   entry N SIZE SHA256 repair|keep
//   blocks N SIZE SHA256            (optional, right after entry N)
//   ...
//   signature R||S
//
// "release" is a number that grows with every release (vtlist uses the time
// of signing, in UTC seconds): a launcher that has accepted release N refuses
// a lower one, so an old signed release saved by someone on the way cannot be
// served again. "valid" gives the signing time and the end of the side file's
// life, both in UTC seconds since 1970: past UNTIL it is refused (a server
// frozen on one release is noticed). "rotate" states that the key OLDKEY hands
// over to NEWKEY, signed by OLDKEY over SHA-256 of KeyChangeMessage(); a
// launcher that trusts OLDKEY follows it to accept a side file signed by
// NEWKEY. Launchers before these lines knew only list, entry and signature
// lines, and refuse a side file with any of them.
//
// "list" names the patch list's own bytes. Each "entry" line names the N-th
// entry of the list (1 for the line after the heading, as the launcher counts
// them), in rising order; an entry without a line is unhashed and keeps the
// date rule alone. "keep" marks a file the launcher must not repair (one that
// players are meant to edit). SHA256 is 64 lower-case hex digits. The
// "blocks" names the block index of entry N's file (block_index.h): the
// bytes of "<entry's URL>.vtblocks", so that a launcher with an older copy
// can fetch only what changed. Launchers before it refuse a side file with
// it, as they refuse the other lines they do not know. The
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

#include "platform/text.h"      // ToHex, FromHex
#include "platform/digest.h"  // Sha256

namespace vt::launcher {

inline constexpr char kSideFileSuffix[] = ".vtsums";
inline constexpr std::size_t kMaxSideFileBytes = 64ull * 1024 * 1024;

using Signature = std::array<std::uint8_t, 64>;   // r || s
using PublicKey = std::array<std::uint8_t, 64>;   // X || Y of a P-256 point

// The size and SHA-256 of a file's block index.
struct BlockIndexSum {
    std::uint64_t size = 0;
    Sha256 hash{};
};

struct SideEntry {
    std::uint64_t size = 0;
    Sha256 hash{};
    bool repair = true;
    std::optional<BlockIndexSum> blocks;
};

struct Validity {
    std::uint64_t from = 0;   // signed at (UTC seconds)
    std::uint64_t until = 0;  // refused after
};

struct KeyChange {
    PublicKey from{};
    PublicKey to{};
    Signature signature{};  // by `from`, over SHA-256 of KeyChangeMessage(from, to)
};

// The text a key change's signature covers: "VTROTATE 1 OLDKEY NEWKEY".
std::string KeyChangeMessage(const PublicKey& from, const PublicKey& to);
std::string FormatKeyChangeLine(const KeyChange& change);  // "rotate OLD NEW SIG\r\n"
std::optional<KeyChange> ParseKeyChangeLine(std::string_view line);  // without its line end

struct SideFile {
    std::uint64_t listSize = 0;
    Sha256 listHash{};
    std::optional<std::uint64_t> release;
    std::optional<Validity> validity;
    std::vector<KeyChange> keyChanges;
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

// Why a side file does not fit its list, or nothing when it fits: the one
// rule of the launcher (E1) and of vtlist (make, sign, lint, check). The
// list is given by its size and SHA-256 (the caller's hashing) and its
// entries (its text split as the update run splits it). It does not fit
// when it was made for another list, when it names an entry the list does
// not have, or when one local path is listed twice with two different hashes
// (each fetch would repair what the other wrote, on every run, for ever; the
// same path twice with the same hash, or without hashes, is fine).
// The signature is checked by the caller, which holds the key.
std::optional<std::string> SideFileMisfit(const SideFile& sums, std::uint64_t listSize, const Sha256& listHash,
                                          const std::vector<std::string>& entries);

// "PUBLICKEY=" values: 128 hex digits, X then Y.
std::optional<PublicKey> ParsePublicKey(std::string_view text);
std::string FormatPublicKey(const PublicKey& key);


}  // namespace vt::launcher
