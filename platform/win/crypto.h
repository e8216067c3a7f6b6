// SHA-256 and ECDSA P-256 verification through Windows' own CNG (bcrypt.dll),
// so neither program carries a crypto library of its own. Under Wine 8 the
// same calls accept a signature made by OpenSSL (r || s, 64 bytes).
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win/handles.h"

namespace vt::win {

struct AlgorithmHandleTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using UniqueAlgorithmHandle = UniqueHandle<AlgorithmHandleTraits>;

struct HashHandleTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptDestroyHash(h); }
};
using UniqueHashHandle = UniqueHandle<HashHandleTraits>;

struct KeyHandleTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptDestroyKey(h); }
};
using UniqueKeyHandle = UniqueHandle<KeyHandleTraits>;

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 fed piece by piece. A hasher that could not be made (or failed)
// reports it at Finish: no exception.
class Sha256Hasher {
public:
    Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest; false when CNG failed at any step. Starts over afterwards.
    bool Finish(Sha256Digest& digest);

private:
    UniqueAlgorithmHandle algorithm_;
    UniqueHashHandle hash_;
    bool failed_ = false;
};

Sha256Digest Sha256Of(const void* data, std::size_t size, bool* ok = nullptr);

// SHA-256 of a file's bytes, read in 1 MiB pieces; false when it cannot be read.
bool Sha256OfFile(const std::string& path, Sha256Digest& digest, std::uint64_t& size);

// True only when `signature` (r || s) is a valid ECDSA P-256 signature over
// `digest` by the key whose point is `publicKey` (X || Y).
bool VerifyP256(const std::array<std::uint8_t, 64>& publicKey, const Sha256Digest& digest,
                const std::array<std::uint8_t, 64>& signature);

}  // namespace vt::win
