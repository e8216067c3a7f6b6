// Keys, signatures and hashes through Windows' CNG, for vtlist.exe: the
// launcher's own verification path, and no crypto library in the program.
#include <cstring>
#include <vector>

#include "platform/win/crypto.h"
#include "tools/vtlist/signing.h"

namespace vt::vtlist {
namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

win::UniqueAlgorithmHandle OpenEcdsa() {
    win::UniqueAlgorithmHandle algorithm;
    if (!Ok(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return {};
    return algorithm;
}

}  // namespace

std::optional<KeyPair> GenerateKeyPair() {
    win::UniqueAlgorithmHandle algorithm = OpenEcdsa();
    win::UniqueKeyHandle key;
    if (!algorithm || !Ok(::BCryptGenerateKeyPair(algorithm.get(), key.put(), 256, 0))) return std::nullopt;
    if (!Ok(::BCryptFinalizeKeyPair(key.get(), 0))) return std::nullopt;
    // BCRYPT_ECCPRIVATE_BLOB: the header, X, Y, d (32 bytes each).
    std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
    ULONG length = 0;
    if (!Ok(::BCryptExportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                              &length, 0)) ||
        length != blob.size())
        return std::nullopt;
    KeyPair pair;
    std::memcpy(pair.point.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), 64);
    std::memcpy(pair.secret.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB) + 64, 32);
    return pair;
}

std::optional<launcher::Signature> SignDigest(const KeyPair& pair, const vt::Sha256& digest) {
    win::UniqueAlgorithmHandle algorithm = OpenEcdsa();
    if (!algorithm) return std::nullopt;
    std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, pair.point.data(), 64);
    std::memcpy(blob.data() + sizeof header + 64, pair.secret.data(), 32);
    win::UniqueKeyHandle key;
    const bool imported = Ok(::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, key.put(),
                                                   blob.data(), static_cast<ULONG>(blob.size()), 0));
    ::SecureZeroMemory(blob.data(), blob.size());
    if (!imported) return std::nullopt;
    launcher::Signature signature{};
    ULONG length = 0;
    if (!Ok(::BCryptSignHash(key.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
                             signature.data(), static_cast<ULONG>(signature.size()), &length, 0)) ||
        length != signature.size())
        return std::nullopt;
    return signature;
}

bool VerifyDigest(const launcher::PublicKey& point, const vt::Sha256& digest, const launcher::Signature& signature) {
    return win::VerifyP256(point, digest, signature);
}

vt::Sha256 Sha256Of(std::string_view bytes) { return win::Sha256Of(bytes.data(), bytes.size()); }

struct StreamDigest::State {
    win::Sha256Hasher hasher;
};
StreamDigest::StreamDigest() : state_(std::make_unique<State>()) {}
StreamDigest::~StreamDigest() = default;
void StreamDigest::Add(const void* data, std::size_t size) { state_->hasher.Add(data, size); }
std::optional<vt::Sha256> StreamDigest::Finish() {
    vt::Sha256 digest{};
    if (!state_->hasher.Finish(digest)) return std::nullopt;
    return digest;
}

std::optional<FileDigest> DigestOfFile(const std::string& path, const PieceReader& alsoRead) {
    FileDigest result;
    if (!win::Sha256OfFile(path, result.hash, result.size, alsoRead)) return std::nullopt;
    return result;
}

}  // namespace vt::vtlist
