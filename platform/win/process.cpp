#include "platform/win/process.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <vector>

#include "platform/win/failure.h"

namespace vt::win {
namespace {

std::string LastErrorText(const char* what) {
    const DWORD code = ::GetLastError();
    return std::string(what) + ": " + SystemErrorText(code);
}

// A job whose completion port tells when its last process has ended.
struct WatchedJob {
    UniqueKernelHandle job;
    UniqueKernelHandle port;
};

bool MakeWatchedJob(WatchedJob& made, std::string& why) {
    made.job.reset(::CreateJobObjectW(nullptr, nullptr));
    if (!made.job) {
        why = LastErrorText("CreateJobObject");
        return false;
    }
    made.port.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!made.port) {
        why = LastErrorText("CreateIoCompletionPort");
        return false;
    }
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
    association.CompletionKey = made.job.get();
    association.CompletionPort = made.port.get();
    if (!::SetInformationJobObject(made.job.get(), JobObjectAssociateCompletionPortInformation, &association,
                                   sizeof association)) {
        why = LastErrorText("SetInformationJobObject");
        return false;
    }
    return true;
}

// The number of processes in the job that have not ended; -1 when it cannot be read.
long ActiveProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return -1;
    return static_cast<long>(accounting.ActiveProcesses);
}

// False when the port failed before the job's last process ended.
// The port's message is the prompt way to learn of the end, but it is not
// the only one: under Wine 8 under load, the ACTIVE_PROCESS_ZERO message of a
// job whose process ended early was seen never to arrive, and an endless
// wait for it held the starter (and the clone) for ever. So the wait looks
// at the job's count of active processes every second as well.
bool WaitUntilJobIsEmpty(const WatchedJob& watched) {
    constexpr DWORD kLookEveryMs = 1000;
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        if (::GetQueuedCompletionStatus(watched.port.get(), &message, &key, &overlapped, kLookEveryMs)) {
            if (key == reinterpret_cast<ULONG_PTR>(watched.job.get()) && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
                return true;
            continue;
        }
        if (overlapped != nullptr || ::GetLastError() != WAIT_TIMEOUT) return false;
        if (ActiveProcesses(watched.job.get()) == 0) return true;
    }
}

}  // namespace

namespace {

// The command line with a long program path replaced by its short (8.3)
// form: CreateProcess finds the program through the old MAX_PATH limit, with
// or without the long-path prefix (on Windows and under Wine alike). Where the
// volume keeps no short names the line stays, and the start fails as before.
std::wstring StartableCommandLine(const std::string& commandLine, const std::string& program) {
    std::wstring line = Wide(commandLine);
    const std::wstring quoted = L"\"" + Wide(program) + L"\"";
    if (program.size() < MAX_PATH - 1 || !StartsWith(line, quoted)) return line;
    const std::wstring longPath = PathW(program);
    const DWORD needed = ::GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (needed == 0) return line;
    std::wstring shortPath(needed, L'\0');
    const DWORD written = ::GetShortPathNameW(longPath.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed) return line;
    shortPath.resize(written);
    if (StartsWith(shortPath, L"\\\\?\\")) shortPath.erase(0, 4);
    return L"\"" + shortPath + L"\"" + line.substr(quoted.size());
}

}  // namespace

StartedProcess StartProgram(const std::string& commandLine, const std::string& program, WORD show, bool suspended) {
    std::wstring line = StartableCommandLine(commandLine, program);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                          nullptr, &startup, &info))
        ThrowSystemError("Cannot start " + program);
    StartedProcess started;
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.id = info.dwProcessId;
    return started;
}

WaitScope StartAndWaitForAll(const std::string& commandLine, const std::string& program, WORD show, std::string* why) {
    std::string reason;
    WatchedJob watched;
    bool haveJob = MakeWatchedJob(watched, reason);
    StartedProcess started = StartProgram(commandLine, program, show, true);
    if (haveJob && !::AssignProcessToJobObject(watched.job.get(), started.process.get())) {
        reason = LastErrorText("AssignProcessToJobObject");
        haveJob = false;
    }
    ::ResumeThread(started.thread.get());
    started.thread.reset();
    if (haveJob) {
        if (WaitUntilJobIsEmpty(watched)) return WaitScope::AllProcesses;
        reason = LastErrorText("GetQueuedCompletionStatus");
    }
    if (why) *why = reason;
    // The start's own handle is waited on: the process id can never be
    // reused by another process while it is held.
    ::WaitForSingleObject(started.process.get(), INFINITE);
    return WaitScope::FirstProcess;
}

}  // namespace vt::win
