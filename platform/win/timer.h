// A window timer with the model both programs use: an interval in milliseconds
// and an enabled flag; it ticks only while enabled with an interval above 0.
// Each tick arrives as WM_TIMER with the timer's id at its window.
#pragma once

#include <windows.h>

namespace vt::win {

class Timer {
public:
    Timer(HWND window, UINT_PTR id) : window_(window), id_(id) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer() { Stop(); }

    void SetInterval(UINT milliseconds) {
        interval_ = milliseconds;
        Apply();
    }
    void SetEnabled(bool enabled) {
        enabled_ = enabled;
        Apply();
    }
    bool Enabled() const { return enabled_; }
    UINT Interval() const { return interval_; }
    UINT_PTR Id() const { return id_; }

private:
    void Apply() {
        Stop();
        if (enabled_ && interval_ > 0) running_ = ::SetTimer(window_, id_, interval_, nullptr) != 0;
    }
    void Stop() {
        if (running_) ::KillTimer(window_, id_);
        running_ = false;
    }

    HWND window_;
    UINT_PTR id_;
    UINT interval_ = 0;
    bool enabled_ = false;
    bool running_ = false;
};

}  // namespace vt::win
