// The update run's side of frmUpdate: starting a run on its own thread,
// carrying its status texts and navigations over to the window's thread, its
// ending, and the time-out that starts the next run.
#include "launcher/win/frm_update.h"
#include "launcher/win/frm_update_messages.h"
#include "launcher/win/update_run.h"
#include "platform/win/failure.h"

namespace vt::launcher {

void frmUpdate::tmrDoOnce_Timer() {
    tmrDoOnce->SetEnabled(false);  // one arming, one run
    if (runThread_) return;        // cannot happen: the time-out is not armed while a run goes on
    runContext_ = std::make_unique<RunContext>(RunContext{settings_, *Download, *this, *log_});
    runThread_.reset(::CreateThread(nullptr, 0, RunThread, this, 0, nullptr));
    if (!runThread_) win::ThrowSystemError("Cannot start the update run");
    ::SetTimer(window_, msg::kStatusTimerId, msg::kStatusTickMs, nullptr);
}

DWORD WINAPI frmUpdate::RunThread(void* self) {
    auto* form = static_cast<frmUpdate*>(self);
    try {
        const RunEnding ending = UpdateRun(*form->runContext_).Run();
        ::PostMessageA(form->window_, msg::kRunEnded, static_cast<WPARAM>(ending), 0);
    } catch (const std::exception& e) {
        const std::string what = e.what();
        ::SendMessageA(form->window_, msg::kRunFailed, 0, reinterpret_cast<LPARAM>(&what));
    } catch (...) {
        const std::string what = "The update run failed for an unknown reason.";
        ::SendMessageA(form->window_, msg::kRunFailed, 0, reinterpret_cast<LPARAM>(&what));
    }
    return 0;
}

void frmUpdate::OnRunEnded(RunEnding ending) {
    ::KillTimer(window_, msg::kStatusTimerId);
    ApplyPendingStatus();  // the ending's text is on screen before anything else changes
    ::WaitForSingleObject(runThread_.get(), INFINITE);  // it posted this as its last act
    runThread_.reset();
    runContext_.reset();
    if (ending == RunEnding::Done) tmrDoOnce->SetEnabled(false);
    ArmTimeout();
    if (ending == RunEnding::Done) ::EnableWindow(cmdLaunch, TRUE);
}

void frmUpdate::ArmTimeout() {
    TimerUpdateTimeOut->SetEnabled(false);
    TimerUpdateTimeOut->SetInterval(kTimeoutTickMs);
    TimeoutTicksLeft = GetTimeoutTicks(settings_.Timeout);
    TimerUpdateTimeOut->SetEnabled(true);
}

void frmUpdate::TimerUpdateTimeOut_Timer() {
    TimerUpdateTimeOut->SetEnabled(false);
    TimeoutTicksLeft = LowerTicksLeft(TimeoutTicksLeft);
    if (TimeoutTicksLeft > 0) {
        TimerUpdateTimeOut->SetInterval(kTimeoutTickMs);
        TimerUpdateTimeOut->SetEnabled(true);
        return;
    }
    ::EnableWindow(cmdLaunch, FALSE);
    SetStatusNow(".");
    tmrDoOnce->SetEnabled(false);
    tmrDoOnce->SetInterval(1);
    tmrDoOnce->SetEnabled(true);
}

// Status texts from the run: the log gets every one at once; the window shows
// the latest at its next status tick (every kStatusTickMs while a run goes
// on), before each navigation and at the ending. A message per text would
// cost a list of 10,000 up-to-date entries about a second under Wine.
void frmUpdate::SetStatus(const std::string& text) {
    log_->Line("STATUS", text);
    std::lock_guard<std::mutex> lock(statusMutex_);
    pendingStatus_ = text;
    statusPending_ = true;
}

void frmUpdate::ApplyPendingStatus() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        if (!statusPending_) return;
        statusPending_ = false;
        text = std::move(pendingStatus_);
    }
    ::SetWindowTextA(txtStatus, text.c_str());
}

void frmUpdate::Navigate(const std::string& address) {
    ::SendMessageA(window_, msg::kNavigate, 0, reinterpret_cast<LPARAM>(&address));
}

void frmUpdate::NavigateNow(const std::string& address) {
    ApplyPendingStatus();
    const bool told = browser_->Navigate(address);
    log_->Line("NAVIGATE", address + (told ? "" : " (no browser control)"));
}

void frmUpdate::FileAccessError(const std::string& localFile) {
    ::SendMessageA(window_, msg::kFileAccessError, 0, reinterpret_cast<LPARAM>(&localFile));
    ::TerminateProcess(::GetCurrentProcess(), 0);  // the window's thread ends the program; never reached
    ::ExitProcess(0);
}

}  // namespace vt::launcher
