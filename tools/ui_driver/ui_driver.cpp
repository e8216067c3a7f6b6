#include "ui_driver.h"

#include "platform/win/text_codes.h"

namespace vt::ui {
namespace {

struct Search {
    DWORD processId;
    const char* className;
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (s->processId && owner != s->processId) return TRUE;
    if (s->className) {
        char name[256];
        ::GetClassNameA(window, name, sizeof name);
        if (std::string(name) != s->className) return TRUE;
    }
    if (WindowText(window) != *s->caption) return TRUE;
    s->found = window;
    return FALSE;
}

struct ChildTexts {
    std::string joined;
    const std::string* wanted;
    HWND found;
};

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
    auto* c = reinterpret_cast<ChildTexts*>(param);
    char name[64];
    ::GetClassNameA(child, name, sizeof name);
    const std::string text = WindowText(child);
    if (_stricmp(name, "Static") != 0 || text.empty()) return TRUE;
    if (!c->joined.empty()) c->joined += '\n';
    c->joined += text;
    return TRUE;
}

struct ClassSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchChildClass(HWND child, LPARAM param) {
    auto* c = reinterpret_cast<ClassSearch*>(param);
    char name[64];
    ::GetClassNameA(child, name, sizeof name);
    if (_stricmp(name, c->className) != 0) return TRUE;
    c->found = child;
    return FALSE;
}

BOOL CALLBACK MatchChildText(HWND child, LPARAM param) {
    auto* c = reinterpret_cast<ChildTexts*>(param);
    if (WindowText(child) != *c->wanted) return TRUE;
    c->found = child;
    return FALSE;
}

}  // namespace

HWND WaitForWindow(DWORD processId, const char* className, const std::string& caption, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        Search s{processId, className, &caption, nullptr};
        ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(50);
    }
}

bool WaitUntilVisible(HWND window, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!::IsWindowVisible(window)) {
        if (!::IsWindow(window) || ::GetTickCount64() >= deadline) return false;
        ::Sleep(20);
    }
    return true;
}

std::string WindowText(HWND window) {
    // Wide, as UTF-8: a status or a box may name a folder in any script.
    wchar_t buffer[4096];
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                               &length))
        return {};
    return win::Narrow(std::wstring_view(buffer, length));
}

std::string MessageBoxText(HWND box) {
    ChildTexts c{{}, nullptr, nullptr};
    ::EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&c));
    return c.joined;
}

HWND FindChildByText(HWND parent, const std::string& text) {
    ChildTexts c{{}, &text, nullptr};
    ::EnumChildWindows(parent, MatchChildText, reinterpret_cast<LPARAM>(&c));
    return c.found;
}

std::string OwnerClassName(HWND window) {
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (!owner) return "(none)";
    char name[256] = {};
    return std::string(name, static_cast<std::size_t>(::GetClassNameA(owner, name, sizeof name)));
}

HWND WaitForChildByText(HWND parent, const std::string& text, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND found = FindChildByText(parent, text)) return found;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(100);
    }
}

HWND FindChildByClass(HWND parent, const char* className) {
    ClassSearch c{className, nullptr};
    ::EnumChildWindows(parent, MatchChildClass, reinterpret_cast<LPARAM>(&c));
    return c.found;
}

bool IsEnabled(HWND control) { return ::IsWindowEnabled(control) != FALSE; }
bool IsVisible(HWND window) { return ::IsWindowVisible(window) != FALSE; }

RECT RectInParent(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void DoubleClickAt(HWND window, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(window, &p);
    ::SetForegroundWindow(window);
    ::SetCursorPos(p.x, p.y);
    INPUT clicks[4]{};
    const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 4; ++i) {
        clicks[i].type = INPUT_MOUSE;
        clicks[i].mi.dwFlags = flags[i];
    }
    ::SendInput(4, clicks, sizeof(INPUT));
}

void Click(HWND button) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

void CloseMessageBox(HWND box) {
    if (HWND ok = ::GetDlgItem(box, IDOK)) Click(ok);
    else ::PostMessageA(box, WM_COMMAND, IDOK, 0);
}

bool SaveWindowPicture(HWND window, const std::string& path) {
    RECT r;
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(rowBytes * static_cast<DWORD>(height), '\0');
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteDC(memory);
    ::DeleteObject(bitmap);
    ::ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = ::CreateFileW(win::PathW(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(out, &file, sizeof file, &written, nullptr) &&
                    ::WriteFile(out, &info, sizeof info, &written, nullptr) &&
                    ::WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    ::CloseHandle(out);
    return ok;
}

}  // namespace vt::ui
