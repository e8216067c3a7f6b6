#include "platform/win/held_file.h"

#include <algorithm>
#include <mutex>

#include "platform/win/text_codes.h"

namespace vt::win {
namespace {

std::mutex reportMutex;
HeldFileReport reportTo;

void Report(const std::string& path, std::uint64_t waitedMs, bool freed) {
    HeldFileReport report;
    {
        std::lock_guard<std::mutex> lock(reportMutex);
        report = reportTo;
    }
    if (!report) return;
    try {
        report(path, waitedMs, freed);
    } catch (...) {
        // A log line lost (out of memory) is no reason to fail the file's operation.
    }
}

// A pause that keeps a window's thread answering: its messages are handled
// as they come until the pause is over. A thread without windows sleeps.
void Pause(std::uint32_t ms) {
    if (!::IsGUIThread(FALSE)) {
        ::Sleep(ms);
        return;
    }
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (int rounds = 0; rounds < 10000; ++rounds) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                                         MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0) return;  // the time is over (or the wait failed: no spinning)
        MSG message;
        for (int i = 0; i < 100 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends the program
                ::Sleep(static_cast<DWORD>(end - std::min(end, ::GetTickCount64())));
                return;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

}  // namespace

bool IsHoldError(DWORD error, const std::string& path, bool deniedIsHold) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    if (error != ERROR_ACCESS_DENIED || !deniedIsHold) return false;
    // Access denied is a hold only on a file that is there: a folder in the
    // way, or a folder that may not be written, is no moment's hold.
    const DWORD attributes = ::GetFileAttributesW(PathW(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ReportHeldFilesTo(HeldFileReport report) {
    std::lock_guard<std::mutex> lock(reportMutex);
    reportTo = std::move(report);
}

std::string HeldFileLine(const std::string& path, std::uint64_t waitedMs, bool freed) {
    return path + ": " + HeldWaitText(waitedMs) + (freed ? "" : ", still held");
}

bool WaitOutHold(const std::string& path, HoldBound bound, bool deniedIsHold, const std::function<bool()>& attempt) {
    HeldWaitSchedule schedule(bound);
    const ULONGLONG start = ::GetTickCount64();
    DWORD error = ERROR_SHARING_VIOLATION;
    for (;;) {
        const std::optional<std::uint32_t> pause = schedule.NextPause(::GetTickCount64() - start);
        if (!pause) break;
        Pause(*pause);
        if (attempt()) {
            Report(path, ::GetTickCount64() - start, true);
            return true;
        }
        error = ::GetLastError();
        if (!IsHoldError(error, path, deniedIsHold)) {
            // The hold ended, and the operation failed for a reason of its own.
            Report(path, ::GetTickCount64() - start, true);
            ::SetLastError(error);
            return false;
        }
    }
    Report(path, ::GetTickCount64() - start, false);
    ::SetLastError(error);
    return false;
}

}  // namespace vt::win
