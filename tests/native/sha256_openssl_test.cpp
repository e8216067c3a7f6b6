// The reference side of the SHA-256 agreement: OpenSSL's digest of the NIST
// vectors and of every shared case, fed in the case's pieces. The digests go
// to a file that the Windows build's test reads under Wine and compares
// with libgcrypt and CNG there.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <string>

#include "platform/text.h"
#include "tests/support/sha256_cases.h"

namespace {

std::string OpenSslSha256(const std::string& message, const std::vector<std::size_t>& pieces) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EXPECT_EQ(EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr), 1);
    std::size_t at = 0;
    for (const std::size_t piece : pieces) {
        EXPECT_EQ(EVP_DigestUpdate(context.get(), message.data() + at, piece), 1);
        at += piece;
    }
    EXPECT_EQ(at, message.size());
    unsigned char digest[32];
    unsigned int length = 0;
    EXPECT_EQ(EVP_DigestFinal_ex(context.get(), digest, &length), 1);
    EXPECT_EQ(length, 32u);
    return vt::ToHex(digest, sizeof digest);
}

}  // namespace

TEST(Sha256Agreement, OpenSslGivesTheNistDigestsWholeAndByteByByte) {
    for (const auto& known : vt::test::NistSha256Vectors()) {
        EXPECT_EQ(OpenSslSha256(known.message, {known.message.size()}), known.digest) << known.message.size();
        if (known.message.size() < 1000) {
            EXPECT_EQ(OpenSslSha256(known.message, std::vector<std::size_t>(known.message.size(), 1)), known.digest);
        }
    }
}

// One line a case: its index, its length and OpenSSL's digest. The lengths
// and a digest of the whole message fed at once are written too, so the
// reading side can tell a generator that drifted from a hash that differs.
TEST(Sha256Agreement, WritesOpenSslsDigestsOfTheSharedCases) {
    std::ofstream out(VT_SHA256_CASES_FILE, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out) << VT_SHA256_CASES_FILE;
    for (int i = 0; i < vt::test::kSha256Cases; ++i) {
        const auto testCase = vt::test::MakeSha256Case(i);
        const std::string inPieces = OpenSslSha256(testCase.message, testCase.pieces);
        ASSERT_EQ(inPieces, OpenSslSha256(testCase.message, {testCase.message.size()})) << i;
        out << i << ' ' << testCase.message.size() << ' ' << inPieces << '\n';
    }
    out.close();
    ASSERT_TRUE(out.good());
}
