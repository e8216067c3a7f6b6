// Which signed side files a launcher accepts over time, beyond "signed by
// the key": the threats of a signed update system that an attacker on the
// network (a hotel network, a proxy, a mirror) can mount with files the
// publisher really signed (TUF's rollback, freeze and key-compromise cases).
//
// - Rollback: a side file with a release number lower than the highest this
//   launcher has accepted from the server is refused, and so is one without
//   a number once a numbered one was accepted (side files from before release
//   numbers are accepted until then). The same release again is fine.
// - Freeze: a side file past its "valid" end is refused; from 80% of its
//   time on, the run notes that it will soon be.
// - Key rotation: the launcher trusts one key at a time, at first PUBLICKEY=
//   (the root, which stays in UPDATE.CFG). A side file signed by another key
//   is accepted when it carries key-change statements leading from the
//   trusted key to that key, each signed by its predecessor; the new key is
//   trusted from then on and the retired one refused, so a stolen retired key
//   cannot sign a release. Every key the launcher followed a change away
//   from stays retired for good: a later change back to it (A to B, then B
//   to A) is not followed, and the old A-to-B statement cannot make B
//   trusted again once the launcher has left B.
//
// What the launcher remembers, per server (WEBPATH=) and root key, is a
// TrustRecord; its text form lives beside the hash cache.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/rules/side_file.h"

namespace vt::launcher {

struct TrustRecord {
    std::string server;                    // WEBPATH=
    PublicKey root{};                      // PUBLICKEY=
    PublicKey current{};                   // the key trusted now: the root until a rotation
    std::optional<std::uint64_t> release;  // the highest accepted; none while only unnumbered ones were seen
    std::vector<PublicKey> retired;        // every key a change was followed away from, oldest first
};

// True for a key this record will never trust again. The root counts as
// retired once the record has left it, also in records written before
// retired keys were kept.
bool IsRetired(const TrustRecord& record, const PublicKey& key);
// Adds `key` to the record's retired keys, once.
void Retire(TrustRecord& record, const PublicKey& key);

// A record for a server and root never seen: the root is trusted, no release.
TrustRecord FirstTrust(const std::string& server, const PublicKey& root);

// "VTTRUST 1" and one line per record: "ROOT CURRENT RELEASE|- SERVER", CR LF,
// each followed by a line "RETIRED KEY" per retired key (none for a record
// that never followed a change, so such files read in launchers from before
// retired keys were kept), then "SUM " and the XXH3-128 (content_sum.h, 32
// hex digits) of every byte before that line: a changed digit of a key still
// reads as a key, of another record, which only the sum tells. A file
// without the sum line (written by launchers before it) is read without it.
// Read whole or not at all: a file with a line that does not read, a last
// line without its CR LF, a sum that does not match or another heading
// gives nothing (with `why`).
// Skipping a record would forget a release and let an older one in again;
// the caller treats such a file as one it cannot trust, never as a new one.
std::string FormatTrustRecords(const std::vector<TrustRecord>& records);
std::optional<std::vector<TrustRecord>> ParseTrustRecords(std::string_view text, std::string* why = nullptr);

// What two records of the same server and root remember together, as if
// one launcher had seen both: the higher release, every key either retired,
// and the key trusted after the later change (the current key one of them
// has retired is the older). A record kept in two places (an unwritable
// file and its fallback) is read back this way, so no release and no
// retired key is ever forgotten.
TrustRecord MergeTrustRecords(const TrustRecord& a, const TrustRecord& b);
// Every record of `more` merged into `records` (same server and root), or
// added.
void MergeTrustRecordLists(std::vector<TrustRecord>& records, const std::vector<TrustRecord>& more);

// The caller's cryptography (CNG in the launcher, OpenSSL in tests).
struct SignatureCheck {
    std::function<Sha256(std::string_view)> sha256;
    std::function<bool(const PublicKey&, const Sha256&, const Signature&)> verify;
};

struct TrustVerdict {
    bool accepted = false;
    std::string why;                 // why not, for the log and the ending
    std::vector<std::string> notes;  // for the log: a key change followed, a release, an expiry ahead
    TrustRecord updated;             // what to remember when accepted
};

// `sideText`: the side file's bytes, of which `sums` was read. `now`: UTC seconds.
TrustVerdict JudgeSignedSideFile(const SideFile& sums, std::string_view sideText, const TrustRecord& known,
                                 std::uint64_t now, const SignatureCheck& crypto);

// "2026-12-07 10:15 UTC".
std::string UtcText(std::uint64_t seconds);

}  // namespace vt::launcher
