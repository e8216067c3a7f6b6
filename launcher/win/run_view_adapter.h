// The update run's view of frmUpdate: the run (on its own thread) calls it,
// and it hands everything to the window's thread through the UiDispatcher,
// in the run's order. Status texts are logged at once and coalesced for the
// screen: while one is waiting to be shown a newer one only replaces it, so a
// list of 10,000 up-to-date entries costs a message per window turn, not per
// entry. The run's outcome is the last task it hands over.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "launcher/win/run_context.h"
#include "launcher/win/ui_dispatcher.h"
#include "launcher/win/update_run.h"
#include "platform/win/program_log.h"

namespace vt::launcher {

struct RunWindow {
    std::function<void(const std::string&)> showStatus;  // txtStatus
    std::function<void(const std::string&)> navigate;    // Browser
    std::function<void(std::uint64_t, std::uint64_t)> showTotalProgress;  // the taskbar button
    std::function<void(const RunOutcome&)> runEnded;
};

class RunViewAdapter final : public UpdateRunView {
public:
    RunViewAdapter(UiDispatcher& dispatcher, RunWindow window, win::ProgramLog& log)
        : dispatcher_(dispatcher), window_(std::move(window)), log_(log) {}

    void SetStatus(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void ShowTotalProgress(std::uint64_t done, std::uint64_t total) override;
    void Navigate(const std::string& address) override;  // returns once the browser was told
    void Finish(const RunOutcome& outcome);               // the run's last call

private:
    void ShowLatestStatus();  // on the window's thread
    void QueueStatus(const std::string& text);

    UiDispatcher& dispatcher_;
    RunWindow window_;
    win::ProgramLog& log_;
    std::mutex mutex_;
    std::string latest_;
    bool waiting_ = false;  // a status task is queued and latest_ is not on screen yet
    std::uint64_t totalDone_ = 0, totalAll_ = 0;
    bool totalWaiting_ = false;
};

}  // namespace vt::launcher
