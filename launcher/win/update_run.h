// The update run, from the probe to its ending: fetch the start page and check
// its marker, show the online or the local start page, fetch the patch list,
// process its entries in order, and clean up after a complete run. The window
// disables tmrDoOnce before and, at the ending, arms the time-out and enables
// multiplayer after "Done.".
#pragma once

#include <string>

#include "launcher/rules/update_rules.h"
#include "launcher/win/run_context.h"

namespace vt::launcher {

class UpdateRun {
public:
    explicit UpdateRun(RunContext& context) : context_(context) {}

    // Sets the ending's status text and returns the ending. A file operation
    // outside the two steps whose errors are ignored throws a Failure.
    RunEnding Run();

    // The probe file begins with the launcher marker; false when it is missing.
    bool HasLauncherMarker(const std::string& FileName);

private:
    RunEnding Steps();
    void RemoveFile(const std::string& path);  // clears read-only, deletes; throws on failure

    RunContext& context_;
};

}  // namespace vt::launcher
