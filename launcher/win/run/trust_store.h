// What the launcher remembers about signed releases (release_trust.h), in
// "VT_Update.trust" beside the program, as the hash cache is. Where that
// file cannot be replaced (a folder the player may not write, a record an
// elevated installer left behind), the records go to the same fallback
// place as the log ("%LOCALAPPDATA%\Vortane\"), so rollback protection does
// not silently end on such an install. Both are read, always, and merged
// record by record (the higher release, every retired key): what one run
// remembers anywhere is what the next one reads. Each use of the fallback
// is a note for the log.
//
// Only a record that is not there at all means first trust. One that is
// there (hidden, system or read-only included) and cannot be read whole
// (held open by another program, damaged, cut short) is Unreadable: the run
// ends before any file is fetched and nothing is written over it, since
// reading it as empty would let an older release in and then forget the
// newer one for good. A release remembered is never lowered.
//
// Read once, when the store is made: a run makes one and asks it both what
// it knows and to remember the release it accepts.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "launcher/rules/release_trust.h"

namespace vt::launcher {

inline constexpr char kTrustFileName[] = "VT_Update.trust";

class TrustStore {
public:
    explicit TrustStore(std::string appDir);

    // Why the record there cannot be used, with what the player can do;
    // nothing when it was read or is not there.
    const std::optional<std::string>& Unreadable() const { return unreadable_; }

    // What is remembered for this server and root key (FirstTrust when nothing).
    TrustRecord Find(const std::string& server, const PublicKey& root) const;
    // Keeps `record` (replacing the one for its server and root, never with
    // a lower release) and writes the file in one step; false with `why`
    // when it could be written nowhere, or the record there is Unreadable.
    bool Remember(const TrustRecord& record, std::string& why);

    // What the log should say of where the records were read and written
    // since the last call.
    std::vector<std::string> TakeNotes() { return std::exchange(notes_, {}); }

private:
    std::string primary_;
    std::string fallback_;  // empty where there is no local data folder
    std::vector<std::string> notes_;
    std::vector<TrustRecord> records_;
    std::optional<std::string> unreadable_;
};

}  // namespace vt::launcher
