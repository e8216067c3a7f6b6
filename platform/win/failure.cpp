#include "platform/win/failure.h"
#include "platform/win/text_codes.h"

namespace vt::win {
namespace {
const char* g_programTitle = "";
HWND g_failureOwner = nullptr;
}

std::string SystemMessage(DWORD code) {
    // Wide, so that a system in any language gives its words to the UTF-8 log.
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length ? Narrow(std::wstring_view(buffer, length)) : "unknown error";
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string SystemErrorText(DWORD code) { return SystemMessage(code) + " (error " + std::to_string(code) + ")"; }

void ThrowSystemError(const std::string& what, DWORD code) { throw Failure(what + ": " + SystemErrorText(code)); }

void SetProgramTitle(const char* title) { g_programTitle = title; }
const char* ProgramTitle() { return g_programTitle; }

void SetFailureOwner(HWND owner) { g_failureOwner = owner; }

void EndWithUnhandledFailure(const std::string& what) {
    const HWND owner = g_failureOwner && ::IsWindow(g_failureOwner) ? g_failureOwner : nullptr;
    ::MessageBoxW(owner, Wide(what).c_str(), Wide(g_programTitle).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND | (owner ? 0 : MB_TASKMODAL));
    ::ExitProcess(1);
}

}  // namespace vt::win
