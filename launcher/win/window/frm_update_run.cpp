// The update run's side of frmUpdate: starting a run on its own thread (its
// texts, navigations and outcome come back through the window's view of it), its
// ending, and the time-out that starts the next run.
#include "launcher/win/window/frm_update.h"
#include "platform/win/text_codes.h"
#include "launcher/win/window/frm_update_messages.h"
#include "launcher/win/run/update_run.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"

namespace vt::launcher {

void frmUpdate::tmrDoOnce_Timer() {
    tmrDoOnce->SetEnabled(false);  // one arming, one run
    if (runThread_) return;        // cannot happen: the time-out is not armed while a run goes on
    runContext_ = std::make_unique<RunContext>(RunContext{settings_, TransferTimeouts{}, *this, *log_});
    // The run hands its outcome over as its last act (Run never throws).
    runThread_ = win::WorkerThread([this] { HandOverOutcome(UpdateRun(*runContext_).Run()); });
}

void frmUpdate::OnRunEnded(const RunOutcome& outcome) {
    runThread_ = {};  // waits: it handed this over as its last act
    runContext_.reset();
    taskbar_->Clear();
    if (!outcome.failure.empty()) win::EndWithUnhandledFailure(outcome.failure);
    if (!outcome.fileAccessError.empty()) {
        ::MessageBoxW(window_, L"FILE ACCESS ERROR", win::Wide("UNABLE TO CHECK FOR UPDATE: " + outcome.fileAccessError).c_str(),
                      MB_OK | MB_ICONHAND);
        EndProgram();
    }
    if (outcome.ending == RunEnding::Done) tmrDoOnce->SetEnabled(false);
    ArmTimeout();
    if (outcome.ending == RunEnding::Done) ::EnableWindow(cmdLaunch, TRUE);
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

void frmUpdate::NavigateNow(const std::string& address) {
    if (pageText_) {
        pageText_->Show(PageBytes(address));
        log_->Line("NAVIGATE", address);
        return;
    }
    const bool told = browserHost_->Navigate(address);
    log_->Line("NAVIGATE", address + (told ? "" : " (the browser control refused it)"));
}

std::string frmUpdate::PageBytes(const std::string& address) {
    // The online page is the one the probe has just fetched: the run deletes
    // its file only after this navigation has returned.
    const bool online = address == settings_.WebPath + settings_.WebPage;
    const std::string file = online ? settings_.AppDir + kProbeFileName : address;
    try {
        return win::ReadWholeFile(file);
    } catch (const std::exception& e) {
        log_->Line("PAGE", std::string("the start page cannot be read for its text: ") + e.what());
        return {};
    }
}

}  // namespace vt::launcher
