#include "launcher/win/window/frm_update.h"
#include "platform/win/text_codes.h"

#include "config/win/config_file.h"
#include "launcher/rules/window_layout.h"
#include "launcher/win/window/frm_update_messages.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"
#include "platform/win/window_owner.h"

namespace vt::launcher {
namespace {

constexpr const wchar_t* kClassName = frmUpdate::kWindowClass;
constexpr wchar_t kBrowserClassName[] = L"VT_BrowserHost";
constexpr char kCaption[] = "Vortane Mod Launcher V1.56";
constexpr char kAboutText[] = "Vortane Mod Launcher by the Vortane Mod team.";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

void RegisterClasses(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSW form{};
    form.style = CS_DBLCLKS;  // the about message
    form.lpfnWndProc = windowProc;
    form.hInstance = instance;
    form.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    form.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    form.hbrBackground = ::CreateSolidBrush(RGB(64, 64, 64));  // lives as long as the class, that is the program
    form.lpszClassName = kClassName;
    if (!::RegisterClassW(&form)) win::ThrowSystemError("Cannot register the launcher's window class");

    WNDCLASSW container{};
    container.lpfnWndProc = ::DefWindowProcW;  // no CS_DBLCLKS: a double-click here is never the about message
    container.hInstance = instance;
    container.hCursor = form.hCursor;
    container.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    container.lpszClassName = kBrowserClassName;
    if (!::RegisterClassW(&container)) win::ThrowSystemError("Cannot register the browser's window class");
}

HWND Child(HWND parent, HINSTANCE instance, const wchar_t* className, const char* text, DWORD style, DWORD exStyle, int id) {
    HWND child = ::CreateWindowExW(exStyle, className, win::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!child) win::ThrowSystemError(std::string("Cannot create the control \"") + text + "\"");
    return child;
}

void Place(HWND control, Element element, UINT dpi) {
    const PixelRect r = ElementRect(element, static_cast<int>(dpi));
    ::SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

win::UniqueGdiObject BoldFont(const char* face, int hundredthsOfPoint, UINT dpi) {
    return win::UniqueGdiObject(::CreateFontW(FontHeight(hundredthsOfPoint, static_cast<int>(dpi)), 0, 0, 0, FW_BOLD,
                                              FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, win::Wide(face).c_str()));
}

}  // namespace

frmUpdate::frmUpdate(HINSTANCE instance) {
    RegisterClasses(instance, WindowProc);
    window_ = ::CreateWindowExW(kExStyle, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                                instance, this);
    if (!window_) win::ThrowSystemError("Cannot create the launcher's window");
    win::SetFailureOwner(window_);
    taskbar_ = std::make_unique<TaskbarProgress>(window_);
    dispatcher_ = std::make_unique<UiDispatcher>(window_, msg::kRunWork);
    CreateControls(instance);
    tmrDoOnce = std::make_unique<win::Timer>(window_, msg::kDoOnceTimerId);
    TimerUpdateTimeOut = std::make_unique<win::Timer>(window_, msg::kTimeoutTimerId);
    tmrStatus = std::make_unique<win::Timer>(window_, msg::kStatusTimerId);
    Form_Load();

    // Centred on the screen it opens on.
    RECT frame;
    ::GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
}

frmUpdate::~frmUpdate() = default;

void frmUpdate::CreateControls(HINSTANCE instance) {
    // Created in tab order: Browser, cmdLaunch, cmdQuit, txtStatus, SchalterSingleLaunch.
    Browser = Child(window_, instance, kBrowserClassName, "", WS_CLIPCHILDREN, 0, msg::kBrowserId);
    cmdLaunch = Child(window_, instance, L"BUTTON", "LAUNCH Vortane Multiplayer", BS_PUSHBUTTON, 0, msg::kLaunchId);
    cmdQuit = Child(window_, instance, L"BUTTON", "Quit", BS_PUSHBUTTON, 0, msg::kQuitId);
    txtStatus = Child(window_, instance, L"EDIT", ".", ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, msg::kStatusId);
    SchalterSingleLaunch =
        Child(window_, instance, L"BUTTON", "LAUNCH Vortane Singleplayer", BS_PUSHBUTTON, 0, msg::kSingleLaunchId);
    ::EnableWindow(cmdLaunch, FALSE);
    ApplyLayout(::GetDpiForWindow(window_));
    if (WebBrowserHost::HtmlEngineRenders()) browserHost_ = std::make_unique<WebBrowserHost>(Browser);
    if (!browserHost_ || !browserHost_->Available()) {
        // A blank page area tells a player nothing: the page's text instead.
        // Last among the controls (and in tab order): tools that look for
        // "the" edit control of this window find the status box first, as ever.
        pageText_ = std::make_unique<PageTextView>(window_, instance, msg::kPageTextId);
        ::ShowWindow(Browser, SW_HIDE);
        ApplyLayout(dpi_);
    }
}

void frmUpdate::ApplyLayout(UINT dpi) {
    dpi_ = dpi ? dpi : 96;
    RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi_)),
               TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi_))};
    ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Place(Browser, Element::Browser, dpi_);
    Place(cmdLaunch, Element::cmdLaunch, dpi_);
    Place(cmdQuit, Element::cmdQuit, dpi_);
    Place(txtStatus, Element::txtStatus, dpi_);
    Place(SchalterSingleLaunch, Element::SchalterSingleLaunch, dpi_);

    buttonFont_ = BoldFont("MS Sans Serif", 1200, dpi_);
    statusFont_ = BoldFont("Verdana", 975, dpi_);
    for (HWND button : {cmdLaunch, cmdQuit, SchalterSingleLaunch})
        ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_.get()), TRUE);
    ::SendMessageW(txtStatus, WM_SETFONT, reinterpret_cast<WPARAM>(statusFont_.get()), TRUE);
    if (browserHost_) browserHost_->FitToContainer();
    if (pageText_) {
        Place(pageText_->Handle(), Element::Browser, dpi_);
        pageText_->ApplyFont(dpi_);
    }
}

void frmUpdate::Form_Load() {
    ::SetWindowTextW(window_, win::Wide(kCaption).c_str());
    settings_ = win::ReadLauncherSettings(win::ProgramAppDir());  // PatchListName "update.dat" unless PATCHLIST= says otherwise
    log_ = std::make_unique<win::ProgramLog>(settings_.AppDir, "VT_Update.log");
    if (!log_->FallbackReason().empty()) log_->Line("LOG", log_->FallbackReason() + "; the log is here instead");
    log_->ReportHeldFiles();
    log_->Line("START", std::string(kCaption) + " in " + settings_.AppDir + ", server " + settings_.WebPath);
    if (pageText_)
        log_->Line("BROWSER", browserHost_ ? "the WebBrowser control is not available: start pages are shown as text"
                                       : "no HTML engine renders pages here: start pages are shown as text");
    tmrDoOnce->SetInterval(1);
    tmrDoOnce->SetEnabled(true);
}

int frmUpdate::RunMessageLoop() { return win::RunMessageLoop(window_); }  // Tab between the controls

LRESULT CALLBACK frmUpdate::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = win::WindowOwner<frmUpdate>(window, message, lParam);
    if (!form || !form->window_) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    win::GuardEvent([&] { result = form->HandleMessage(message, wParam, lParam); });
    return result;
}

LRESULT frmUpdate::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == TaskbarProgress::ButtonCreatedMessage()) {  // registered: not a case label
        taskbar_->ButtonCreated();
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                switch (LOWORD(wParam)) {
                    case msg::kLaunchId: cmdLaunch_Click(); return 0;
                    case msg::kQuitId: cmdQuit_Click(); return 0;
                    case msg::kSingleLaunchId: SchalterSingleLaunch_Click(); return 0;
                }
            }
            break;
        case WM_TIMER:
            if (wParam == msg::kDoOnceTimerId) tmrDoOnce_Timer();
            if (wParam == msg::kTimeoutTimerId) TimerUpdateTimeOut_Timer();
            if (wParam == msg::kStatusTimerId) ShowLatestStatus(true);
            return 0;
        case WM_CTLCOLORSTATIC:  // a read-only edit's colours
            if (pageText_ && reinterpret_cast<HWND>(lParam) == pageText_->Handle())
                return pageText_->Colors(reinterpret_cast<HDC>(wParam));
            break;
        case WM_LBUTTONDBLCLK:
            Form_DblClick(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            ApplyLayout(HIWORD(wParam));
            return 0;
        }
        case msg::kRunWork: dispatcher_->RunPending(); return 0;
        case WM_DESTROY:  // closed through the window manager: the program ends with its window
            EndProgram();
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void frmUpdate::Form_DblClick(int x, int y) {
    // Only the margins and gaps: a blank browser area is not background.
    if (!IsOnBackground(x, y, static_cast<int>(dpi_))) return;
    ::MessageBoxW(window_, win::Wide(kAboutText).c_str(), win::Wide(win::ProgramTitle()).c_str(), MB_OK);
}

void frmUpdate::cmdQuit_Click() {
    log_->Line("ENDING", "Quit");
    EndProgram();
}

void frmUpdate::SetStatusNow(const std::string& text) {
    log_->Line("STATUS", text);
    ::SetWindowTextW(txtStatus, win::Wide(text).c_str());
}


void frmUpdate::EndProgram() {
    // Terminate rather than exit: a run's thread may stand anywhere, and
    // nothing of it is to be completed.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

}  // namespace vt::launcher
