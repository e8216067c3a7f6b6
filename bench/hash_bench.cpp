// vt_bench_hash FILE: SHA-256 of a file as the programs compute it
// (Sha256OfFile: libgcrypt, 1 MiB reads) and, over the same reads, with
// Windows' own CNG, the hasher the programs used before. Prints
// "ours_ms=<t> cng_ms=<t> bytes=<n>"; fails when the two digests differ.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <vector>

#include "platform/text.h"
#include "platform/win/crypto.h"
#include "platform/win/text_codes.h"

namespace {

bool CngSha256OfFile(const char* path, vt::Sha256& digest) {
    vt::win::UniqueFileHandle file(::CreateFileW(vt::win::PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    vt::win::UniqueAlgorithmHandle algorithm;
    vt::win::UniqueHashHandle hash;
    if (!file || ::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
        ::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) < 0)
        return false;
    std::vector<UCHAR> buffer(1024 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) break;
        if (::BCryptHashData(hash.get(), buffer.data(), got, 0) < 0) return false;
    }
    return ::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vt_bench_hash FILE\n");
        return 2;
    }
    vt::Sha256 ours{}, cng{};
    std::uint64_t size = 0;
    const ULONGLONG begin = ::GetTickCount64();
    if (!vt::win::Sha256OfFile(argv[1], ours, size)) return 1;
    const ULONGLONG between = ::GetTickCount64();
    if (!CngSha256OfFile(argv[1], cng)) return 1;
    const ULONGLONG end = ::GetTickCount64();
    if (ours != cng) {
        std::fprintf(stderr, "vt_bench_hash: the digests differ\n");
        return 1;
    }
    std::printf("ours_ms=%llu cng_ms=%llu bytes=%llu sha256=%s\n", between - begin, end - between,
                static_cast<unsigned long long>(size), vt::ToHex(ours.data(), ours.size()).c_str());
    return 0;
}
