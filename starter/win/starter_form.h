// VT_StarterMainForm: the starter's one window, never shown. Its load decides
// the mode and reads the settings; the first tick of TimerAusfuehren runs the
// start sequence (start_sequence.h), and every road of it ends the program.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "config/settings.h"
#include "platform/win/program_log.h"
#include "platform/win/timer.h"
#include "starter/win/start_sequence.h"

namespace vt::starter {

class VT_StarterMainForm final : private StartSequenceView {
public:
    // Creates the window and runs Form_Load with the program's argument text.
    VT_StarterMainForm(HINSTANCE instance, const std::string& argumentText);
    VT_StarterMainForm(const VT_StarterMainForm&) = delete;
    VT_StarterMainForm& operator=(const VT_StarterMainForm&) = delete;

    int RunMessageLoop();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void Form_Load(const std::string& argumentText);
    void TimerAusfuehren_Timer();

    // StartSequenceView
    void ShowProblem(const std::string& text) override;
    void SetBusy(bool busy) override;

    HWND window_ = nullptr;
    std::unique_ptr<win::Timer> TimerAusfuehren;
    bool SingleMode = false;
    StarterSettings settings_;
    std::unique_ptr<win::ProgramLog> log_ = std::make_unique<win::ProgramLog>();  // writes nothing until the load
    HCURSOR previousCursor_ = nullptr;
};

}  // namespace vt::starter
