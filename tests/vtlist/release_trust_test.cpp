// Which signed side files a launcher accepts over time: replays of older
// releases, expired side files, key changes. Signed for real (OpenSSL
// natively, CNG under Wine).
#include "launcher/rules/release_trust.h"

#include <gtest/gtest.h>

#include "tools/vtlist/signing.h"

using namespace vt;
using namespace vt::launcher;

namespace {

const SignatureCheck kCrypto{[](std::string_view bytes) { return vtlist::Sha256Of(bytes); },
                             [](const PublicKey& key, const Sha256& digest, const Signature& signature) {
                                 return vtlist::VerifyDigest(key, digest, signature);
                             }};

class Trust : public ::testing::Test {
protected:
    Trust() : a(*vtlist::GenerateKeyPair()), b(*vtlist::GenerateKeyPair()), c(*vtlist::GenerateKeyPair()) {}

    static KeyChange Change(const vtlist::KeyPair& from, const vtlist::KeyPair& to, const vtlist::KeyPair& signer) {
        return KeyChange{from.point, to.point,
                         *vtlist::SignDigest(signer, vtlist::Sha256Of(KeyChangeMessage(from.point, to.point)))};
    }
    // A side file as vtlist writes it, signed by `by`; `text` keeps its bytes.
    SideFile Side(const vtlist::KeyPair& by, std::optional<std::uint64_t> release, std::vector<KeyChange> changes = {},
                  std::optional<Validity> validity = std::nullopt) {
        SideFile sums;
        sums.listSize = 3;
        sums.release = release;
        sums.validity = validity;
        sums.keyChanges = std::move(changes);
        sums.entries[1] = SideEntry{1, {}, true, std::nullopt};
        text = FormatSideFile(sums);
        text += FormatSignatureLine(*vtlist::SignDigest(by, vtlist::Sha256Of(text)));
        std::string why;
        const auto read = ParseSideFile(text, &why);
        EXPECT_TRUE(read) << why;
        return read ? *read : sums;
    }
    TrustVerdict Judge(const SideFile& sums, const TrustRecord& known, std::uint64_t now = 1000) {
        return JudgeSignedSideFile(sums, text, known, now, kCrypto);
    }

    vtlist::KeyPair a, b, c;
    std::string text;
};

}  // namespace

TEST_F(Trust, AnOlderReleaseIsNeverInstalledAgain) {
    TrustRecord known = FirstTrust("http://x/", a.point);
    known.release = 200;
    TrustVerdict v = Judge(Side(a, 100), known);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("release 100 is offered, but release 200 is installed"), std::string::npos) << v.why;
    EXPECT_TRUE(Judge(Side(a, 200), known).accepted);  // the same release again
    v = Judge(Side(a, 300), known);
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_EQ(v.updated.release, std::optional<std::uint64_t>(300));

    v = Judge(Side(a, std::nullopt), known);  // a side file from before release numbers
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("no release number"), std::string::npos) << v.why;
    v = Judge(Side(a, std::nullopt), FirstTrust("http://x/", a.point));  // ... fine while none numbered was seen
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_FALSE(v.updated.release);
}

TEST_F(Trust, AnExpiredSideFileIsRefusedAndOneNearItsEndIsNoted) {
    const TrustRecord known = FirstTrust("http://x/", a.point);
    const SideFile sums = Side(a, 5, {}, Validity{1000, 2000});
    TrustVerdict v = Judge(sums, known, 2001);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("expired on 1970-01-01 00:33 UTC"), std::string::npos) << v.why;
    EXPECT_TRUE(Judge(sums, known, 2000).accepted);  // its last second
    auto mentionsExpiry = [](const TrustVerdict& verdict) {
        for (const std::string& note : verdict.notes)
            if (note.find("expires on") != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(mentionsExpiry(Judge(sums, known, 1800)));  // 80% of its time
    EXPECT_FALSE(mentionsExpiry(Judge(sums, known, 1799)));
}

TEST_F(Trust, AKeyChangeSignedByTheTrustedKeyIsFollowedAndTheRetiredKeyRefused) {
    const TrustRecord root = FirstTrust("http://x/", a.point);
    TrustVerdict v = Judge(Side(b, 10, {Change(a, b, a)}), root);
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_EQ(v.updated.current, b.point);
    EXPECT_EQ(v.updated.root, a.point);

    v = Judge(Side(a, 11), v.updated);  // the retired key signs a newer release
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("retired key"), std::string::npos) << v.why;

    // A player who skipped two rotations follows both statements.
    v = Judge(Side(c, 12, {Change(a, b, a), Change(b, c, b)}), root);
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_EQ(v.updated.current, c.point);
}

TEST_F(Trust, AKeyLeftIsNeverTrustedAgainNotEvenByARotationBack) {
    const TrustRecord root = FirstTrust("http://x/", a.point);
    TrustVerdict v = Judge(Side(b, 10, {Change(a, b, a)}), root);
    ASSERT_TRUE(v.accepted) << v.why;
    ASSERT_EQ(v.updated.retired, std::vector<PublicKey>{a.point});
    const TrustRecord atB = v.updated;

    // The publisher rotates back, A -> B then B -> A. Followed, it would let
    // whoever holds B sign with the published A -> B statement and be
    // trusted again; the launcher that left A does not go back to it.
    const SideFile back = Side(a, 11, {Change(a, b, a), Change(b, a, b)});
    v = Judge(back, atB);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("leads back to a key this launcher retired before"), std::string::npos) << v.why;
    v = Judge(back, root);  // a launcher that never left A takes A's signature directly
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_EQ(v.updated.current, a.point);
    EXPECT_TRUE(v.updated.retired.empty());

    // On to C: B is left as well, and neither comes back.
    v = Judge(Side(c, 12, {Change(a, b, a), Change(b, c, b)}), atB);
    ASSERT_TRUE(v.accepted) << v.why;
    EXPECT_EQ(v.updated.current, c.point);
    EXPECT_EQ(v.updated.retired, (std::vector<PublicKey>{a.point, b.point}));
    const TrustRecord atC = v.updated;
    v = Judge(Side(b, 13, {Change(a, b, a), Change(b, c, b), Change(c, b, c)}), atC);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("leads back to a key this launcher retired before"), std::string::npos) << v.why;
    v = Judge(Side(b, 13, {Change(a, b, a)}), atC);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("signed by the retired key " + FormatPublicKey(b.point).substr(0, 16)), std::string::npos)
        << v.why;
    // A chain through a key left before is no way round: C -> B -> D.
    const vtlist::KeyPair d = *vtlist::GenerateKeyPair();
    v = Judge(Side(d, 13, {Change(c, b, c), Change(b, d, b)}), atC);
    EXPECT_FALSE(v.accepted);
    EXPECT_TRUE(Judge(Side(d, 13, {Change(c, d, c)}), atC).accepted);
}

TEST_F(Trust, KeyChangesNotSignedByTheOldKeyOrGoingInCirclesLeadNowhere) {
    const TrustRecord root = FirstTrust("http://x/", a.point);
    TrustVerdict v = Judge(Side(b, 10, {Change(a, b, b)}), root);  // the new key vouches for itself
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("is not signed by"), std::string::npos) << v.why;
    v = Judge(Side(c, 10, {Change(a, b, a), Change(b, a, b)}), root);  // a loop never reaches c
    EXPECT_FALSE(v.accepted);
    v = Judge(Side(c, 10), root);
    EXPECT_FALSE(v.accepted);
    EXPECT_NE(v.why.find("not by the key PUBLICKEY= names"), std::string::npos) << v.why;
}

TEST(TrustRecords, WhatIsWrittenReadsBackAndADamagedFileReadsAsNothing) {
    PublicKey one{}, two{};
    one[0] = 1;
    two[63] = 2;
    const std::vector<TrustRecord> records{{"http://a.example/VT updates/ ", one, two, 1765100000, {}},
                                           {"https://b.example/", two, two, std::nullopt, {}}};
    const std::string text = FormatTrustRecords(records);
    const std::vector<TrustRecord> back = ParseTrustRecords(text).value_or(std::vector<TrustRecord>{});
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].server, "http://a.example/VT updates/ ");  // blanks in WEBPATH= are kept
    EXPECT_EQ(back[0].current, two);
    EXPECT_EQ(back[0].release, std::optional<std::uint64_t>(1765100000));
    EXPECT_FALSE(back[1].release);
    EXPECT_EQ(FormatTrustRecords(back), text);

    // Anything short of the whole file gives nothing: a record skipped would
    // be a release forgotten.
    std::string why;
    std::string damaged = text;
    damaged[20] = 'x';  // the first record's root is no longer hex
    EXPECT_FALSE(ParseTrustRecords(damaged, &why));
    EXPECT_NE(why.find("line 2"), std::string::npos) << why;
    EXPECT_FALSE(ParseTrustRecords(text.substr(0, text.size() - 1), &why));  // a cut last line
    EXPECT_NE(why.find("is cut short"), std::string::npos) << why;
    std::string noRelease = text;
    noRelease.replace(noRelease.find(" 1765100000 "), 12, " 17651x0000 ");
    EXPECT_FALSE(ParseTrustRecords(noRelease));
    EXPECT_FALSE(ParseTrustRecords("VTTRUST 2\r\n"));
    EXPECT_FALSE(ParseTrustRecords(""));
    EXPECT_FALSE(ParseTrustRecords(std::string("\x93\x01garbage\r\n")));
    // A changed digit of a key still reads as a key: the sum tells.
    std::string otherKey = text;
    otherKey[20] = otherKey[20] == 'f' ? 'e' : 'f';
    EXPECT_FALSE(ParseTrustRecords(otherKey, &why));
    EXPECT_NE(why.find("checksum does not match"), std::string::npos) << why;
    // A file written before the sum line reads without it.
    const std::string older = text.substr(0, text.find("SUM "));
    ASSERT_TRUE(ParseTrustRecords(older));
    EXPECT_EQ(ParseTrustRecords(older)->size(), 2u);
    // Retired keys follow their record; a record without any is written as
    // before, so launchers from before retired keys were kept read it.
    std::vector<TrustRecord> rotated = records;
    rotated[1].retired = {one, two};
    const std::string withRetired = FormatTrustRecords(rotated);
    EXPECT_NE(withRetired.find("\r\nRETIRED " + FormatPublicKey(one) + "\r\nRETIRED " + FormatPublicKey(two) +
                                   "\r\nSUM "),
              std::string::npos);
    const auto rotatedBack = ParseTrustRecords(withRetired, &why);
    ASSERT_TRUE(rotatedBack) << why;
    EXPECT_TRUE((*rotatedBack)[0].retired.empty());
    EXPECT_EQ((*rotatedBack)[1].retired, (std::vector<PublicKey>{one, two}));
    EXPECT_EQ(text.find("RETIRED"), std::string::npos);
    EXPECT_FALSE(ParseTrustRecords("VTTRUST 1\r\nRETIRED " + FormatPublicKey(one) + "\r\n", &why))
        << "a retired key belongs to a record";
    EXPECT_NE(why.find("line 2"), std::string::npos) << why;
    EXPECT_FALSE(ParseTrustRecords(text + FormatPublicKey(one) + " " + FormatPublicKey(one) + " - x\r\n"))
        << "nothing may follow the sum";
    const auto none = ParseTrustRecords("VTTRUST 1\r\n");  // a record of nothing yet is a record
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(TrustRecords, UtcText) {
    EXPECT_EQ(UtcText(0), "1970-01-01 00:00 UTC");
    EXPECT_EQ(UtcText(951782400), "2000-02-29 00:00 UTC");
    EXPECT_EQ(UtcText(1796601599), "2026-12-06 23:59 UTC");
}

// One record kept in two places (an unwritable file and its fallback) is
// read back as one launcher that saw both: nothing either remembered is lost.
TEST(TrustRecords, TwoPlacesMergeToTheHigherReleaseAndEveryRetiredKey) {
    PublicKey root{}, b{}, c{};
    root[0] = 1;
    b[0] = 2;
    c[0] = 3;
    TrustRecord primary = FirstTrust("http://s/", root);
    primary.release = 5;
    TrustRecord fallback = FirstTrust("http://s/", root);
    fallback.release = 7;
    fallback.current = b;
    Retire(fallback, root);
    TrustRecord merged = MergeTrustRecords(primary, fallback);
    EXPECT_EQ(merged.release, std::optional<std::uint64_t>(7));
    EXPECT_EQ(merged.current, b) << "the key the later change led to";
    EXPECT_TRUE(IsRetired(merged, root));
    EXPECT_EQ(MergeTrustRecords(fallback, primary).release, std::optional<std::uint64_t>(7)) << "in either order";
    EXPECT_EQ(MergeTrustRecords(fallback, primary).current, b);

    // One went on from b to c: c is trusted, b and the root are refused.
    TrustRecord further = fallback;
    further.current = c;
    Retire(further, b);
    merged = MergeTrustRecords(fallback, further);
    EXPECT_EQ(merged.current, c);
    EXPECT_TRUE(IsRetired(merged, b));
    EXPECT_TRUE(IsRetired(merged, root));
    EXPECT_FALSE(IsRetired(merged, c));

    // A numbered release is never forgotten for an unnumbered record.
    TrustRecord unnumbered = FirstTrust("http://s/", root);
    EXPECT_EQ(MergeTrustRecords(unnumbered, primary).release, std::optional<std::uint64_t>(5));

    std::vector<TrustRecord> list{primary, FirstTrust("http://other/", root)};
    MergeTrustRecordLists(list, {fallback, FirstTrust("http://third/", root)});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].release, std::optional<std::uint64_t>(7));
    EXPECT_EQ(list[2].server, "http://third/");
}

