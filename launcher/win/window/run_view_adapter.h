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
#include <optional>
#include <string>
#include <utility>

#include "launcher/win/run/run_context.h"
#include "launcher/win/window/ui_dispatcher.h"
#include "launcher/win/run/update_run.h"
#include "platform/win/program_log.h"

namespace vt::launcher {

struct RunWindow {
    std::function<void(const std::string&)> showStatus;  // txtStatus
    std::function<void(const std::string&)> navigate;    // Browser
    std::function<void(std::uint64_t, std::uint64_t)> showTotalProgress;  // the taskbar button
    std::function<void(const RunOutcome&)> runEnded;
};

// The newest value handed over from the run's thread, shown once per window
// turn: while one is waiting to be shown a newer one only replaces it.
template <typename T>
class Coalesced {
public:
    // Keeps `value`; true when no task is queued for it yet (the caller posts one).
    bool Set(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = std::move(value);
        return !std::exchange(waiting_, true);
    }
    // The value waiting to be shown, once; nothing when it is on screen already.
    std::optional<T> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!std::exchange(waiting_, false)) return std::nullopt;
        return std::move(latest_);
    }

private:
    std::mutex mutex_;
    T latest_{};
    bool waiting_ = false;
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
    Coalesced<std::string> status_;
    Coalesced<std::pair<std::uint64_t, std::uint64_t>> totals_;  // done, total
};

}  // namespace vt::launcher
