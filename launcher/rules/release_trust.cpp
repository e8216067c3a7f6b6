#include "launcher/rules/release_trust.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "launcher/rules/content_sum.h"
#include "launcher/rules/date_value.h"
#include "launcher/rules/http_rules.h"

namespace vt::launcher {
namespace {

constexpr std::string_view kHeading = "VTTRUST 1";
constexpr std::string_view kRetired = "RETIRED ";

std::string Short(const PublicKey& key) { return FormatPublicKey(key).substr(0, 16) + "..."; }

TrustVerdict Refuse(std::string why) {
    TrustVerdict verdict;
    verdict.why = std::move(why);
    return verdict;
}

// The key that signed the side file: the trusted one, or one that key
// changes lead to from it; nothing when there is none. `left`: the keys the
// changes followed lead away from, in order.
std::optional<PublicKey> Signer(const SideFile& sums, const Sha256& digest, const TrustRecord& known,
                                const SignatureCheck& crypto, std::vector<PublicKey>& left,
                                std::vector<std::string>& notes, std::string& broken) {
    PublicKey key = known.current;
    if (crypto.verify(key, digest, *sums.signature)) return key;
    // Each step must start at the key reached so far: at most one step per
    // statement, so a loop of statements ends. A change to a key retired
    // before, or to one this side file's changes already left, is never
    // followed: a stolen retired key must not come back by an old statement.
    for (std::size_t step = 0; step < sums.keyChanges.size(); ++step) {
        auto leftBefore = [&](const PublicKey& to) {
            return to == key || IsRetired(known, to) || std::find(left.begin(), left.end(), to) != left.end();
        };
        const KeyChange* next = nullptr;
        const KeyChange* back = nullptr;
        for (const KeyChange& change : sums.keyChanges) {
            if (change.from != key) continue;
            if (!leftBefore(change.to)) next = &change;
            else if (change.to != key) back = &change;
        }
        if (!next) {
            if (back)
                broken = "the key change from " + Short(back->from) + " to " + Short(back->to) +
                         " leads back to a key this launcher retired before (a retired key may be in other hands)";
            return std::nullopt;
        }
        if (!crypto.verify(key, crypto.sha256(KeyChangeMessage(next->from, next->to)), next->signature)) {
            broken = "the key change from " + Short(next->from) + " to " + Short(next->to) + " is not signed by " +
                     Short(next->from);
            return std::nullopt;
        }
        notes.push_back("the key changed from " + Short(next->from) + " to " + Short(next->to) +
                        ", as the publisher's statement signed by the old key says");
        left.push_back(key);
        key = next->to;
        if (crypto.verify(key, digest, *sums.signature)) return key;
    }
    return std::nullopt;
}

}  // namespace

TrustRecord FirstTrust(const std::string& server, const PublicKey& root) { return TrustRecord{server, root, root, {}, {}}; }

bool IsRetired(const TrustRecord& record, const PublicKey& key) {
    if (key == record.current) return false;
    return key == record.root || std::find(record.retired.begin(), record.retired.end(), key) != record.retired.end();
}

void Retire(TrustRecord& record, const PublicKey& key) {
    if (std::find(record.retired.begin(), record.retired.end(), key) == record.retired.end())
        record.retired.push_back(key);
}

TrustRecord MergeTrustRecords(const TrustRecord& a, const TrustRecord& b) {
    TrustRecord merged = a;
    if (b.release && (!a.release || *b.release > *a.release)) merged.release = b.release;
    for (const PublicKey& key : b.retired) Retire(merged, key);
    // A record that left its current key says so by retiring it; the root
    // is left by any record whose current key is another.
    auto left = [&](const PublicKey& key) {
        const bool retired = std::find(merged.retired.begin(), merged.retired.end(), key) != merged.retired.end();
        return retired || (key == a.root && (a.current != a.root || b.current != b.root));
    };
    if (a.current != b.current) {
        if (left(a.current) && !left(b.current)) merged.current = b.current;
        else if (left(a.current) == left(b.current) && b.release && (!a.release || *b.release > *a.release))
            merged.current = b.current;  // no change tells them apart: the later release's key
    }
    // The key not trusted now, once trusted by either, stays refused.
    for (const PublicKey& key : {a.current, b.current})
        if (key != merged.current && key != merged.root) Retire(merged, key);
    return merged;
}

void MergeTrustRecordLists(std::vector<TrustRecord>& records, const std::vector<TrustRecord>& more) {
    for (const TrustRecord& other : more) {
        const auto same = std::find_if(records.begin(), records.end(), [&](const TrustRecord& r) {
            return r.server == other.server && r.root == other.root;
        });
        if (same == records.end()) records.push_back(other);
        else *same = MergeTrustRecords(*same, other);
    }
}

std::string FormatTrustRecords(const std::vector<TrustRecord>& records) {
    std::string text = std::string(kHeading) + "\r\n";
    for (const TrustRecord& r : records) {
        text += FormatPublicKey(r.root) + " " + FormatPublicKey(r.current) + " " +
                (r.release ? std::to_string(*r.release) : std::string("-")) + " " + r.server + "\r\n";
        for (const PublicKey& key : r.retired) text += std::string(kRetired) + FormatPublicKey(key) + "\r\n";
    }
    const ContentDigest sum = ContentSumOf(text.data(), text.size());
    return text + "SUM " + ToHex(sum.data(), sum.size()) + "\r\n";
}

std::optional<std::vector<TrustRecord>> ParseTrustRecords(std::string_view text, std::string* why) {
    auto fail = [&](std::string reason) -> std::optional<std::vector<TrustRecord>> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    std::vector<TrustRecord> records;
    std::size_t at = text.find("\r\n");
    if (at == std::string_view::npos || text.substr(0, at) != kHeading) return fail("its first line is not \"VTTRUST 1\"");
    std::size_t lines = 1;
    for (at += 2; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        const std::string lineNumber = std::to_string(++lines);
        if (end == std::string_view::npos) return fail("line " + lineNumber + " is cut short");
        const std::string_view line = text.substr(at, end - at);
        if (line.substr(0, 4) == "SUM ") {
            const ContentDigest sum = ContentSumOf(text.data(), at);
            if (end + 2 != text.size()) return fail("line " + lineNumber + ", its checksum, is not the last");
            if (line.substr(4) != ToHex(sum.data(), sum.size()))
                return fail("its checksum does not match what it holds: a byte of it was changed");
            break;
        }
        at = end + 2;
        if (line.substr(0, kRetired.size()) == kRetired) {
            const auto key = ParsePublicKey(line.substr(kRetired.size()));
            if (records.empty() || !key) return fail("line " + lineNumber + " does not read");
            records.back().retired.push_back(*key);
            continue;
        }
        // ROOT(128) CURRENT(128) RELEASE SERVER
        const bool shaped = line.size() >= 128 + 1 + 128 + 1 + 1 + 1 + 1 && line[128] == ' ' && line[257] == ' ';
        const auto root = shaped ? ParsePublicKey(line.substr(0, 128)) : std::nullopt;
        const auto current = shaped ? ParsePublicKey(line.substr(129, 128)) : std::nullopt;
        const std::string_view rest = shaped ? line.substr(258) : std::string_view();
        const std::size_t space = rest.find(' ');
        if (!root || !current || space == std::string_view::npos || space + 1 >= rest.size())
            return fail("line " + lineNumber + " does not read");
        TrustRecord record{std::string(rest.substr(space + 1)), *root, *current, {}, {}};
        if (rest.substr(0, space) != "-") {
            const auto release = CanonicalDecimal(rest.substr(0, space));
            if (!release) return fail("line " + lineNumber + " has no release number");
            record.release = *release;
        }
        records.push_back(std::move(record));
    }
    return records;
}

TrustVerdict JudgeSignedSideFile(const SideFile& sums, std::string_view sideText, const TrustRecord& known,
                                 std::uint64_t now, const SignatureCheck& crypto) {
    if (!sums.signature) return Refuse("PUBLICKEY= is set and the side file is not signed");
    TrustVerdict verdict;
    const Sha256 digest = crypto.sha256(sideText.substr(0, sums.signedBytes));
    std::string broken;
    std::vector<PublicKey> left;
    const std::optional<PublicKey> signer = Signer(sums, digest, known, crypto, left, verdict.notes, broken);
    if (!signer) {
        if (!broken.empty()) return Refuse(broken);
        std::vector<PublicKey> candidates = known.retired;
        candidates.insert(candidates.begin(), known.root);
        for (const PublicKey& key : candidates)
            if (IsRetired(known, key) && crypto.verify(key, digest, *sums.signature))
                return Refuse("the side file is signed by the retired key " + Short(key) + "; the key in use is " +
                              Short(known.current) + " (a retired key may be in other hands)");
        return Refuse(known.current == known.root
                          ? "the side file's signature is not by the key PUBLICKEY= names, or the side file was changed"
                          : "the side file's signature is not by the key in use (" + Short(known.current) +
                                "), or the side file was changed");
    }
    const std::string installed = known.release ? std::to_string(*known.release) : std::string("none");
    if (sums.release && known.release && *sums.release < *known.release)
        return Refuse("release " + std::to_string(*sums.release) + " is offered, but release " + installed +
                      " is installed: an older release is never installed again (replayed, or a server left behind)");
    if (!sums.release && known.release)
        return Refuse("the side file has no release number, but release " + installed +
                      " is installed: an unnumbered side file is from before it");
    if (sums.validity) {
        const Validity& v = *sums.validity;
        if (now > v.until)
            return Refuse("the side file expired on " + UtcText(v.until) + " (signed " + UtcText(v.from) +
                          "): the server offers no fresh release");
        if ((now > v.from ? now - v.from : 0) * 10 >= (v.until - v.from) * 8)
            verdict.notes.push_back("the side file expires on " + UtcText(v.until) +
                                    ": the publisher should sign the release again before then");
    }
    verdict.notes.push_back("release " + (sums.release ? std::to_string(*sums.release) : std::string("not numbered")) +
                            " offered, " + installed + " installed before");
    verdict.accepted = true;
    verdict.updated = known;
    verdict.updated.current = *signer;
    for (const PublicKey& key : left) Retire(verdict.updated, key);
    if (sums.release && (!known.release || *sums.release > *known.release)) verdict.updated.release = sums.release;
    return verdict;
}

std::string UtcText(std::uint64_t seconds) {
    const CivilDate date = CivilFromDays(static_cast<std::int64_t>(seconds / 86400));
    const std::uint64_t inDay = seconds % 86400;
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02llu:%02llu UTC", static_cast<long long>(date.year),
                  static_cast<long long>(date.month), static_cast<long long>(date.day), static_cast<unsigned long long>(inDay / 3600),
                  static_cast<unsigned long long>(inDay / 60 % 60));
    return text;
}

}  // namespace vt::launcher
