// frmUpdate: the launcher's one window. Its load reads the settings and arms
// tmrDoOnce; each tick of tmrDoOnce starts an update run, which goes on a
// thread of its own so that the window keeps repainting and Quit and
// single-player answer at any moment. The window is the run's view
// (frm_update_view.cpp), which hands everything over through one UiDispatcher;
// every change of a control happens on the window's thread, in the order the
// run asks for it, and the run's outcome (an ending, the FILE ACCESS ERROR or
// an unhandled failure) is the last thing it hands over. At most one run
// exists at a time: tmrDoOnce is disabled by the tick that starts it and
// armed again only by the time-out, which the run's ending arms.
//
// The program ends at once on Quit, on either launch, on closing the window
// and after the FILE ACCESS ERROR box: the log is written out and the process
// is terminated, so a run in progress is abandoned where it stands (a fetch in
// progress leaves at most its "<file>.vtpart" beside the file, which the next
// run removes; the file itself is untouched).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "config/settings.h"
#include "launcher/rules/update_rules.h"
#include "launcher/win/run/run_context.h"
#include "launcher/win/window/page_text_view.h"
#include "launcher/win/window/coalesced.h"
#include "launcher/win/window/taskbar_progress.h"
#include "launcher/win/window/ui_dispatcher.h"
#include "launcher/win/run/update_run.h"
#include "launcher/win/window/web_browser.h"
#include "platform/win/handles.h"
#include "platform/win/program_log.h"
#include "platform/win/timer.h"

namespace vt::launcher {

class frmUpdate final : private UpdateRunView {
public:
    static constexpr wchar_t kWindowClass[] = L"frmUpdate";  // what another launcher finds it by

    explicit frmUpdate(HINSTANCE instance);  // creates the window, runs Form_Load, shows it
    frmUpdate(const frmUpdate&) = delete;
    frmUpdate& operator=(const frmUpdate&) = delete;
    ~frmUpdate() override;

    int RunMessageLoop();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // frm_update.cpp: the window, its layout, the load, Quit and the about message
    void CreateControls(HINSTANCE instance);
    void ApplyLayout(UINT dpi);
    void Form_Load();
    void Form_DblClick(int x, int y);
    void cmdQuit_Click();
    void SetStatusNow(const std::string& text);
    [[noreturn]] void EndProgram();

    // frm_update_run.cpp: the update run and its time-out
    void tmrDoOnce_Timer();
    void TimerUpdateTimeOut_Timer();
    void OnRunEnded(const RunOutcome& outcome);
    void ArmTimeout();
    void NavigateNow(const std::string& address);
    std::string PageBytes(const std::string& address);  // for the text view: the page as fetched or on disk

    // frm_update_view.cpp: the run's view, called on the run's thread
    void SetStatus(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void ShowTotalProgress(std::uint64_t done, std::uint64_t total) override;
    void Navigate(const std::string& address) override;  // returns once the browser was told
    void HandOverOutcome(const RunOutcome& outcome);      // the run's last call
    void QueueStatus(const std::string& text);
    void ShowLatestStatus(bool now);  // on the window's thread; `now`: not held back by kStatusEveryMs
    static constexpr ULONGLONG kStatusEveryMs = 30;

    // frm_update_launch.cpp: the two launch buttons
    void cmdLaunch_Click();
    void SchalterSingleLaunch_Click();
    [[noreturn]] void Launch(bool multiplayer);

    HWND window_ = nullptr;
    HWND Browser = nullptr;  // the container the browser control is activated in
    HWND cmdLaunch = nullptr;
    HWND cmdQuit = nullptr;
    HWND txtStatus = nullptr;
    HWND SchalterSingleLaunch = nullptr;
    std::unique_ptr<WebBrowserHost> browserHost_;   // none where no HTML engine renders pages
    std::unique_ptr<PageTextView> pageText_;    // the page as text instead; none where browserHost_ renders
    std::unique_ptr<TaskbarProgress> taskbar_;
    std::unique_ptr<win::Timer> tmrDoOnce;
    std::unique_ptr<win::Timer> TimerUpdateTimeOut;
    std::unique_ptr<win::Timer> tmrStatus;  // shows a status text held back
    win::UniqueGdiObject buttonFont_;
    win::UniqueGdiObject statusFont_;
    UINT dpi_ = 96;

    LauncherSettings settings_;
    std::int16_t TimeoutTicksLeft = 0;
    std::unique_ptr<win::ProgramLog> log_ = std::make_unique<win::ProgramLog>();  // writes nothing until the load

    std::unique_ptr<UiDispatcher> dispatcher_;
    win::WorkerThread runThread_;
    std::unique_ptr<RunContext> runContext_;
    Coalesced<std::string> status_;
    Coalesced<std::pair<std::uint64_t, std::uint64_t>> totals_;  // done, total
    ULONGLONG statusShownAt_ = 0;                                // when txtStatus last changed for the run
};

}  // namespace vt::launcher
