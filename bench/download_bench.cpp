// vt_bench_download URL TARGET: one DownloadFile as the launcher does it,
// then "bytes=<n> ms=<t> fetch_ms=<f> peak_working_set_kib=<k> peak_private_kib=<p> ok=<0|1>":
// ms is the whole call, fetch_ms the transfer alone (without the flush of the
// finished file to the disk and its one-step replace).
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "launcher/win/download_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vt_bench_download URL TARGET\n");
        return 2;
    }
    vt::launcher::InternetTransfer transfer;
    vt::launcher::FetchOutcome outcome;
    const ULONGLONG begin = ::GetTickCount64();
    const bool ok = vt::launcher::DownloadFile(transfer, argv[1], argv[2], &outcome);
    const ULONGLONG elapsed = ::GetTickCount64() - begin;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("bytes=%llu ms=%llu fetch_ms=%llu peak_working_set_kib=%llu peak_private_kib=%llu ok=%d\n",
                static_cast<unsigned long long>(outcome.bytes), static_cast<unsigned long long>(elapsed),
                static_cast<unsigned long long>(outcome.elapsedMs),
                static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
                static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024), ok ? 1 : 0);
    if (!ok) std::fprintf(stderr, "%s\n", outcome.error.c_str());
    return ok ? 0 : 1;
}
