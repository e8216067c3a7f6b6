// The update run, from the probe to its ending: fetch the start page and check
// its marker, show the online or the local start page, fetch the patch list,
// process its entries in order, and clean up after a complete run. The window
// disables tmrDoOnce before and, at the ending, arms the time-out and enables
// multiplayer after "Done.".
#pragma once

#include <optional>
#include <string>

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
    // The side file beside the list, checked against the list and the key.
    // Nothing when there is none (or, without PUBLICKEY=, none could be
    // fetched); `failed` when the run must end with E1.
    std::optional<SideFile> SideFileFor(const std::string& listFile, bool& failed);
    RunEnding Ending();  // the steps, then the ending's status text and log line
    RunEnding Steps();
    void RemoveFile(const std::string& path);  // clears read-only, deletes; throws on failure

    RunContext& context_;
};

}  // namespace vt::launcher
