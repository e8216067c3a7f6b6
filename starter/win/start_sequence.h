// The start sequence: everything the starter does after its load, as a unit
// of its own that returns how it ended, so that it runs (and is tested)
// without the window. In order: refuse settings that would touch what the
// starter did not make, install a delivered new launcher, remove the leftover
// clone, copy the game folder into a fresh clone, put the mode's executable
// into it, run the game until it and every process it started have ended, and
// remove the clone.
//
// Every file the sequence puts in place (the new launcher, the game in the
// clone) is copied beside its target, flushed and moved over it in one step:
// on a failure the old file stays and no temporary file remains.
#pragma once

#include <optional>
#include <string>

#include "config/settings.h"
#include "platform/win/program_log.h"

namespace vt::starter {

// What the sequence shows and how it shows that it is busy; the window in the
// program, a recorder in tests.
class StartSequenceView {
public:
    virtual ~StartSequenceView() = default;
    // A modal box with the critical icon and OK, titled "vtwd.exe".
    virtual void ShowProblem(const std::string& text) = 0;
    virtual void SetBusy(bool busy) = 0;
};

enum class StartOutcome {
    Refused,      // a setting would touch what the starter did not make: one box, nothing done
    AlreadyRunning,  // another starter is using the clone folder: one box, nothing done
    GameMissing,  // E6 / E8
    CopyFailed,   // E5 / E7
    GameEnded,    // the game ran and every process of it ended
};

class StartSequence {
public:
    StartSequence(const StarterSettings& settings, bool singleMode, StartSequenceView& view, win::ProgramLog& log)
        : settings_(settings), SingleMode(singleMode), view_(view), log_(log) {}

    // Runs the whole sequence. A game that cannot be started at all throws a
    // Failure (the unhandled-failure box); the clone then stays for the next
    // start to remove.
    StartOutcome Run();

private:
    StartOutcome Refuse(const std::string& text);
    // A setting that would touch what the starter did not make, before
    // anything is copied, deleted or run: the refusal's outcome.
    std::optional<StartOutcome> RefusalOfSettings();
    // The clone made, the game put in and run and waited for; the clone is
    // removed by the caller.
    StartOutcome CloneAndPlay();
    void InstallNewLauncher();
    // Throws a Failure naming the entry and the cause when the clone cannot be
    // made whole.
    void CopyFolder(std::string SourceDir, std::string TargetDir);
    void RemoveFolder(const std::string& Folder);
    void WaitForApplication(const std::string& Command, const std::string& Parameter, int AppStyle);

    const StarterSettings& settings_;
    const bool SingleMode;
    StartSequenceView& view_;
    win::ProgramLog& log_;
};

}  // namespace vt::starter
