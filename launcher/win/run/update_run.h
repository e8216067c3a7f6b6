// The update run, from the probe to its ending: fetch the start page and check
// its marker, show the online or the local start page, fetch the patch list,
// process its entries in order, and clean up after a complete run. The window
// disables tmrDoOnce before and, at the ending, arms the time-out and enables
// multiplayer after "Done.".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/rules/release_trust.h"
#include "launcher/rules/side_file.h"
#include "launcher/rules/update_rules.h"
#include "launcher/win/fetch/fetch_pool.h"
#include "launcher/win/run/run_context.h"
#include "launcher/win/run/trust_store.h"

namespace vt::launcher {

// How a run ended: one of its six endings, or the FILE ACCESS ERROR (a local
// file whose times cannot be read: the window shows its box and ends the
// program), or an unhandled failure (its box, then the end).
struct RunOutcome {
    RunEnding ending = RunEnding::Done;
    std::string fileAccessError;  // the local file, when that is how it ended
    std::string failure;          // what failed, when that is how it ended
};

// Where the run's steps ended: the ending and, when a fetch or the side file
// ended it, why (what the ENDING line says after the code). Each step hands
// it up; the ending writes it down once.
struct RunEnd {
    RunEnding ending = RunEnding::Done;
    std::string why = {};
};

class UpdateRun {
public:
    explicit UpdateRun(RunContext& context) : context_(context) {}

    // Sets the ending's status text and returns the outcome. Never throws: a
    // file operation outside the two steps whose errors are ignored is an
    // unhandled failure in the outcome.
    RunOutcome Run() noexcept;

    // The probe file begins with the launcher marker; false when it is missing.
    bool HasLauncherMarker(const std::string& FileName);

private:
    // The side file beside the list, read and judged by the key (whether it
    // fits the list is asked once the list's entries are read). Nothing when
    // there is none (or, without PUBLICKEY=, none could be fetched);
    // `refused` says why when the run must end with E1. Its fetch is the
    // pool's oldest. `remember`: what to remember of the release once the
    // list is seen to fit.
    std::optional<SideFile> SideFileFor(FetchPool& pool, std::optional<std::string>& refused,
                                        std::optional<TrustRecord>& remember);
    // A signed side file against the release remembered: why it is refused, or nothing.
    std::optional<std::string> JudgeRelease(const SideFile& sums, const std::string& text, const PublicKey& key,
                                            std::optional<TrustRecord>& remember);
    // The start page fetched and its marker checked; the ending when it fails.
    std::optional<RunEnd> Probe(FetchPool& pool);
    // The list and its side file fetched (both asked for past caches), the
    // side file judged and the list split; an ending when the run ends here.
    std::optional<RunEnd> FetchListAndSide(FetchPool& pool, std::vector<std::string>& entries,
                                           std::optional<SideFile>& sums, std::optional<TrustRecord>& remember);
    // Why the side file does not belong to this list (E1), or nothing.
    // `otherList`: the side file was made for another list (not only one
    // that does not fit): a cache may be serving one of them from before.
    std::optional<std::string> SideFileMisfitHere(const SideFile& sums, const std::string& listFile,
                                                  const std::vector<std::string>& entries, bool& otherList);
    // Every entry in order, then the fetches still going; E4 when one fails.
    // `mirrors`: the run's sources of hashed files.
    std::optional<RunEnd> ProcessEntries(FetchPool& pool, MirrorSet& mirrors, const std::vector<std::string>& entries,
                                         const std::optional<SideFile>& sums);
    RunEnding Ending();  // the steps, then the ending's status text and log line
    RunEnd Steps();
    void LogMirrors(const MirrorSet& mirrors);  // how many files each source served, and which were set aside
    void RemoveFile(const std::string& path);  // clears read-only, deletes; throws on failure

    RunContext& context_;
    // What is remembered of releases: read once, when the first signed side
    // file is judged, and written by the same store once the list fits.
    std::optional<TrustStore> trust_;
};

}  // namespace vt::launcher
