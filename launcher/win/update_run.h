// The update run, from the probe to its ending: fetch the start page and check
// its marker, show the online or the local start page, fetch the patch list,
// process its entries in order, and clean up after a complete run. The window
// disables tmrDoOnce before and, at the ending, arms the time-out and enables
// multiplayer after "Done.".
#pragma once

#include <optional>
#include <string>
#include <thread>

#include "launcher/rules/release_trust.h"
#include "launcher/rules/side_file.h"
#include "launcher/rules/update_rules.h"
#include "launcher/win/run_context.h"

namespace vt::launcher {

// How a run ended: one of its six endings, or the FILE ACCESS ERROR (a local
// file whose times cannot be read: the window shows its box and ends the
// program), or an unhandled failure (its box, then the end).
struct RunOutcome {
    RunEnding ending = RunEnding::Done;
    std::string fileAccessError;  // the local file, when that is how it ended
    std::string failure;          // what failed, when that is how it ended
};

// The side file's fetch: with several fetches at once, on a thread of its
// own while the list is fetched; one at a time, in Wait, after the list.
struct SideFileFetch {
    SideFileFetch(std::string sideUrl, std::string sideFile, const TransferTimeouts& timeouts, bool atOnce);
    ~SideFileFetch();  // waits for a fetch going on; removes a fetched file nobody read
    SideFileFetch(const SideFileFetch&) = delete;
    SideFileFetch& operator=(const SideFileFetch&) = delete;
    void Wait();  // the fetch has ended afterwards

    std::string url;
    std::string file;
    FetchOutcome outcome;
    bool taken = false;

private:
    void Fetch() noexcept;
    TransferTimeouts timeouts_;
    bool fetched_ = false;
    std::thread thread;
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
    // there is none (or, without PUBLICKEY=, none could be fetched); `failed`
    // when the run must end with E1. `fetch` is the side file's fetch, made
    // meanwhile (SideFileFetch). `remember`: what to remember of the release
    // once the list is seen to fit.
    std::optional<SideFile> SideFileFor(struct SideFileFetch& fetch, bool& failed, std::optional<TrustRecord>& remember);
    RunEnding Ending();  // the steps, then the ending's status text and log line
    RunEnding Steps();
    void RemoveFile(const std::string& path);  // clears read-only, deletes; throws on failure

    RunContext& context_;
};

}  // namespace vt::launcher
