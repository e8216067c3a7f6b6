// VT_StarterMainForm: the starter's one window, never shown. Its load decides
// the mode and reads the settings; the first tick of TimerAusfuehren runs the
// start sequence, and every road of it ends the program.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "config/settings.h"
#include "platform/win/timer.h"

namespace vt::starter {

class VT_StarterMainForm {
public:
    // Creates the window and runs Form_Load with the program's argument text.
    VT_StarterMainForm(HINSTANCE instance, const std::string& argumentText);
    VT_StarterMainForm(const VT_StarterMainForm&) = delete;
    VT_StarterMainForm& operator=(const VT_StarterMainForm&) = delete;

    int RunMessageLoop();

    void WaitForApplication(const std::string& Command, const std::string& Parameter, int AppStyle);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void Form_Load(const std::string& argumentText);
    void TimerAusfuehren_Timer();
    void InstallNewLauncher();
    void CopyFolder(std::string SourceDir, std::string TargetDir);
    void RemoveFolder(std::string Folder);
    bool FileExists(const std::string& FileName);
    void ShowProblem(const std::string& text);

    HWND window_ = nullptr;
    std::unique_ptr<win::Timer> TimerAusfuehren;
    bool SingleMode = false;
    StarterSettings settings_;
};

}  // namespace vt::starter
