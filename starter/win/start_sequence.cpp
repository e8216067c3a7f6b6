#include "starter/win/start_sequence.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <windows.h>

#include "platform/scope_exit.h"
#include "platform/win/failure.h"
#include "platform/win/file_identity.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/named_lock.h"
#include "platform/win/process.h"
#include "platform/win/replace_file.h"
#include "starter/start_rules.h"
#include "starter/win/clone_folder.h"
#include "starter/win/folder_tree.h"

namespace vt::starter {
namespace {

// Runs one step whose failure is passed over: the rest of the step is skipped
// and the sequence goes on. The log keeps what went wrong.
template <typename F>
void IgnoringErrors(win::ProgramLog& log, const char* step, F&& run) {
    try {
        run();
    } catch (const std::exception& e) {
        log.Line(step, std::string("failed, passed over: ") + e.what());
    } catch (...) {
        log.Line(step, "failed, passed over");
    }
}

// One starter per clone folder: a second one (a double click on multiplayer,
// two launchers) would remove and copy under the running game. The lock is a
// named mutex for the clone folder as it is on disk: the identity of the
// folder holding it and the clone's own name in capitals. The system frees it
// when the process ends, however it ends.
class CloneLock {
public:
    explicit CloneLock(const std::string& cloneDir) {
        std::string folder = cloneDir;
        while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
        const std::size_t slash = folder.find_last_of('\\');
        std::string leaf = slash == std::string::npos ? folder : folder.substr(slash + 1);
        const std::string parent = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
        leaf = win::FileNameKey(leaf);
        std::string name = "Local\\vtwd-clone-";
        if (const auto identity = win::IdentityOf(parent))
            name += std::to_string(identity->volume) + "-" + std::to_string(identity->index) + "-";
        for (const char c : leaf) name += c == '\\' ? '_' : c;  // a mutex name holds no backslash after its prefix
        lock_.emplace(name);
    }
    bool Taken() const { return lock_->Held(); }

private:
    std::optional<win::NamedLock> lock_;
};

// The view busy until the scope is left, by any road.
auto BusyWhile(StartSequenceView& view) {
    view.SetBusy(true);
    return [&view] { view.SetBusy(false); };
}

}  // namespace

StartOutcome StartSequence::Run() {
    const StarterSettings& s = settings_;
    log_.Line("MODE", SingleMode ? "SINGLE" : "MULTI");
    log_.Line("SETTINGS", "AppDir=" + s.AppDir + " CopyDir=" + s.CopyDir + " CloneDir=" + s.CloneDir +
                              " ExeName=" + s.ExeName + " ExeName2=" + s.ExeName2 + " SrName=" + s.SrName +
                              " NewLauncher=" + s.NewLauncher + " DelayMs=" + std::to_string(s.DelayMs) +
                              " ExeParams=" + s.ExeParams);

    // Every refusal comes before anything is copied, deleted or run.
    const CloneLock lock(s.CloneDir);
    if (!lock.Taken()) {
        log_.Line("REFUSED", "another vtwd.exe is using the clone folder " + s.CloneDir);
        view_.ShowProblem("The game is already running from " + s.CloneDir +
                          ". Wait until it has ended before you start it again.");
        return StartOutcome::AlreadyRunning;
    }
    if (const std::optional<StartOutcome> refused = RefusalOfSettings()) return *refused;

    InstallNewLauncher();
    IgnoringErrors(log_, "REMOVE", [&] { RemoveFolder(s.CloneDir); });
    const StartOutcome outcome = CloneAndPlay();
    IgnoringErrors(log_, "REMOVE", [&] { RemoveFolder(s.CloneDir); });
    log_.Line("END", ::GetFileAttributesW(win::PathW(s.CloneDir).c_str()) == INVALID_FILE_ATTRIBUTES ? "the clone is gone"
                                                                                         : "the clone stays");
    return outcome;
}

std::optional<StartOutcome> StartSequence::RefusalOfSettings() {
    const StarterSettings& s = settings_;
    if (const std::string why = SrNameRefusal(s.SrName); !why.empty())
        return Refuse("The game's file name SRNAME=" + s.SrName + " cannot be used: " + why +
                      ". Set SRNAME= in UPDATE.CFG to the game's file name, for example Skyreach.exe.");
    if (const std::string why = CloneDirRefusal(s); !why.empty())
        return Refuse("The clone folder " + s.CloneDir + " cannot be used: " + why +
                      ". Move that folder away, or set CLONEDIR= in UPDATE.CFG to a folder of its own.");
    return std::nullopt;
}

StartOutcome StartSequence::CloneAndPlay() {
    const StarterSettings& s = settings_;
    const std::string& gameSource = SingleMode ? s.ExeName2 : s.ExeName;
    const char* missingCode = SingleMode ? "[E8]" : "[E6]";
    const char* copyFailedCode = SingleMode ? "[E7]" : "[E5]";
    const std::string gameTarget = s.CloneDir + s.SrName;
    std::string copyFailure;
    try {
        CopyFolder(s.CopyDir, s.CloneDir);
    } catch (const std::exception& e) {
        copyFailure = e.what();
    }
    if (!copyFailure.empty()) {
        // The game never starts in an incomplete clone.
        log_.Line("COPY", "failed, the game is not started: " + copyFailure + " " + copyFailedCode);
        view_.ShowProblem(std::string("Problem starting Multiplayer ... ") + copyFailedCode +
                          "\n\nThe game folder could not be copied into " + s.CloneDir + ":\n" + copyFailure);
        return StartOutcome::CopyFailed;
    }
    if (!win::FileExists(gameSource)) {
        log_.Line("GAME", gameSource + " is missing " + missingCode);
        view_.ShowProblem(std::string("Problem starting Multiplayer ... ") + missingCode);
        return StartOutcome::GameMissing;
    }
    std::string error;
    if (!win::CopyFileReplacing(gameSource, gameTarget, &error)) {
        log_.Line("GAME", "copying " + gameSource + " to " + gameTarget + " failed, " + error + " " + copyFailedCode);
        view_.ShowProblem(std::string("Problem starting Multiplayer ... ") + copyFailedCode);
        return StartOutcome::CopyFailed;
    }
    log_.Line("GAME", "copied " + gameSource + " to " + gameTarget);
    // The copy replaced the game folder's file: the new one is noted too.
    IgnoringErrors(log_, "GAME", [&] { CloneRecorder(s.CloneDir).Created(gameTarget); });
    WaitForApplication(gameTarget, s.ExeParams, 1);  // not guarded: the clone stays
    return StartOutcome::GameEnded;
}

StartOutcome StartSequence::Refuse(const std::string& text) {
    log_.Line("REFUSED", text);
    view_.ShowProblem(text);
    return StartOutcome::Refused;
}

void StartSequence::InstallNewLauncher() {
    const std::string source = settings_.AppDir + settings_.NewLauncher;
    if (!win::FileExists(source)) return;
    const std::uint32_t delay = EffectiveDelayMs(settings_.DelayMs);
    log_.Line("NEWLAUNCHER", source + " found, installing after " + std::to_string(delay) + " ms");
    if (delay > 0) ::Sleep(delay);
    const std::string target = settings_.AppDir + settings_.SrName;
    std::string error;
    if (win::CopyFileReplacing(source, target, &error))
        log_.Line("NEWLAUNCHER", "installed as " + target);
    else
        log_.Line("NEWLAUNCHER", "not installed, " + target + " stays as it was: " + error);
}

void StartSequence::CopyFolder(std::string SourceDir, std::string TargetDir) {
    const ScopeExit busy(BusyWhile(view_));
    SourceDir = WithTrailingBackslash(std::move(SourceDir));
    TargetDir = WithTrailingBackslash(std::move(TargetDir));
    // The marker goes in first, so that even a copy cut short leaves a clone
    // the next start recognises as its own.
    if (!MakeOwnClone(TargetDir)) win::ThrowSystemError("the clone folder " + TargetDir + " cannot be made or marked");
    CloneRecorder recorder(TargetDir);
    CopyFolderTree(SourceDir, TargetDir, &recorder);
    log_.Line("COPY", SourceDir + " copied to " + TargetDir);
}

void StartSequence::RemoveFolder(const std::string& Folder) {
    const ScopeExit busy(BusyWhile(view_));
    if (::GetFileAttributesW(win::PathW(Folder).c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (!IsOwnClone(Folder)) {
        log_.Line("REMOVE", Folder + " is not a clone of this starter, left alone");
        return;
    }
    RemoveOwnClone(Folder);
    log_.Line("REMOVE", Folder + (::GetFileAttributesW(win::PathW(Folder).c_str()) == INVALID_FILE_ATTRIBUTES
                                      ? " removed"
                                      : " removed in part (something in it is in use or a link)"));
}


void StartSequence::WaitForApplication(const std::string& Command, const std::string& Parameter, int /*AppStyle*/) {
    // Started minimised and activated whatever AppStyle says, in the
    // starter's own (inherited) working folder, where the game keeps what it
    // writes beside itself; the clone is not a place for a player's files.
    const std::string commandLine = BuildGameCommandLine(Command, Parameter);
    log_.Line("GAME", "starting " + commandLine);
    std::string why;
    const win::WaitScope scope = win::StartAndWaitForAll(commandLine, Command, SW_SHOWMINIMIZED, &why);
    if (scope == win::WaitScope::FirstProcess)
        log_.Line("GAME", "no job object (" + why + "): waited only for the game's first process");
    log_.Line("GAME", "ended");
}

}  // namespace vt::starter
