// The side file is read from the network: every malformed form is refused,
// and what is written reads back the same.
#include "launcher/rules/side_file.h"
#include "launcher/rules/p256_point.h"

#include <gtest/gtest.h>

namespace vt::launcher {
namespace {

const std::string kHash(64, 'a');
const std::string kList = "VTSUMS 1\r\nlist 120 " + kHash + "\r\n";

TEST(SideFile, ReadsListEntriesAndSignature) {
    const std::string text = kList + "entry 1 5 " + kHash + " repair\r\nentry 7 0 " + std::string(64, '0') +
                             " keep\r\nsignature " + std::string(128, 'f') + "\r\n";
    std::string error;
    const auto sums = ParseSideFile(text, &error);
    ASSERT_TRUE(sums) << error;
    EXPECT_EQ(sums->listSize, 120u);
    EXPECT_EQ(sums->listHash[0], 0xaa);
    ASSERT_EQ(sums->entries.size(), 2u);
    EXPECT_TRUE(sums->entries.at(1).repair);
    EXPECT_FALSE(sums->entries.at(7).repair);
    EXPECT_EQ(sums->entries.at(7).size, 0u);
    ASSERT_TRUE(sums->signature);
    EXPECT_EQ(sums->signedBytes, text.find("signature"));
    // What is written reads back, and the signature covers exactly it.
    EXPECT_EQ(FormatSideFile(*sums) + FormatSignatureLine(*sums->signature), text);
}

TEST(SideFile, AnEntrysBlockIndexIsNamedRightAfterIt) {
    const std::string text = kList + "entry 1 5 " + kHash + " repair\r\nblocks 1 36 " + std::string(64, 'b') +
                             "\r\nentry 2 7 " + kHash + " keep\r\n";
    std::string error;
    const auto sums = ParseSideFile(text, &error);
    ASSERT_TRUE(sums) << error;
    ASSERT_TRUE(sums->entries.at(1).blocks);
    EXPECT_EQ(sums->entries.at(1).blocks->size, 36u);
    EXPECT_EQ(sums->entries.at(1).blocks->hash[31], 0xbb);
    EXPECT_FALSE(sums->entries.at(2).blocks);
    EXPECT_EQ(FormatSideFile(*sums), text);
}

TEST(SideFile, RefusesEveryMalformedForm) {
    const std::string entry = "entry 1 5 " + kHash + " repair\r\n";
    const struct {
        const char* why;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"another version", "VTSUMS 2\r\nlist 1 " + kHash + "\r\n"},
        {"LF only", "VTSUMS 1\nlist 1 " + kHash + "\n"},
        {"no list line", "VTSUMS 1\r\n"},
        {"list not second", "VTSUMS 1\r\n" + entry + "list 1 " + kHash + "\r\n"},
        {"two list lines", kList + "list 1 " + kHash + "\r\n"},
        {"upper-case hash", "VTSUMS 1\r\nlist 1 " + std::string(64, 'A') + "\r\n"},
        {"short hash", "VTSUMS 1\r\nlist 1 " + kHash.substr(1) + "\r\n"},
        {"signed size", "VTSUMS 1\r\nlist -1 " + kHash + "\r\n"},
        {"leading zero", "VTSUMS 1\r\nlist 01 " + kHash + "\r\n"},
        {"size over 64 bits", "VTSUMS 1\r\nlist 18446744073709551616 " + kHash + "\r\n"},
        {"entry 0", kList + "entry 0 5 " + kHash + " repair\r\n"},
        {"entries not rising", kList + entry + entry},
        {"entry number over 32 bits", kList + "entry 2147483648 5 " + kHash + " repair\r\n"},
        {"unknown repair word", kList + "entry 1 5 " + kHash + " fix\r\n"},
        {"two spaces", kList + "entry 1  5 " + kHash + " repair\r\n"},
        {"trailing space", kList + "entry 1 5 " + kHash + " repair \r\n"},
        {"unknown line", kList + "comment hello\r\n"},
        {"blank line", kList + "\r\n"},
        {"no line end at the end", kList + "entry 1 5 " + kHash + " repair"},
        {"short signature", kList + "signature " + std::string(126, 'f') + "\r\n"},
        {"text after the signature", kList + "signature " + std::string(128, 'f') + "\r\n" + entry},
        {"blocks before any entry", kList + "blocks 1 12 " + kHash + "\r\n" + entry},
        {"blocks of another entry", kList + entry + "blocks 2 12 " + kHash + "\r\n"},
        {"blocks twice", kList + entry + "blocks 1 12 " + kHash + "\r\nblocks 1 12 " + kHash + "\r\n"},
        {"blocks without a size", kList + entry + "blocks 1 " + kHash + "\r\n"},
        {"a CR inside a line", "VTSUMS 1\r\nlist 1 " + kHash + "\r\r\n"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseSideFile(c.text, &error)) << c.why;
        EXPECT_FALSE(error.empty()) << c.why;
    }
}

TEST(PublicKeyText, HexOfBothCoordinates) {
    PublicKey key{};
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 3);
    const std::string text = FormatPublicKey(key);
    EXPECT_EQ(text.size(), 128u);
    EXPECT_EQ(ParsePublicKey(" " + text + "\t"), key);
    EXPECT_FALSE(ParsePublicKey(text.substr(2)));
    EXPECT_FALSE(ParsePublicKey(text + "00"));
    EXPECT_FALSE(ParsePublicKey("g" + text.substr(1)));
}

// "a.txt" and "a.txt." are one file on Windows: two entries that write it
// with different contents are a misfit, as two that differ only in case are.
TEST(SideFile, NamesWindowsFoldsIntoOneAreOnePathForTheMisfit) {
    SideFile sums;
    Sha256 one{}, two{};
    two[0] = 1;
    sums.entries[1] = SideEntry{5, one, true, std::nullopt};
    sums.entries[2] = SideEntry{5, two, true, std::nullopt};
    const std::vector<std::string> entries{"a|maps\\a.txt|immer", "b|MAPS\\A.txt. |immer"};
    const auto misfit = SideFileMisfit(sums, sums.listSize, sums.listHash, entries);
    ASSERT_TRUE(misfit);
    EXPECT_NE(misfit->find("entries 1 and 2 both write"), std::string::npos) << *misfit;
    sums.entries[2].hash = one;  // the same contents twice: no harm
    EXPECT_FALSE(SideFileMisfit(sums, sums.listSize, sums.listHash, entries));
}

}  // namespace
}  // namespace vt::launcher

namespace vt::launcher {
namespace {

PublicKey KeyFromHex(const char* hex) {
    PublicKey key{};
    EXPECT_TRUE(FromHex(hex, key.data(), key.size()));
    return key;
}

// The curve's generator and a key made by OpenSSL are points; the same with
// one bit changed, coordinates at or above p, and zero are not.
TEST(P256Point, PointsOfTheCurveAndNothingElse) {
    const PublicKey generator = KeyFromHex(
        "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"
        "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5");
    EXPECT_TRUE(IsP256Point(generator));
    for (std::size_t byte : {0u, 17u, 31u, 32u, 50u, 63u}) {
        PublicKey changed = generator;
        changed[byte] ^= 0x01;
        EXPECT_FALSE(IsP256Point(changed)) << byte;
    }
    PublicKey negated = generator;  // (x, p - y) is the point's negative: on the curve too
    const PublicKey p = KeyFromHex(
        "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff"
        "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff");
    int borrow = 0;
    for (int i = 31; i >= 0; --i) {
        const int d = p[32 + static_cast<std::size_t>(i)] - generator[32 + static_cast<std::size_t>(i)] - borrow;
        negated[32 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(d & 0xff);
        borrow = d < 0;
    }
    EXPECT_TRUE(IsP256Point(negated));
    EXPECT_FALSE(IsP256Point(PublicKey{}));
    EXPECT_FALSE(IsP256Point(p));
    PublicKey allOnes;
    allOnes.fill(0xff);
    EXPECT_FALSE(IsP256Point(allOnes));
    // x + p has the same residue as x: an unreduced coordinate is no key either.
    PublicKey overP = generator;
    int carry = 0;
    for (int i = 31; i >= 0; --i) {
        const int sum = overP[static_cast<std::size_t>(i)] + p[static_cast<std::size_t>(i)] + carry;
        overP[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum & 0xff);
        carry = sum >> 8;
    }
    if (!carry) {
        EXPECT_FALSE(IsP256Point(overP));
    }
}

}  // namespace
}  // namespace vt::launcher

TEST(SideFileFormat, ReleaseValidityAndKeyChangesComeInTheirOrderBeforeTheEntries) {
    const std::string list = "VTSUMS 1\r\nlist 3 " + std::string(64, 'a') + "\r\n";
    const std::string key(128, '1'), key2(128, '2'), sig(128, '3');
    const std::string rotate = "rotate " + key + " " + key2 + " " + sig + "\r\n";
    const std::string entry = "entry 1 5 " + std::string(64, 'b') + " repair\r\n";
    const std::string full = list + "release 1765100000\r\nvalid 1765100000 1767692000\r\n" + rotate + rotate + entry;
    std::string why;
    const auto sums = vt::launcher::ParseSideFile(full, &why);
    ASSERT_TRUE(sums) << why;
    EXPECT_EQ(sums->release, std::optional<std::uint64_t>(1765100000));
    ASSERT_TRUE(sums->validity);
    EXPECT_EQ(sums->validity->until, 1767692000u);
    EXPECT_EQ(sums->keyChanges.size(), 2u);
    EXPECT_EQ(vt::launcher::FormatSideFile(*sums), full);  // read and written the same

    for (const std::string& wrong : {
             list + "valid 5 6\r\nrelease 7\r\n",         // out of order
             list + "release 7\r\nrelease 8\r\n",         // twice
             list + entry + "release 7\r\n",              // after the entries
             list + "valid 6 5\r\n",                      // ends before it begins
             list + "release 07\r\n",                     // one spelling per number
             list + "rotate " + key + " " + key2 + "\r\n"  // no signature
         })
        EXPECT_FALSE(vt::launcher::ParseSideFile(wrong)) << wrong;
}
