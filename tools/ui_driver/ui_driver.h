// Drives another process's windows the way a player would: finds windows by
// class and caption, reads and works controls by their visible texts, and reads
// and closes message boxes. For tests and the headless demo.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vt::ui {

// The first top-level window of `processId` (0: any process) with this class
// (nullptr: any) and caption, waiting up to `timeoutMs`; nullptr when none came.
HWND WaitForWindow(DWORD processId, const char* className, const std::string& caption, DWORD timeoutMs);

// A message box (class "#32770") of `processId` titled `title`.
inline HWND WaitForMessageBox(DWORD processId, const std::string& title, DWORD timeoutMs) {
    return WaitForWindow(processId, "#32770", title, timeoutMs);
}

std::string WindowText(HWND window);  // WM_GETTEXT, which works across processes

// Waits until `window` is shown; a program's window can exist, captioned,
// while its thread still works on its start and answers no message.
bool WaitUntilVisible(HWND window, DWORD timeoutMs);

// The static texts of a message box (its message), joined by newlines.
std::string MessageBoxText(HWND box);

// The child control of `parent` whose text is `text`, or nullptr.
HWND FindChildByText(HWND parent, const std::string& text);
// FindChildByText, asked again every 100 ms until `timeoutMs`: a window whose
// thread is still busy starting (the browser control under Wine, on a loaded
// machine) does not answer WM_GETTEXT at once.
HWND WaitForChildByText(HWND parent, const std::string& text, DWORD timeoutMs);

// The window class of `window`'s owner ("(none)" when it has none): which
// window a message box is modal to.
std::string OwnerClassName(HWND window);

// The first child control of `parent` of this window class ("Edit"), or nullptr.
HWND FindChildByClass(HWND parent, const char* className);

bool IsEnabled(HWND control);
bool IsVisible(HWND window);

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);

// A real double-click (SendInput) at a point of `window`'s client area.
void DoubleClickAt(HWND window, int x, int y);

// Clicks a button (BM_CLICK) and waits until the click was handled.
void Click(HWND button);

// Presses the message box's OK button.
void CloseMessageBox(HWND box);

// The window's pixels as the screen shows them, as a 24-bit BMP file: what
// a player sees (a test reads its words with OCR).
bool SaveWindowPicture(HWND window, const std::string& path);

}  // namespace vt::ui
