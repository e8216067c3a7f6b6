#include "launcher/win/run_view_adapter.h"

namespace vt::launcher {

void RunViewAdapter::SetStatus(const std::string& text) {
    log_.Line("STATUS", text);
    QueueStatus(text);
}

void RunViewAdapter::ShowProgress(const std::string& text) { QueueStatus(text); }

void RunViewAdapter::ShowTotalProgress(std::uint64_t done, std::uint64_t total) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        totalDone_ = done;
        totalAll_ = total;
        if (totalWaiting_) return;
        totalWaiting_ = true;
    }
    dispatcher_.Post([this] {
        std::uint64_t shownDone = 0, shownAll = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            totalWaiting_ = false;
            shownDone = totalDone_;
            shownAll = totalAll_;
        }
        if (window_.showTotalProgress) window_.showTotalProgress(shownDone, shownAll);
    });
}

void RunViewAdapter::QueueStatus(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = text;
        if (waiting_) return;
        waiting_ = true;
    }
    dispatcher_.Post([this] { ShowLatestStatus(); });
}

void RunViewAdapter::Navigate(const std::string& address) {
    dispatcher_.Send([this, address] {
        ShowLatestStatus();  // the page follows the text that led to it
        window_.navigate(address);
    });
}

void RunViewAdapter::Finish(const RunOutcome& outcome) {
    dispatcher_.Post([this, outcome] {
        ShowLatestStatus();  // the ending's text is on screen before anything else changes
        window_.runEnded(outcome);
    });
}

void RunViewAdapter::ShowLatestStatus() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!waiting_) return;
        waiting_ = false;
        text = std::move(latest_);
    }
    window_.showStatus(text);
}

}  // namespace vt::launcher
