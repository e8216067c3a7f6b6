#include "launcher/win/run/hash_cache.h"

#include <windows.h>

#include "launcher/rules/http_rules.h"
#include "platform/win/clock.h"
#include "platform/win/crypto.h"
#include "platform/win/files.h"
#include "platform/win/replace_file.h"

namespace vt::launcher {
namespace {

// Version 2 adds the time each file was read; a version 1 cache is read as
// empty, so every file is read once more.
constexpr char kHeading[] = "VTHASHES 2";

}  // namespace

HashCache::HashCache(std::string file) : file_(std::move(file)), now_(win::NowEpochSeconds()) {
    if (!win::OrdinaryFileExists(file_)) return;
    std::string text;
    try {
        text = win::ReadWholeFile(file_);
    } catch (...) {
        return;  // an unreadable cache is an empty one
    }
    std::size_t at = text.find("\r\n");
    if (at == std::string::npos || text.substr(0, at) != kHeading) return;
    for (at += 2; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        // "HASH SIZE WRITTEN CHECKED PATH": the path last, it may hold spaces.
        const std::size_t a = line.find(' '), b = line.find(' ', a + 1), c = line.find(' ', b + 1),
                          d = line.find(' ', c + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos || d == std::string::npos)
            continue;
        Entry entry;
        const auto size = DecimalDigits(line.substr(a + 1, b - a - 1)),
                   written = DecimalDigits(line.substr(b + 1, c - b - 1)),
                   checked = DecimalDigits(line.substr(c + 1, d - c - 1));
        if (!size || !written || !checked || *checked > 0x7fffffffffffull ||
            !FromHex(line.substr(0, a), entry.hash.data(), entry.hash.size()))
            continue;
        entry.size = *size;
        entry.written = *written;
        entry.checked = static_cast<std::int64_t>(*checked);
        entries_[line.substr(d + 1)] = entry;
    }
}

std::optional<LocalDigest> HashCache::DigestOf(const std::string& path, const win::FileFacts* known) {
    const std::optional<win::FileFacts> facts = known ? std::optional<win::FileFacts>(*known) : win::ReadFileFacts(path);
    if (!facts) return std::nullopt;
    const std::uint64_t size = facts->size, written = facts->written;
    if (const auto found = entries_.find(path);
        found != entries_.end() && found->second.size == size && found->second.written == written &&
        Trusted(found->second))
        return LocalDigest{size, found->second.hash};
    LocalDigest digest;
    std::uint64_t read = 0;
    ++filesRead_;
    if (!win::Sha256OfFile(path, digest.hash, read)) return std::nullopt;
    digest.size = read;
    // Remembered only when the file did not change while it was read.
    if (const auto after = win::ReadFileFacts(path); after && after->size == read && after->written == written) {
        entries_[path] = Entry{read, written, now_, digest.hash};
        changed_ = true;
    }
    return digest;
}

bool HashCache::Trusted(const Entry& entry) const {
    // A time ahead of the clock (the clock was set back) is not trusted either.
    return entry.checked <= now_ + 24 * 3600 && now_ - entry.checked < kDigestTrustSeconds;
}

void HashCache::Remember(const std::string& path, const LocalDigest& digest) {
    const std::optional<win::FileFacts> facts = win::ReadFileFacts(path);
    if (!facts || facts->size != digest.size) return;
    entries_[path] = Entry{facts->size, facts->written, now_, digest.hash};
    changed_ = true;
}

bool HashCache::Save() {
    if (!changed_) return true;
    std::string text = std::string(kHeading) + "\r\n";
    for (const auto& [path, entry] : entries_)
        text += ToHex(entry.hash.data(), entry.hash.size()) + " " + std::to_string(entry.size) + " " +
                std::to_string(entry.written) + " " + std::to_string(entry.checked) + " " + path + "\r\n";
    changed_ = !win::WriteFileReplacing(file_, text);
    return !changed_;
}

}  // namespace vt::launcher
