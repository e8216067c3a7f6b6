// SHA-256, the one hasher of the Windows programs: libgcrypt's, linked
// statically, so the same code (and the same speed) runs on Windows and
// under Wine. libgcrypt picks the CPU's SHA instructions, AVX2 or SSSE3 at
// run time; Wine's CNG hashes in portable C at a fifth of that speed, and
// every check of a fetched file and every first start waited on it.
// Signatures stay with CNG (crypto.h): no other piece of libgcrypt is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/digest.h"
#include "platform/win/handles.h"

namespace vt::win {

// SHA-256 fed piece by piece. A hasher that could not be made (or failed)
// reports it at Finish: no exception. One hasher belongs to one thread at a
// time; different hashers may run on different threads at once.
class Sha256Hasher {
public:
    Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest; false when the hasher failed at any step. Starts over afterwards.
    bool Finish(Sha256& digest);

private:
    UniqueDigestHandle digest_;
    bool failed_ = false;
};

Sha256 Sha256Of(const void* data, std::size_t size, bool* ok = nullptr);

// SHA-256 of a file's bytes, read in 1 MiB pieces; false when it cannot be
// read. `alsoRead` sees each piece too (one read for more than the hash).
using PieceReader = std::function<void(const std::uint8_t* data, std::size_t size)>;
bool Sha256OfFile(const std::string& path, Sha256& digest, std::uint64_t& size, const PieceReader& alsoRead = {});

}  // namespace vt::win
