// vt_demo_driver INSTALL_EXE_FOLDER SCREENSHOT.bmp: plays the player's part of
// the demo on a display nobody looks at. Starts VT_Update.exe, prints every
// status text until "Done.", saves a screenshot of the window, clicks
// multiplayer, reads the stand-in game's box (how the game was started),
// closes it and waits until the starter has removed the clone. Exits 0 only
// when every step happened.
#include <windows.h>

#include <cstdio>
#include <string>

#include <shellapi.h>

#include "platform/win/handles.h"
#include "platform/win/text_codes.h"
#include "ui_driver.h"

namespace {

constexpr DWORD kStepMs = 60000;

bool Fail(const std::string& why) {
    std::printf("demo: FAILED: %s\n", why.c_str());
    std::fflush(stdout);
    return false;
}

void Step(const std::string& what) {
    std::printf("demo: %s\n", what.c_str());
    std::fflush(stdout);
}

bool Exists(const std::string& path) { return ::GetFileAttributesW(vt::win::PathW(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Road(const std::string& exeFolder, const std::string& screenshot) {
    const std::string root = exeFolder.substr(0, exeFolder.find_last_of('\\', exeFolder.size() - 2) + 1);
    const std::string clone = root + "EXE2";
    std::string line = "\"" + exeFolder + "VT_Update.exe\"";
    std::wstring wideLine = vt::win::Wide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, wideLine.data(), nullptr, nullptr, FALSE, 0, nullptr, vt::win::PathW(exeFolder).c_str(),
                          &startup, &info))
        return Fail("cannot start " + line);
    ::CloseHandle(info.hThread);
    vt::win::UniqueKernelHandle launcher(info.hProcess);
    Step("started " + line);

    HWND window = vt::ui::WaitForWindow(info.dwProcessId, "frmUpdate", "Vortane Mod Launcher V1.56", kStepMs);
    if (!window || !vt::ui::WaitUntilVisible(window, kStepMs)) return Fail("the launcher's window did not open");
    HWND status = vt::ui::FindChildByClass(window, "Edit");
    HWND multi = vt::ui::WaitForChildByText(window, "LAUNCH Vortane Multiplayer", kStepMs);
    if (!status || !multi) return Fail("the launcher's controls are missing");
    Step("window open, status \"" + vt::ui::WindowText(status) + "\", multiplayer " +
         (vt::ui::IsEnabled(multi) ? "enabled" : "disabled"));

    std::string shown = vt::ui::WindowText(status);
    for (const ULONGLONG deadline = ::GetTickCount64() + kStepMs; shown != "Done.";) {
        if (::GetTickCount64() > deadline) return Fail("no \"Done.\"; the status says \"" + shown + "\"");
        if (shown.find('[') != std::string::npos) return Fail("the update ended with \"" + shown + "\"");
        ::Sleep(20);
        const std::string now = vt::ui::WindowText(status);
        if (now != shown) Step("status \"" + (shown = now) + "\"");
    }
    if (!vt::ui::IsEnabled(multi)) return Fail("multiplayer is not enabled after \"Done.\"");
    ::Sleep(300);  // let the last repaint land before the picture
    Step(vt::ui::SaveWindowPicture(window, screenshot) ? "screenshot saved to " + screenshot : "screenshot could not be saved");

    Step("clicking \"LAUNCH Vortane Multiplayer\"");
    vt::ui::Click(multi);
    if (::WaitForSingleObject(launcher.get(), 10000) != WAIT_OBJECT_0) return Fail("the launcher did not end");
    Step("the launcher ended; waiting for the game");
    HWND game = vt::ui::WaitForMessageBox(0, "Skyreach (stand-in)", kStepMs);
    if (!game) return Fail("the stand-in game did not start");
    const std::string report = vt::ui::MessageBoxText(game);
    Step("the game runs and says:\n" + report);
    if (report.find("exe=" + clone + "\\") == std::string::npos) return Fail("the game did not run from the clone " + clone);
    if (!Exists(clone + "\\Skyreach.exe")) return Fail("the clone holds no game executable");
    Step("closing the game");
    vt::ui::CloseMessageBox(game);
    for (const ULONGLONG deadline = ::GetTickCount64() + kStepMs; Exists(clone);)
        if (::GetTickCount64() > deadline) return Fail("the clone " + clone + " was not removed");
        else ::Sleep(100);
    Step("the starter removed the clone " + clone + "; the road is whole");
    return true;
}

}  // namespace

int main() {
    // The arguments wide, as UTF-8: the demo may be laid out in a folder
    // named in any script.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 3) {
        std::fprintf(stderr, "usage: vt_demo_driver INSTALL_EXE_FOLDER\\ SCREENSHOT.bmp\n");
        return 2;
    }
    std::string folder = vt::win::Narrow(argv[1]);
    const std::string screenshot = vt::win::Narrow(argv[2]);
    ::LocalFree(argv);
    if (folder.back() != '\\') folder += '\\';
    return Road(folder, screenshot) ? 0 : 1;
}
