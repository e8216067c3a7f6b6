#include "platform/win/crypto.h"
#include "platform/win/text_codes.h"

#include <cstring>
#include <vector>

namespace vt::win {
namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

}  // namespace

Sha256Hasher::Sha256Hasher() {
    if (!Ok(::BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        failed_ = true;
        return;
    }
    // Reusable: Finish leaves the object ready for the next digest.
    if (!Ok(::BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG)) &&
        !Ok(::BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0))) {
        failed_ = true;
        return;
    }
}

void Sha256Hasher::Add(const void* data, std::size_t size) {
    if (failed_) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {  // BCryptHashData takes a ULONG length
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!Ok(::BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes), piece, 0))) {
            failed_ = true;
            return;
        }
        bytes += piece;
        size -= piece;
    }
}

bool Sha256Hasher::Finish(Sha256& digest) {
    const bool good = !failed_ && Ok(::BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (!failed_ && good) return true;
    failed_ = true;
    return false;
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
    UniqueFileHandle file(::CreateFileW(PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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
