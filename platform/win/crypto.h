// SHA-256 and ECDSA P-256 verification through Windows' own CNG (bcrypt.dll),
// so neither program carries a crypto library of its own. Under Wine 8 the
// same calls accept a signature made by OpenSSL (r || s, 64 bytes).
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/digest.h"
#include "platform/win/handles.h"

namespace vt::win {

// SHA-256 fed piece by piece. A hasher that could not be made (or failed)
// reports it at Finish: no exception.
class Sha256Hasher {
public:
    Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest; false when CNG failed at any step. Starts over afterwards.
    bool Finish(Sha256& digest);

private:
    UniqueAlgorithmHandle algorithm_;
    UniqueHashHandle hash_;
    bool failed_ = false;
};

Sha256 Sha256Of(const void* data, std::size_t size, bool* ok = nullptr);

// SHA-256 of a file's bytes, read in 1 MiB pieces; false when it cannot be
// read. `alsoRead` sees each piece too (one read for more than the hash).
using PieceReader = std::function<void(const std::uint8_t* data, std::size_t size)>;
bool Sha256OfFile(const std::string& path, Sha256& digest, std::uint64_t& size, const PieceReader& alsoRead = {});

// True only when `signature` (r || s) is a valid ECDSA P-256 signature over
// `digest` by the key whose point is `publicKey` (X || Y).
bool VerifyP256(const std::array<std::uint8_t, 64>& publicKey, const Sha256& digest,
                const std::array<std::uint8_t, 64>& signature);

}  // namespace vt::win
