// What the launcher remembers about signed releases (release_trust.h), in
// "VT_Update.trust" beside the program, as the hash cache is. Where the
// program's folder cannot be written, the file lives in the same fallback
// place as the log ("%LOCALAPPDATA%\Vortane\"), so rollback protection does
// not silently end on such an install; the fallback is read only when the
// program's own file is missing, which keeps an ordinary start from loading
// the shell for it.
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

private:
    std::string primary_;
    std::vector<TrustRecord> records_;
    std::optional<std::string> unreadable_;
};

}  // namespace vt::launcher
