// The run's view of frmUpdate: the run calls these on its own thread, and
// they hand everything to the window's thread through the UiDispatcher, in
// the run's order. Status texts are logged at once and coalesced for the
// screen, and shown at most every kStatusEveryMs: a newer text within that
// time waits for the status timer, and only the newest of them is shown.
// Under Wine each text shown is a few round trips to the wine server, which
// the run's opens wait for too; a text on screen for less than two frames
// is not read by anyone. Navigations and the run's ending show the newest
// text first, at once.
#include "launcher/win/window/frm_update.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {

void frmUpdate::SetStatus(const std::string& text) {
    log_->Line("STATUS", text);
    QueueStatus(text);
}

void frmUpdate::ShowProgress(const std::string& text) { QueueStatus(text); }

void frmUpdate::QueueStatus(const std::string& text) {
    if (status_.Set(text)) dispatcher_->Post([this] { ShowLatestStatus(false); });
}

void frmUpdate::ShowTotalProgress(std::uint64_t done, std::uint64_t total) {
    if (!totals_.Set({done, total})) return;
    dispatcher_->Post([this] {
        if (const auto shown = totals_.Take()) taskbar_->Show(shown->first, shown->second);
    });
}

void frmUpdate::Navigate(const std::string& address) {
    dispatcher_->Send([this, address] {
        ShowLatestStatus(true);  // the page follows the text that led to it
        NavigateNow(address);
    });
}

void frmUpdate::HandOverOutcome(const RunOutcome& outcome) {
    dispatcher_->Post([this, outcome] {
        ShowLatestStatus(true);  // the ending's text is on screen before anything else changes
        OnRunEnded(outcome);
    });
}

void frmUpdate::ShowLatestStatus(bool now) {
    const ULONGLONG tick = ::GetTickCount64();
    if (!now && statusShownAt_ != 0 && tick - statusShownAt_ < kStatusEveryMs) {
        // The text stays waiting, so the run posts nothing more for it.
        if (!tmrStatus->Enabled()) {
            tmrStatus->SetInterval(static_cast<UINT>(kStatusEveryMs - (tick - statusShownAt_)));
            tmrStatus->SetEnabled(true);
        }
        return;
    }
    tmrStatus->SetEnabled(false);
    if (const std::optional<std::string> text = status_.Take()) {
        ::SetWindowTextW(txtStatus, win::Wide(*text).c_str());
        statusShownAt_ = tick;
        // Painted before whatever follows (a message box, the end): the
        // player never reads a text the run has left behind.
        if (now) ::UpdateWindow(txtStatus);
    }
}

}  // namespace vt::launcher
