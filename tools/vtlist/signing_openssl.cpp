// Keys, signatures and hashes through OpenSSL's libcrypto (Debian's
// libssl-dev), for the native vtlist. The EVP interfaces of OpenSSL 3.
#include <openssl/bn.h>
#include "tools/vtlist/file_path.h"
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <fstream>
#include <memory>
#include <vector>

#include "tools/vtlist/signing.h"

namespace vt::vtlist {
namespace {

struct Free {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(BIGNUM* p) const { BN_clear_free(p); }
    void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

// An EVP_PKEY for P-256 from the point (and the secret, when signing).
Owned<EVP_PKEY> MakeKey(const launcher::PublicKey& point, const std::array<std::uint8_t, 32>* secret) {
    std::vector<std::uint8_t> encoded(1 + point.size());
    encoded[0] = 0x04;  // uncompressed point
    std::copy(point.begin(), point.end(), encoded.begin() + 1);
    Owned<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
    Owned<BIGNUM> d(secret ? BN_bin2bn(secret->data(), static_cast<int>(secret->size()), nullptr) : nullptr);
    if (!build || (secret && !d) ||
        !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()) ||
        (d && !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, d.get())))
        return nullptr;
    Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build.get()));
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) <= 0 ||
        EVP_PKEY_fromdata(context.get(), &key, secret ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        return nullptr;
    return Owned<EVP_PKEY>(key);
}

}  // namespace

std::optional<KeyPair> GenerateKeyPair() {
    Owned<EVP_PKEY> key(EVP_EC_gen("prime256v1"));
    if (!key) return std::nullopt;
    KeyPair pair;
    BIGNUM* d = nullptr;
    std::uint8_t encoded[65];
    std::size_t length = 0;
    if (!EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d)) return std::nullopt;
    Owned<BIGNUM> secret(d);
    if (BN_bn2binpad(secret.get(), pair.secret.data(), static_cast<int>(pair.secret.size())) != 32 ||
        !EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, encoded, sizeof encoded,
                                         &length) ||
        length != 65 || encoded[0] != 0x04)
        return std::nullopt;
    std::copy(encoded + 1, encoded + 65, pair.point.begin());
    return pair;
}

std::optional<launcher::Signature> SignDigest(const KeyPair& key, const vt::Sha256& digest) {
    Owned<EVP_PKEY> pkey = MakeKey(key.point, &key.secret);
    if (!pkey) return std::nullopt;
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    std::uint8_t der[80];
    std::size_t length = sizeof der;
    if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
        EVP_PKEY_sign(context.get(), der, &length, digest.data(), digest.size()) <= 0)
        return std::nullopt;
    const std::uint8_t* cursor = der;
    Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
    launcher::Signature signature{};
    if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + 32, 32) != 32)
        return std::nullopt;
    return signature;
}

bool VerifyDigest(const launcher::PublicKey& point, const vt::Sha256& digest, const launcher::Signature& signature) {
    Owned<EVP_PKEY> pkey = MakeKey(point, nullptr);
    if (!pkey) return false;
    Owned<ECDSA_SIG> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig.get(), &der);
    if (length <= 0) return false;
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    const bool good = context && EVP_PKEY_verify_init(context.get()) > 0 &&
                      EVP_PKEY_verify(context.get(), der, static_cast<std::size_t>(length), digest.data(), digest.size()) == 1;
    OPENSSL_free(der);
    return good;
}

vt::Sha256 Sha256Of(std::string_view bytes) {
    vt::Sha256 digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

struct StreamDigest::State {
    Owned<EVP_MD_CTX> context{EVP_MD_CTX_new()};
    bool good = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
};
StreamDigest::StreamDigest() : state_(std::make_unique<State>()) {}
StreamDigest::~StreamDigest() = default;
void StreamDigest::Add(const void* data, std::size_t size) {
    if (state_->good) state_->good = EVP_DigestUpdate(state_->context.get(), data, size) == 1;
}
std::optional<vt::Sha256> StreamDigest::Finish() {
    vt::Sha256 digest{};
    unsigned int length = 0;
    if (!state_->good || EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 || length != 32)
        return std::nullopt;
    return digest;
}

std::optional<FileDigest> DigestOfFile(const std::string& path, const PieceReader& alsoRead) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) return std::nullopt;
    std::vector<char> buffer(1 << 20);
    FileDigest result;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got));
        if (alsoRead) alsoRead(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(got));
        result.size += static_cast<std::uint64_t>(got);
    }
    if (in.bad()) return std::nullopt;
    unsigned int length = 0;
    if (!EVP_DigestFinal_ex(context.get(), result.hash.data(), &length)) return std::nullopt;
    return result;
}

}  // namespace vt::vtlist
