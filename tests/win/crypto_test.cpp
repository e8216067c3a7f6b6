// SHA-256 (libgcrypt) and P-256 verification (CNG), under Wine: the known
// vectors; the same digests as CNG and as OpenSSL (the native build's file)
// for random messages fed in random pieces; a signature made by OpenSSL
// (openssl dgst -sha256 -sign, its DER taken apart into r || s) accepted,
// while any changed byte is refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "launcher/rules/side_file.h"
#include "platform/win/crypto.h"
#include "platform/win/piped_hash.h"
#include "platform/win/text_codes.h"
#include "support/test_support.h"
#include "tests/support/sha256_cases.h"

using namespace vt;
using namespace vt::test;

namespace {

std::array<std::uint8_t, 64> Bytes64(const std::string& hex) {
    std::array<std::uint8_t, 64> bytes{};
    EXPECT_TRUE(vt::FromHex(hex, bytes.data(), bytes.size()));
    return bytes;
}

std::string Hex(const vt::Sha256& digest) { return vt::ToHex(digest.data(), digest.size()); }

// Windows' own SHA-256 (CNG, Wine's under Wine), the second opinion.
std::string CngSha256(const std::string& message) {
    win::UniqueAlgorithmHandle algorithm;
    win::UniqueHashHandle hash;
    EXPECT_GE(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
    EXPECT_GE(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), 0);
    EXPECT_GE(::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                               static_cast<ULONG>(message.size()), 0),
              0);
    Sha256 digest{};
    EXPECT_GE(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), 0);
    return Hex(digest);
}

std::string HashInPieces(win::Sha256Hasher& hasher, const vt::test::Sha256Case& testCase) {
    std::size_t at = 0;
    for (const std::size_t piece : testCase.pieces) {
        hasher.Add(testCase.message.data() + at, piece);
        at += piece;
    }
    Sha256 digest{};
    EXPECT_TRUE(hasher.Finish(digest));
    return Hex(digest);
}

const std::string kMessage = "Vortane release 7\r\n";
const auto kPublic = Bytes64(
    "40c8d9e9dc83fc840c76c94fadf80dc5601b5e08e655b67d4fc4c72b88500ea2d5b5658f5d6f0d0c77c082e600dffc11a67e46763ef304bec1995dc9769ca13d");
const auto kSignature = Bytes64(
    "57f78543daf3c7c44f6dd13c514e823c8d9d3d7109c21f7f1c8929ae9ab9392dc7bc42cdc478a67cb8d024364e9ede37eb8efd05bfe6949e8336ffa52eda8a8e");

}  // namespace

TEST(Sha256, KnownVectorsWholeAndInPieces) {
    bool ok = false;
    EXPECT_EQ(Hex(win::Sha256Of("abc", 3, &ok)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Hex(win::Sha256Of("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    win::Sha256Hasher pieces;
    const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (char c : text) pieces.Add(&c, 1);
    vt::Sha256 digest{};
    ASSERT_TRUE(pieces.Finish(digest));
    EXPECT_EQ(Hex(digest), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    pieces.Add("abc", 3);  // the same hasher, ready again
    ASSERT_TRUE(pieces.Finish(digest));
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, NistVectorsWholeAndOneByteAtATime) {
    win::Sha256Hasher reused;  // one hasher for all: Finish leaves it ready
    for (const auto& known : vt::test::NistSha256Vectors()) {
        bool ok = false;
        EXPECT_EQ(Hex(win::Sha256Of(known.message.data(), known.message.size(), &ok)), known.digest);
        EXPECT_TRUE(ok);
        for (char c : known.message) reused.Add(&c, 1);
        Sha256 digest{};
        ASSERT_TRUE(reused.Finish(digest));
        EXPECT_EQ(Hex(digest), known.digest) << known.message.size();
    }
}

// The shared cases: libgcrypt in the case's pieces, CNG whole, and the
// digest OpenSSL gave in the native build. A missing file is a failure, not
// a skip: the agreement with a third implementation is the point.
TEST(Sha256, AgreesWithCngAndOpenSslOnRandomMessagesInRandomPieces) {
    const char* casesFile = std::getenv("VT_SHA256_CASES");
    ASSERT_NE(casesFile, nullptr);
    std::ifstream in(casesFile, std::ios::binary);
    ASSERT_TRUE(in) << casesFile << ": the native build's tests write it (ctest --preset native)";
    win::Sha256Hasher hasher;
    int cases = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int index = -1;
        std::size_t length = 0;
        std::string openSsl;
        ASSERT_TRUE(fields >> index >> length >> openSsl) << line;
        const auto testCase = vt::test::MakeSha256Case(index);
        ASSERT_EQ(testCase.message.size(), length) << "case " << index << ": the generator differs between builds";
        const std::string ours = HashInPieces(hasher, testCase);
        EXPECT_EQ(ours, openSsl) << "case " << index << ", " << length << " bytes";
        EXPECT_EQ(ours, CngSha256(testCase.message)) << "case " << index << ", " << length << " bytes";
        ++cases;
    }
    EXPECT_EQ(cases, vt::test::kSha256Cases);
}

// Hashers made and used on several threads at once (the pool's workers and
// the hash threads do this) each give their own message's digest.
TEST(Sha256, HashersOnSeveralThreadsAtOnce) {
    std::vector<vt::test::Sha256Case> cases;
    for (int i = 0; i < 8; ++i) cases.push_back(vt::test::MakeSha256Case(2 + 4 * i));
    std::vector<std::string> got(cases.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < cases.size(); ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round) {
                win::Sha256Hasher hasher;
                got[i] = HashInPieces(hasher, cases[i]);
            }
        });
    for (auto& thread : threads) thread.join();
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(got[i], CngSha256(cases[i].message)) << i;
}

TEST(Sha256, OfAFileOverSeveralReads) {
    TempDir folder;
    const std::string bytes(3 * 1024 * 1024 + 17, 'v');
    WriteFileBytes(folder / "big.bin", bytes);
    vt::Sha256 digest{};
    std::uint64_t size = 0;
    ASSERT_TRUE(win::Sha256OfFile(folder / "big.bin", digest, size));
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(digest, win::Sha256Of(bytes.data(), bytes.size()));
    EXPECT_FALSE(win::Sha256OfFile(folder / "missing.bin", digest, size));
}

TEST(VerifyP256, AcceptsOpenSslsSignatureAndRefusesAnyChange) {
    const vt::Sha256 digest = win::Sha256Of(kMessage.data(), kMessage.size());
    EXPECT_EQ(Hex(digest), "9a77e1c916ef2229b0a6dc999797913ac93cc475ed1989b72bd4f2da7ac6d260");
    EXPECT_TRUE(win::VerifyP256(kPublic, digest, kSignature));

    vt::Sha256 changedDigest = digest;
    changedDigest[31] ^= 1;
    EXPECT_FALSE(win::VerifyP256(kPublic, changedDigest, kSignature));
    auto changedSignature = kSignature;
    changedSignature[40] ^= 0x80;
    EXPECT_FALSE(win::VerifyP256(kPublic, digest, changedSignature));
    auto otherKey = kPublic;
    otherKey[63] ^= 1;  // not even a point of the curve
    EXPECT_FALSE(win::VerifyP256(otherKey, digest, kSignature));
    EXPECT_FALSE(win::VerifyP256(std::array<std::uint8_t, 64>{}, digest, kSignature));
}

// A long body is hashed on a thread beside its writing: the digest must be
// the same as hashing it at once, whatever the pieces, and a hash dropped
// before its end must not hold its owner.
TEST(PipedSha256, TheDigestIsTheSameOnAThreadAndInlineForAnyPieces) {
    std::string body(9 * win::PipedSha256::kBufferBytes + 12345, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 4096);
    const Sha256 expected = win::Sha256Of(body.data(), body.size());
    for (const bool onAThread : {true, false}) {
        for (const std::size_t piece : {std::size_t{1000}, win::PipedSha256::kBufferBytes, std::size_t{3} << 20}) {
            win::PipedSha256 hash(onAThread);
            for (std::size_t at = 0; at < body.size(); at += piece)
                hash.Add(body.data() + at, std::min(piece, body.size() - at));
            Sha256 digest{};
            ASSERT_TRUE(hash.Finish(digest));
            EXPECT_EQ(digest, expected) << onAThread << " " << piece;
        }
    }
    win::PipedSha256 dropped(true);
    dropped.Add(body.data(), body.size());
}
