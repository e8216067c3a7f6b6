// vt_bench_download URL TARGET: one DownloadFile as the launcher does it,
// then "bytes=<n> ms=<t> fetch_ms=<f> peak_working_set_kib=<k> peak_private_kib=<p> ok=<0|1>":
// ms is the whole call, fetch_ms the transfer alone (without the flush of the
// finished file to the disk and its one-step replace).
//
// vt_bench_download URL TARGET --expect SIZE SHA256 [INDEXSIZE INDEXSHA256]:
// the same with the side file's size and SHA-256 of the body, and with a
// block index: a partial update from TARGET's old copy where it can; prints
// also "patched=<0|1> reused=<bytes from the old copy>".
//
// vt_bench_download --pool N URL TARGET [URL TARGET]...: the fetches through
// the launcher's FetchPool, N at once, each put in place in order; prints the
// same fields (bytes summed, fetch_ms the longest fetch).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/text.h"
#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/fetch_pool.h"

namespace {

void Print(unsigned long long bytes, ULONGLONG ms, unsigned long long fetchMs, bool ok) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("bytes=%llu ms=%llu fetch_ms=%llu peak_working_set_kib=%llu peak_private_kib=%llu ok=%d\n", bytes,
                static_cast<unsigned long long>(ms), fetchMs,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
                static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024), ok ? 1 : 0);
}

int Pool(int argc, char** argv) {
    vt::launcher::FetchPool pool(std::atoi(argv[2]), vt::launcher::TransferTimeouts{});
    const ULONGLONG begin = ::GetTickCount64();
    for (int i = 3; i + 1 < argc; i += 2) pool.Submit(i, vt::launcher::FetchRequest{argv[i], argv[i + 1]});
    unsigned long long bytes = 0, longest = 0;
    bool ok = true;
    while (pool.Pending() > 0) {
        const auto fetch = pool.TakeOldest();
        const bool good = fetch->outcome.ok && fetch->part->ReplaceTarget();
        if (!good) std::fprintf(stderr, "%s: %s\n", fetch->request.url.c_str(), fetch->outcome.error.c_str());
        ok = ok && good;
        bytes += fetch->outcome.bytes;
        if (fetch->outcome.elapsedMs > longest) longest = fetch->outcome.elapsedMs;
    }
    Print(bytes, ::GetTickCount64() - begin, longest, ok);
    return ok ? 0 : 1;
}

}  // namespace

// "--expect SIZE SHA256 [INDEXSIZE INDEXSHA256]" into `entry`.
bool ReadExpected(int argc, char** argv, vt::launcher::SideEntry& entry) {
    if (argc != 6 && argc != 8) return false;
    entry.size = std::strtoull(argv[4], nullptr, 10);
    if (!vt::FromHex(argv[5], entry.hash.data(), entry.hash.size())) return false;
    if (argc == 6) return true;
    vt::launcher::BlockIndexSum blocks;
    blocks.size = std::strtoull(argv[6], nullptr, 10);
    if (!vt::FromHex(argv[7], blocks.hash.data(), blocks.hash.size())) return false;
    entry.blocks = blocks;
    return true;
}

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "--pool") return Pool(argc, argv);
    vt::launcher::SideEntry expected;
    const bool expecting = argc > 3 && std::string(argv[3]) == "--expect";
    if (argc != 3 && !(expecting && ReadExpected(argc, argv, expected))) {
        std::fprintf(stderr, "usage: vt_bench_download URL TARGET [--expect SIZE SHA256 [INDEXSIZE INDEXSHA256]] | "
                             "--pool N URL TARGET...\n");
        return 2;
    }
    // The program's road: a pool of one, its sources into the partial file,
    // then the target replaced.
    vt::launcher::FetchPool pool(1, vt::launcher::TransferTimeouts{});
    vt::launcher::FetchRequest request{argv[1], argv[2]};
    if (expecting) request.expected = &expected;
    const ULONGLONG begin = ::GetTickCount64();
    pool.Submit(1, std::move(request));
    const auto fetch = pool.TakeOldest();
    vt::launcher::FetchOutcome& outcome = fetch->outcome;
    if (outcome.ok && !fetch->part->ReplaceTarget()) {
        outcome.ok = false;
        outcome.error = fetch->part->LastError();
    }
    const bool ok = outcome.ok;
    Print(outcome.resumedFrom + outcome.bytes, ::GetTickCount64() - begin, outcome.elapsedMs, ok);
    if (expecting) std::printf("patched=%d reused=%llu\n", outcome.patched ? 1 : 0, outcome.reusedBytes);
    if (!ok) std::fprintf(stderr, "%s\n", outcome.error.c_str());
    if (!outcome.wholeBecause.empty()) std::fprintf(stderr, "whole, because %s\n", outcome.wholeBecause.c_str());
    return ok ? 0 : 1;
}
