// The SHA-256 of local files, remembered between runs: with a side file every
// hashed entry's file is compared with what the publisher released, and
// reading every file on every start would make a no-op start slow. A file is
// read again when its size or last-write time changed since it was hashed,
// and in any case once its digest is a week old: a file can change with its
// size and time kept (bit rot, a tool that restores times), and a remembered
// digest must not hide that for ever. The cache is the launcher's own file
// beside it ("VT_Update.hashes", text, one file a line); a damaged or missing
// cache only costs reading the files again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "launcher/rules/side_file.h"
#include "platform/win/files.h"

namespace vt::launcher {

inline constexpr char kHashCacheName[] = "VT_Update.hashes";

// How long a remembered digest is trusted without reading the file again.
inline constexpr std::int64_t kDigestTrustSeconds = 7 * 24 * 3600;

struct LocalDigest {
    std::uint64_t size = 0;
    Sha256 hash{};
};

class HashCache {
public:
    explicit HashCache(std::string file);  // loads what is there

    // The file's size and SHA-256: remembered, or read now. Nothing when it
    // cannot be read.
    // `known`: its size and time, when the caller has just read them, save
    // asking again.
    std::optional<LocalDigest> DigestOf(const std::string& path, const win::FileFacts* known = nullptr);
    // A file just put in place with this content (its time is read now).
    void Remember(const std::string& path, const LocalDigest& digest);
    // Writes the cache when it changed (one-step replace); false when it could not.
    bool Save();

    int FilesRead() const { return filesRead_; }

private:
    struct Entry {
        std::uint64_t size = 0;
        std::uint64_t written = 0;  // last-write time, FILETIME as 64 bits
        std::int64_t checked = 0;   // when the file was last read, seconds since 1970 (UTC)
        Sha256 hash{};
    };
    bool Trusted(const Entry& entry) const;
    std::string file_;
    std::int64_t now_ = 0;
    std::unordered_map<std::string, Entry> entries_;
    bool changed_ = false;
    int filesRead_ = 0;
};

}  // namespace vt::launcher
