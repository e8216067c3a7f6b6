// VT_Update: the update launcher the player starts. See win/window/frm_update.h.
#include <windows.h>
#include <ole2.h>

#include "launcher/win/window/frm_update.h"
#include "launcher/win/window/one_launcher.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything is read or written: a second launcher in this folder
    // shows the first one's window and ends, touching nothing.
    const vt::launcher::OneLauncherPerFolder one(vt::win::ProgramFolder());
    if (!one.First()) {
        one.ShowRunning(vt::launcher::frmUpdate::kWindowClass, 3000);
        return 0;
    }
    vt::win::SetProgramTitle("VT Launcher");
    // The browser control needs OLE on this, the window's, thread. Without it
    // the control is not created and the launcher works without a page.
    ::OleInitialize(nullptr);
    int exitCode = 0;
    vt::win::GuardEvent([&] {
        vt::launcher::frmUpdate form(instance);
        exitCode = form.RunMessageLoop();
    });
    return exitCode;
}
