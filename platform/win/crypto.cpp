#include "platform/win/crypto.h"

#include <cstring>
#include <vector>

namespace vt::win {
namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

}  // namespace

bool VerifyP256(const std::array<std::uint8_t, 64>& publicKey, const Sha256& digest,
                const std::array<std::uint8_t, 64>& signature) {
    UniqueAlgorithmHandle algorithm;
    if (!Ok(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y (32 bytes each, big-endian).
    std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publicKey.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publicKey.data(), publicKey.size());
    UniqueKeyHandle key;
    if (!Ok(::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(), blob.data(),
                                  static_cast<ULONG>(blob.size()), 0)))
        return false;
    return Ok(::BCryptVerifySignature(key.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                      static_cast<ULONG>(digest.size()), const_cast<PUCHAR>(signature.data()),
                                      static_cast<ULONG>(signature.size()), 0));
}

}  // namespace vt::win
