#include "starter/win/starter_form.h"

#include "config/win/config_file.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"
#include "platform/win/window_owner.h"
#include "starter/start_rules.h"
#include "starter/win/folder_tree.h"
#include "starter/win/process.h"

namespace vt::starter {
namespace {

constexpr char kClassName[] = "VT_StarterMainForm";
constexpr UINT_PTR kTimerAusfuehrenId = 1;

// Runs one step whose failure is passed over: the rest of the step is skipped
// and the sequence goes on.
template <typename F>
void IgnoringErrors(F&& step) {
    try {
        step();
    } catch (...) {
    }
}

void ProcessWaitingEvents() {
    MSG message;
    for (int i = 0; i < 100 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

// The busy pointer for the length of a tree operation.
class BusyPointer {
public:
    BusyPointer() : previous_(::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) { ProcessWaitingEvents(); }
    ~BusyPointer() {
        ::SetCursor(previous_);
        ProcessWaitingEvents();
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    HCURSOR previous_;
};

}  // namespace

VT_StarterMainForm::VT_StarterMainForm(HINSTANCE instance, const std::string& argumentText) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.lpszClassName = kClassName;
    ::RegisterClassA(&windowClass);
    // 4680 x 3090 twips; the window is never shown.
    window_ = ::CreateWindowExA(0, kClassName, "VT_Starter", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 312, 206,
                                nullptr, nullptr, instance, this);
    if (!window_) win::ThrowSystemError("Cannot create the starter's window");
    TimerAusfuehren = std::make_unique<win::Timer>(window_, kTimerAusfuehrenId);
    Form_Load(argumentText);
}

int VT_StarterMainForm::RunMessageLoop() { return win::RunMessageLoop(); }

LRESULT CALLBACK VT_StarterMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = win::WindowOwner<VT_StarterMainForm>(window, message, lParam);
    if (form && message == WM_TIMER && wParam == kTimerAusfuehrenId) {
        win::GuardEvent([form] { form->TimerAusfuehren_Timer(); });
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void VT_StarterMainForm::Form_Load(const std::string& argumentText) {
    ::SetWindowTextA(window_, "Vortane Mod Launcher V1.56t");
    ::ShowWindow(window_, SW_HIDE);
    const std::optional<bool> single = ParseSingleMode(argumentText);
    if (!single) ::ExitProcess(0);  // no mode word: nothing is read or touched
    SingleMode = *single;
    settings_ = win::ReadStarterSettings(win::ProgramAppDir());
    TimerAusfuehren->SetInterval(1);
    TimerAusfuehren->SetEnabled(true);
}

void VT_StarterMainForm::TimerAusfuehren_Timer() {
    TimerAusfuehren->SetEnabled(false);
    InstallNewLauncher();

    // A clone folder that is the game's folder, holds it or the starter, or is
    // a drive root would be wiped by the removal: refuse before touching it.
    const std::string refusal = CloneDirRefusal(settings_.CloneDir, settings_.CopyDir, settings_.AppDir);
    if (!refusal.empty()) {
        ShowProblem("The clone folder " + settings_.CloneDir + " cannot be used: " + refusal +
                    ". Set CLONEDIR= in UPDATE.CFG to a folder of its own.");
        ::ExitProcess(0);
    }

    IgnoringErrors([&] { RemoveFolder(settings_.CloneDir); });
    IgnoringErrors([&] { CopyFolder(settings_.CopyDir, settings_.CloneDir); });

    const std::string& gameSource = SingleMode ? settings_.ExeName2 : settings_.ExeName;
    const char* missingCode = SingleMode ? "[E8]" : "[E6]";
    const char* copyFailedCode = SingleMode ? "[E7]" : "[E5]";
    const std::string gameTarget = settings_.CloneDir + settings_.SrName;

    if (!FileExists(gameSource)) {
        ShowProblem(std::string("Problem starting Multiplayer ... ") + missingCode);
    } else {
        ::SetFileAttributesA(gameTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(gameTarget.c_str());
        if (!::CopyFileA(gameSource.c_str(), gameTarget.c_str(), FALSE)) {
            ShowProblem(std::string("Problem starting Multiplayer ... ") + copyFailedCode);
        } else {
            WaitForApplication(gameTarget, settings_.ExeParams, 1);  // not guarded: the clone stays
        }
    }
    IgnoringErrors([&] { RemoveFolder(settings_.CloneDir); });
    ::ExitProcess(0);
}

void VT_StarterMainForm::InstallNewLauncher() {
    const std::string source = settings_.AppDir + settings_.NewLauncher;
    if (!FileExists(source)) return;
    // Sleep takes an unsigned count whose all-ones value never ends: a
    // negative delay means no wait.
    if (settings_.DelayMs > 0) ::Sleep(static_cast<DWORD>(settings_.DelayMs));
    const std::string target = settings_.AppDir + settings_.SrName;
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(target.c_str());
    ::CopyFileA(source.c_str(), target.c_str(), FALSE);
}

void VT_StarterMainForm::CopyFolder(std::string SourceDir, std::string TargetDir) {
    BusyPointer busy;
    if (SourceDir.empty() || SourceDir.back() != '\\') SourceDir += '\\';
    if (TargetDir.empty() || TargetDir.back() != '\\') TargetDir += '\\';
    CopyFolderTree(SourceDir, TargetDir);
}

void VT_StarterMainForm::RemoveFolder(std::string Folder) {
    BusyPointer busy;
    RemoveFolderTree(Folder);
}

bool VT_StarterMainForm::FileExists(const std::string& FileName) { return win::FileExists(FileName); }

void VT_StarterMainForm::WaitForApplication(const std::string& Command, const std::string& Parameter, int /*AppStyle*/) {
    StartAndWait(Command, Parameter);
}

void VT_StarterMainForm::ShowProblem(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), win::ProgramTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace vt::starter
