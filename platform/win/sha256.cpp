#include "platform/win/sha256.h"

#include <gcrypt.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/win/files.h"
#include "platform/win/text_codes.h"

namespace vt::win {

void DigestHandleTraits::Close(Type h) noexcept { ::gcry_md_close(h); }

namespace {

// libgcrypt's manual asks a program to initialise it once, before any other
// call, from one thread: check the version (which also sets up the library),
// then say that initialisation is finished. A program that uses only its
// digests needs no secure memory (that is for keys kept in locked pages) and,
// since 1.6, no threads library: its digest objects are thread-safe as long
// as each stays on one thread at a time. Hashers are made on the run thread,
// the pool's workers and the hash threads, so the first of them, whichever
// it is, does the initialisation under call_once.
bool LibraryReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        if (!::gcry_check_version(GCRYPT_VERSION)) return;  // an older library than the header
        ::gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        ::gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        ready = true;
    });
    return ready;
}

}  // namespace

Sha256Hasher::Sha256Hasher() {
    if (!LibraryReady() || ::gcry_md_open(digest_.put(), GCRY_MD_SHA256, 0) != 0 || !digest_) failed_ = true;
}

void Sha256Hasher::Add(const void* data, std::size_t size) {
    if (failed_ || size == 0) return;
    ::gcry_md_write(digest_.get(), data, size);
}

bool Sha256Hasher::Finish(Sha256& digest) {
    if (failed_) return false;
    // gcry_md_read finalises the object and returns its digest, which lives
    // until the next reset; the reset makes the hasher ready for the next one.
    const unsigned char* result = ::gcry_md_read(digest_.get(), GCRY_MD_SHA256);
    if (!result) {
        failed_ = true;
        return false;
    }
    std::copy(result, result + digest.size(), digest.begin());
    ::gcry_md_reset(digest_.get());
    return true;
}

Sha256 Sha256Of(const void* data, std::size_t size, bool* ok) {
    Sha256Hasher hasher;
    hasher.Add(data, size);
    Sha256 digest{};
    const bool good = hasher.Finish(digest);
    if (ok) *ok = good;
    return digest;
}

bool Sha256OfFile(const std::string& path, Sha256& digest, std::uint64_t& size, const PieceReader& alsoRead) {
    UniqueFileHandle file = OpenSteady(path, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) return false;
    Sha256Hasher hasher;
    std::vector<std::uint8_t> buffer(1024 * 1024);
    size = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) break;
        hasher.Add(buffer.data(), got);
        if (alsoRead) alsoRead(buffer.data(), got);
        size += got;
    }
    return hasher.Finish(digest);
}

}  // namespace vt::win
