// What the launcher remembers about signed releases (release_trust.h), in
// "VT_Update.trust" beside the program, as the hash cache is. Where the
// program's folder cannot be written, the file lives in the same fallback
// place as the log ("%LOCALAPPDATA%\Vortane\"), so rollback protection does
// not silently end on such an install; the fallback is read only when the
// program's own file is missing, which keeps an ordinary start from loading
// the shell for it.
#pragma once

#include <string>
#include <vector>

#include "launcher/rules/release_trust.h"

namespace vt::launcher {

inline constexpr char kTrustFileName[] = "VT_Update.trust";

class TrustStore {
public:
    explicit TrustStore(std::string appDir);

    // What is remembered for this server and root key (FirstTrust when nothing).
    TrustRecord Find(const std::string& server, const PublicKey& root) const;
    // Keeps `record` (replacing the one for its server and root) and writes the
    // file in one step; false with `why` when it could be written nowhere.
    bool Remember(const TrustRecord& record, std::string& why);

private:
    std::string primary_;
    std::vector<TrustRecord> records_;
};

}  // namespace vt::launcher
