#include "starter/win/starter_form.h"
#include "platform/win/text_codes.h"

#include "config/win/config_file.h"
#include "platform/win/failure.h"
#include "platform/win/window_owner.h"
#include "starter/start_rules.h"

namespace vt::starter {
namespace {

constexpr wchar_t kClassName[] = L"VT_StarterMainForm";
constexpr char kCaption[] = "Vortane Mod Launcher V1.56t";
constexpr UINT_PTR kTimerAusfuehrenId = 1;

void ProcessWaitingEvents() {
    MSG message;
    for (int i = 0; i < 100 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace

VT_StarterMainForm::VT_StarterMainForm(HINSTANCE instance, const std::string& argumentText) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);
    // 4680 x 3090 twips; the window is never shown.
    window_ = ::CreateWindowExW(0, kClassName, L"VT_Starter", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 312, 206,
                                nullptr, nullptr, instance, this);
    if (!window_) win::ThrowSystemError("Cannot create the starter's window");
    win::SetFailureOwner(window_);
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
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void VT_StarterMainForm::Form_Load(const std::string& argumentText) {
    ::SetWindowTextW(window_, win::Wide(kCaption).c_str());
    ::ShowWindow(window_, SW_HIDE);
    const std::optional<bool> single = ParseSingleMode(argumentText);
    if (!single) ::ExitProcess(0);  // no mode word: nothing is read, written or touched, not even the log
    SingleMode = *single;
    const std::string appDir = win::ProgramAppDir();
    log_ = std::make_unique<win::ProgramLog>(appDir, "vtwd.log");
    if (!log_->FallbackReason().empty()) log_->Line("LOG", log_->FallbackReason() + "; the log is here instead");
    log_->ReportHeldFiles();
    log_->Line("START", std::string(kCaption) + " in " + appDir + ", argument text \"" + argumentText + "\"");
    settings_ = win::ReadStarterSettings(appDir);
    TimerAusfuehren->SetInterval(1);
    TimerAusfuehren->SetEnabled(true);
}

void VT_StarterMainForm::TimerAusfuehren_Timer() {
    TimerAusfuehren->SetEnabled(false);
    try {
        StartSequence(settings_, SingleMode, *this, *log_).Run();
    } catch (const std::exception& e) {
        log_->Line("FAILURE", e.what());
        throw;  // the unhandled-failure box, then the end; the clone stays for the next start
    }
    ::ExitProcess(0);
}

void VT_StarterMainForm::ShowProblem(const std::string& text) {
    ::MessageBoxW(nullptr, win::Wide(text).c_str(), win::Wide(win::ProgramTitle()).c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void VT_StarterMainForm::SetBusy(bool busy) {
    if (busy) previousCursor_ = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
    else ::SetCursor(previousCursor_);
    ProcessWaitingEvents();
}

}  // namespace vt::starter
