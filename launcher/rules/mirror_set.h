// Where the files of a run may come from: `WEBPATH=` and the mirrors of
// `MIRRORS=`. Only bytes the side file vouches for are taken from a mirror:
// a mirror needs no trust, since each body must have the side file's SHA-256
// before it is put in place. The start page, the list, the side file and
// every file without a hash come from WEBPATH= alone.
//
// With mirrors, the files they may serve are spread over them in turn, and
// WEBPATH= serves them only when every mirror has been set aside (a
// publisher adds mirrors to take the load off its own server; one that wants
// WEBPATH= in the turn lists it in MIRRORS= too). A source whose fetch fails
// for a reason of its own (no connection, an error status, a body that is
// not the one released) is set aside for the rest of the run, and the fetch
// goes on at the next source; the entry fails only when every source has
// failed it. Safe to use from the pool's threads at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vt::launcher {

// The base URLs of a "MIRRORS=" value, separated by blanks; those that are
// not http:// or https:// URLs go to `refused`.
std::vector<std::string> ParseMirrors(std::string_view value, std::vector<std::string>* refused = nullptr);

class MirrorSet {
public:
    static constexpr int kNone = -1;
    static constexpr int kWebPath = 0;

    MirrorSet(std::string webPath, std::vector<std::string> mirrors);
    MirrorSet(const MirrorSet&) = delete;
    MirrorSet& operator=(const MirrorSet&) = delete;

    bool HasMirrors() const { return sources_.size() > 1; }
    // The source for the next try of a fetch that has tried `tried`: the
    // next mirror in turn that is not set aside; WEBPATH= when none is left;
    // kNone when that was tried or set aside too.
    int Pick(const std::vector<int>& tried);
    const std::string& Base(int source) const { return sources_[static_cast<std::size_t>(source)]; }
    void SetAside(int source);
    bool IsSetAside(int source) const;
    // How many bodies each source served (Served), for the log.
    void CountServed(int source);
    std::vector<std::uint64_t> ServedCounts() const;

private:
    std::vector<std::string> sources_;  // [0] is WEBPATH=
    mutable std::mutex mutex_;
    std::vector<bool> setAside_;
    std::vector<std::uint64_t> served_;
    std::uint64_t turn_ = 0;
};

}  // namespace vt::launcher
