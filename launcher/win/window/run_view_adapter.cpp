#include "launcher/win/window/run_view_adapter.h"

namespace vt::launcher {

void RunViewAdapter::SetStatus(const std::string& text) {
    log_.Line("STATUS", text);
    QueueStatus(text);
}

void RunViewAdapter::ShowProgress(const std::string& text) { QueueStatus(text); }

void RunViewAdapter::ShowTotalProgress(std::uint64_t done, std::uint64_t total) {
    if (!totals_.Set({done, total})) return;
    dispatcher_.Post([this] {
        if (const auto shown = totals_.Take(); shown && window_.showTotalProgress)
            window_.showTotalProgress(shown->first, shown->second);
    });
}

void RunViewAdapter::QueueStatus(const std::string& text) {
    if (status_.Set(text)) dispatcher_.Post([this] { ShowLatestStatus(); });
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
    if (const std::optional<std::string> text = status_.Take()) window_.showStatus(*text);
}

}  // namespace vt::launcher
