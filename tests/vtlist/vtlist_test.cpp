// vtlist's checks, list writing and server check, natively and under Wine:
// the launcher's own rules must read back what it writes, and every trap of
// the list format must be found with its line number.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "config/text_lines.h"
#include "launcher/rules/p256_point.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/update_rules.h"
#include "test_server.h"
#include "tools/vtlist/check_server.h"
#include "tools/vtlist/folder_scan.h"
#include "tools/vtlist/http_client.h"
#include "tools/vtlist/list_lint.h"
#include "tools/vtlist/list_make.h"
#include "tools/vtlist/side_check.h"
#include "tools/vtlist/side_make.h"
#include "tools/vtlist/signing.h"

using namespace vt;
using namespace vt::vtlist;
namespace fs = std::filesystem;

namespace {

const double kNow = *launcher::MakeDateValue(2026, 12, 7, 12, 0, 0);

// "line:E" or "line:W" for each problem, in order.
std::vector<std::string> Codes(const std::vector<Problem>& problems) {
    std::vector<std::string> codes;
    for (const Problem& p : problems) codes.push_back(std::to_string(p.line) + (p.severity == Severity::Error ? ":E" : ":W"));
    return codes;
}

std::vector<std::string> LintCodes(const std::string& list) { return Codes(LintPatchList(list, kNow).problems); }

class ScratchFolder {
public:
    ScratchFolder() {
        std::mt19937_64 random(std::random_device{}());
        path_ = fs::temp_directory_path() / ("vtlist-test-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    // `relative` is UTF-8, as vtlist's paths are on every system.
    void Write(const std::string& relative, const std::string& bytes) const {
        const fs::path file = path_ / std::u8string(relative.begin(), relative.end());
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }

private:
    fs::path path_;
};

}  // namespace

TEST(VtlistLint, ACleanListHasNoProblems) {
    EXPECT_TRUE(LintCodes("header\r\nmaps/a.ini\t|DATA/a.ini\t|2008-01-28 14:30\r\nreadme.txt|readme.txt|immer\r\n").empty());
    EXPECT_TRUE(LintCodes("header\r\nreadme.txt|readme.txt|IMMER").empty());  // no line end after the last entry
}

TEST(VtlistLint, EveryTrapIsFoundOnItsLine) {
    EXPECT_EQ(LintCodes("h\na|a|immer\n"), std::vector<std::string>{"1:W"});  // LF only: older launchers see one line
    EXPECT_EQ(LintCodes("h\r\na|a|immer\r\n\r\nb|b|immer\r\n"), std::vector<std::string>{"3:E"});  // blank line
    EXPECT_EQ(LintCodes("h\r\na|a|immer\r\n\r\n"), std::vector<std::string>{"3:E"});               // blank last line
    EXPECT_EQ(LintCodes("h\r\na|a\r\nb|b|immer|x\r\n"), (std::vector<std::string>{"2:E", "3:E"})); // field counts
    EXPECT_EQ(LintCodes("h\r\na|a|2008-01-28\r\nb|b|20080128 1430\r\n"), (std::vector<std::string>{"2:E", "3:E"}));
    EXPECT_EQ(LintCodes("h\r\na|..\\..\\a|immer\r\nb|C:\\b|immer\r\nc|\\\\srv\\c|immer\r\n"),
              (std::vector<std::string>{"2:E", "3:E", "4:E"}));                                  // unsafe local paths
    EXPECT_EQ(LintCodes("h\r\na|a|2031-01-01 00:00\r\n"), std::vector<std::string>{"2:W"});        // future stamp
    EXPECT_EQ(LintCodes("h\r\na|x/A.txt|immer\r\nb|X\\a.txt|immer\r\n"), std::vector<std::string>{"3:W"});  // duplicate
    EXPECT_EQ(LintCodes("h\r\na |a|immer\r\nb| b|immer\r\n"), (std::vector<std::string>{"2:W", "3:W"}));   // spaces at "|"
    EXPECT_EQ(LintCodes("h\r\na|a|immer\nb|b|immer\r\n"), std::vector<std::string>{"1:W"});        // a lone LF inside
    EXPECT_EQ(LintCodes("h\na|a\nb|b|immer\n"), (std::vector<std::string>{"1:W", "2:E"}));  // LF lines are checked too
    EXPECT_EQ(LintCodes("a|a|2008-01-28 14:30\r\nb|b|immer\r\n"), std::vector<std::string>{"1:W"}); // no header
}

TEST(VtlistLint, StartPageNeedsTheMarkerAndNoByteOrderMark) {
    EXPECT_TRUE(LintStartPage("<!-- Vortane Mod Launcher -->\r\n<html>").empty());
    EXPECT_EQ(Codes(LintStartPage("\xEF\xBB\xBF<!-- Vortane Mod Launcher -->")), std::vector<std::string>{"1:E"});
    EXPECT_EQ(Codes(LintStartPage("<html>sign on</html>")), std::vector<std::string>{"1:E"});
}

TEST(VtlistMake, StampsRoundUpToTheMinuteAcrossTheCalendar) {
    EXPECT_EQ(StampFor({"a", 2008, 1, 28, 14, 30, 0}), "2008-01-28 14:30");
    EXPECT_EQ(StampFor({"a", 2008, 1, 28, 14, 30, 1}), "2008-01-28 14:31");
    EXPECT_EQ(StampFor({"a", 2008, 12, 31, 23, 59, 30}), "2009-01-01 00:00");
    EXPECT_EQ(StampFor({"a", 2008, 2, 28, 23, 59, 30}), "2008-02-29 00:00");
}

TEST(VtlistMake, GlobsSkipImmerAndRefusedNames) {
    EXPECT_TRUE(GlobMatch("*.srmmbak", "maps/old.srmmbak"));
    EXPECT_FALSE(GlobMatch("maps/*.ini", "other/a.ini"));
    EXPECT_TRUE(GlobMatch("maps/*.ini", "maps/sub/a.ini"));
    EXPECT_TRUE(GlobMatch("read?e.txt", "docs/readme.txt"));
    MakeOptions options;
    options.header = "release 7";
    options.localPrefix = "..\\DATA\\";
    options.immerGlobs = {"readme.txt"};
    std::vector<std::string> refused;
    const std::string list = MakePatchList({{"z/b.ini", 2008, 1, 28, 14, 30, 0},
                                            {"readme.txt", 2008, 1, 1, 0, 0, 0},
                                            {"a|b.txt", 2008, 1, 1, 0, 0, 0},
                                            {"old.srmmbak", 2008, 1, 1, 0, 0, 0}},
                                           options, refused);
    EXPECT_EQ(list, "release 7\r\nreadme.txt\t|..\\DATA\\readme.txt\t|immer\r\nz/b.ini\t|..\\DATA\\z\\b.ini\t|2008-01-28 14:30\r\n");
    EXPECT_EQ(refused, std::vector<std::string>{"a|b.txt"});
    EXPECT_TRUE(LintPatchList(list, kNow).problems.empty());
}

TEST(VtlistMake, TheLaunchersRulesReadBackEveryLine) {
    ScratchFolder release;
    release.Write("maps/arena.ini", "[arena]");
    release.Write("maps/deep/desert.ini", "[desert]");
    release.Write("readme.txt", "read me");
    release.Write("keep.srmmbak", "backup");
    const auto written = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const char* name : {"maps/arena.ini", "maps/deep/desert.ini", "readme.txt"})
        fs::last_write_time(release.path() / name, written);

    const std::vector<ReleaseFile> files = ScanReleaseFolder(release.path().string()).files;
    ASSERT_EQ(files.size(), 4u);
    std::vector<std::string> refused;
    MakeOptions options;
    options.localPrefix = "..\\DATA\\";
    const std::string list = MakePatchList(files, options, refused);
    const std::vector<std::string> entries = launcher::PatchListEntries(SplitTextLines(list));
    ASSERT_EQ(entries.size(), 3u) << list;
    const char* expected[][2] = {{"maps\\arena.ini", "..\\DATA\\maps\\arena.ini"},
                                 {"maps\\deep\\desert.ini", "..\\DATA\\maps\\deep\\desert.ini"},
                                 {"readme.txt", "..\\DATA\\readme.txt"}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto entry = launcher::SplitPatchEntry(entries[i]);
        ASSERT_TRUE(entry) << entries[i];
        EXPECT_EQ(entry->RemotePath, expected[i][0]);
        EXPECT_EQ(entry->LocalPath, expected[i][1]);
        EXPECT_TRUE(launcher::IsSafeEntry(*entry));
        launcher::DateValue stamp = 0;
        ASSERT_TRUE(launcher::ParseListDate(entry->Stamp, stamp)) << entry->Stamp;
        const auto file = std::find_if(files.begin(), files.end(), [&](const ReleaseFile& f) {
            return "..\\DATA\\" + f.relativePath == entry->LocalPath ||
                   launcher::SplitPatchEntry("x|..\\DATA\\" + f.relativePath + "|x")->LocalPath == entry->LocalPath;
        });
        ASSERT_NE(file, files.end());
        const double writtenAt = *launcher::MakeDateValue(file->year, file->month, file->day, file->hour, file->minute, file->second);
        EXPECT_GE(stamp, writtenAt) << "a player's copy from that moment would be fetched again and again";
        EXPECT_LT(stamp - writtenAt, 1.0 / 1440 + 1e-9) << "the stamp is more than a minute after the file";
    }
}

TEST(VtlistMake, AnUnreadableFolderIsAClearError) {
    EXPECT_THROW(ScanReleaseFolder((fs::temp_directory_path() / "vtlist-no-such-folder").string()), std::runtime_error);
}

class VtlistCheck : public ::testing::Test {
protected:
    VtlistCheck() {
        root.Write("VTupdates/Index.html", "<!-- Vortane Mod Launcher -->\r\n<html></html>\r\n");
        root.Write("VTupdates/update.dat", "h\r\nmaps/a.ini|a.ini|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\n");
        root.Write("VTupdates/maps/a.ini", "a");
        root.Write("VTupdates/b.txt", "b");
    }
    CheckReport Check() {
        CheckOptions options;
        options.webPath = server.BaseUrl() + "/VTupdates/";
        options.jobs = 3;
        return CheckServer(options, kNow);
    }
    ScratchFolder root;
    vt::testing::TestServer server{root.path().string()};
};

TEST_F(VtlistCheck, ACleanServerPasses) {
    const CheckReport report = Check();
    EXPECT_TRUE(report.pageProblems.empty());
    EXPECT_TRUE(report.listProblems.empty()) << report.listProblems[0].text;
    EXPECT_EQ(report.filesChecked, 2);
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/a.ini"), 1) << "the \"\\\" of the list must travel as \"/\"";
}

TEST_F(VtlistCheck, PlantedFaultsAreReportedWithTheirLines) {
    fs::remove(root.path() / "VTupdates/b.txt");
    root.Write("VTupdates/Index.html", "\xEF\xBB\xBF<!-- Vortane Mod Launcher -->\r\n");
    CheckReport report = Check();
    EXPECT_EQ(Codes(report.pageProblems), std::vector<std::string>{"1:E"});
    EXPECT_EQ(Codes(report.listProblems), std::vector<std::string>{"3:E"});
    EXPECT_NE(report.listProblems[0].text.find("404"), std::string::npos) << report.listProblems[0].text;

    root.Write("VTupdates/update.dat", "h\nmaps/a.ini|a.ini|immer\n");  // LF only: read, with a word for older launchers
    report = Check();
    EXPECT_EQ(Codes(report.listProblems), std::vector<std::string>{"1:W"});
    EXPECT_EQ(report.filesChecked, 1);
}

TEST_F(VtlistCheck, AMissingListOrServerIsAnError) {
    fs::remove(root.path() / "VTupdates/update.dat");
    EXPECT_EQ(CountErrors(Check().listProblems), 1);
    CheckOptions options;
    options.webPath = "http://127.0.0.1:1/VTupdates/";
    const CheckReport down = CheckServer(options, kNow);
    EXPECT_EQ(CountErrors(down.pageProblems), 1);
    EXPECT_EQ(CountErrors(down.listProblems), 1);
}

// Keys and signatures: the same format on every system. A signature made by
// Windows' CNG (vtlist.exe under Wine) is verified here and, natively, by
// OpenSSL; the Wine build verifies one made by OpenSSL.
namespace {

launcher::PublicKey PointOf(const std::string& hex) { return *launcher::ParsePublicKey(hex); }
launcher::Signature SignatureOf(const std::string& hex) {
    launcher::Signature signature{};
    EXPECT_TRUE(vt::FromHex(hex, signature.data(), signature.size()));
    return signature;
}

}  // namespace

TEST(VtlistSigning, ASignatureVerifiesAndAnyChangeIsRefused) {
    const auto key = GenerateKeyPair();
    ASSERT_TRUE(key);
    const auto digest = Sha256Of("Vortane release 7\r\n");
    const auto signature = SignDigest(*key, digest);
    ASSERT_TRUE(signature);
    EXPECT_TRUE(VerifyDigest(key->point, digest, *signature));
    auto changed = digest;
    changed[0] ^= 1;
    EXPECT_FALSE(VerifyDigest(key->point, changed, *signature));
    const auto other = GenerateKeyPair();
    ASSERT_TRUE(other);
    EXPECT_NE(other->point, key->point);
    EXPECT_FALSE(VerifyDigest(other->point, digest, *signature));

    const auto back = ParseKeyFile(FormatKeyFile(*key));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->secret, key->secret);
    EXPECT_EQ(back->point, key->point);
    EXPECT_FALSE(ParseKeyFile("VTKEY 2" + FormatKeyFile(*key).substr(7)));
    EXPECT_FALSE(ParseKeyFile(FormatKeyFile(*key) + "x"));
}

// The launcher's own check of PUBLICKEY= agrees with the crypto library on
// keys it made (OpenSSL natively, CNG in vtlist.exe): every one is a point.
TEST(VtlistSigning, EveryGeneratedKeyIsAPointOfTheCurve) {
    for (int i = 0; i < 20; ++i) {
        const auto key = GenerateKeyPair();
        ASSERT_TRUE(key);
        EXPECT_TRUE(vt::launcher::IsP256Point(key->point)) << i;
        auto changed = key->point;
        changed[63] ^= 0x04;
        EXPECT_FALSE(vt::launcher::IsP256Point(changed)) << i;
    }
}

// Fixed vectors: one signature by OpenSSL, one by CNG, over the same digest.
TEST(VtlistSigning, SignaturesOfTheOtherImplementationVerify) {
    const auto digest = Sha256Of("Vortane release 7\r\n");
    EXPECT_TRUE(VerifyDigest(
        PointOf("40c8d9e9dc83fc840c76c94fadf80dc5601b5e08e655b67d4fc4c72b88500ea2d5b5658f5d6f0d0c77c082e600dffc11a67e46763ef304bec1995dc9769ca13d"),
        digest,
        SignatureOf("57f78543daf3c7c44f6dd13c514e823c8d9d3d7109c21f7f1c8929ae9ab9392dc7bc42cdc478a67cb8d024364e9ede37eb8efd05bfe6949e8336ffa52eda8a8e")))
        << "made by OpenSSL";
    // A side file signed by vtlist.exe (CNG, under Wine).
    const std::string side =
        "VTSUMS 1\r\nlist 22 7bd51c6d0359d43acc8614bad4a4e70e054c6ca3101461a1949f006137bfcbd6\r\n"
        "entry 1 3 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad repair\r\n"
        "signature 05447d6d6476cdce848d1aabb95866cb415c8abb2c2173c0b31d9e598aa55e2ab40daa12095319aaf018b6e162c3f46b923d"
        "2443bbb3c165511d16bf0b67f25f\r\n";
    const auto point = PointOf(
        "4658e15c1fe944d686bb5bfee2b63119a24d57ada0c330268f39a695910a398c5782a30bb5de5899835b9cb4c11d4236e31277ef07d06e0abd9cfc6cf092a713");
    EXPECT_TRUE(CheckSideFile("h\r\na.txt|a.txt|immer\r\n", side, point).problems.empty()) << "made by CNG";
    EXPECT_FALSE(CheckSideFile("h\r\na.txt|a.txt|immer\r\n", side, PointOf(std::string(128, '1'))).problems.empty())
        << "not that key";
}

TEST(VtlistSideFile, MakeHashesEveryFileAndSignsAndLintFindsMismatches) {
    ScratchFolder release;
    release.Write("maps/a.ini", "[a]");
    release.Write("b.txt", "bee");
    release.Write("cfg/player.cfg", "mine");
    release.Write("news.htm", "changes daily");
    const std::string list =
        "h\r\nmaps/a.ini|a.ini|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\ncfg/player.cfg|player.cfg|2008-01-28 14:30\r\n"
        "news.htm|news.htm|immer\r\n";
    const auto key = GenerateKeyPair();
    ASSERT_TRUE(key);
    SideOptions options;
    options.keepGlobs = {"cfg/*"};
    options.unhashedGlobs = {"news.htm"};
    std::vector<std::string> problems;
    const std::string side = MakeSideFile(list, release.path().string(), options, &*key, problems);
    ASSERT_TRUE(problems.empty()) << problems[0];
    const auto sums = launcher::ParseSideFile(side);
    ASSERT_TRUE(sums);
    ASSERT_EQ(sums->entries.size(), 3u);
    EXPECT_EQ(sums->entries.at(1).size, 3u);
    EXPECT_EQ(sums->entries.at(1).hash, Sha256Of("[a]"));
    EXPECT_TRUE(sums->entries.at(2).repair);
    EXPECT_FALSE(sums->entries.at(3).repair);
    EXPECT_EQ(sums->entries.count(4), 0u);
    EXPECT_EQ(sums->listHash, Sha256Of(list));

    EXPECT_TRUE(CheckSideFile(list, side, key->point).problems.empty());
    EXPECT_EQ(CountErrors(CheckSideFile(list + "x|x|immer\r\n", side, key->point).problems), 1) << "a line added";
    const auto other = GenerateKeyPair();
    EXPECT_EQ(CountErrors(CheckSideFile(list, side, other->point).problems), 1) << "another key";
    std::string garbled = side;
    garbled[garbled.find("entry 2 ") + 6] = '3';  // entry 3 twice: out of order
    EXPECT_EQ(CountErrors(CheckSideFile(list, garbled, std::nullopt).problems), 1);
    std::string resigned = side;
    resigned.replace(resigned.find(" 3 ") + 1, 1, "4");  // a size changed under the signature
    EXPECT_EQ(CountErrors(CheckSideFile(list, resigned, key->point).problems), 1);

    std::vector<std::string> missing;
    EXPECT_TRUE(MakeSideFile(list + "gone.bin|gone.bin|immer\r\n", release.path().string(), {}, nullptr, missing).empty());
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_NE(missing[0].find("entry 5"), std::string::npos) << missing[0];
}

TEST(VtlistSideFile, BigFilesGetABlockIndexThatTheSideFileNames) {
    ScratchFolder release;
    std::string big(3 * 1024 * 1024 + 5, '\0');
    std::mt19937 random(7);  // no repeats: every block is found only where it is
    for (char& c : big) c = static_cast<char>(random());
    release.Write("maps/big.pak", big);
    release.Write("maps/edge.pak", std::string(4096, 'e'));
    release.Write("small.txt", "small");
    const std::string list = "h\r\nmaps/big.pak|big.pak|immer\r\nmaps/edge.pak|edge.pak|immer\r\nsmall.txt|small.txt|immer\r\n";
    SideOptions options;
    options.blocksFrom = 4096;  // the threshold itself counts
    std::vector<std::string> problems;
    std::vector<BlockIndexFile> indexes;
    const std::string side = MakeSideFile(list, release.path().string(), options, nullptr, problems, nullptr, &indexes);
    ASSERT_TRUE(problems.empty()) << problems[0];
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0].path, release.path().string() + "/maps/big.pak.vtblocks");
    const auto sums = launcher::ParseSideFile(side);
    ASSERT_TRUE(sums);
    ASSERT_TRUE(sums->entries.at(1).blocks);
    EXPECT_EQ(sums->entries.at(1).blocks->size, indexes[0].bytes.size());
    EXPECT_EQ(sums->entries.at(1).blocks->hash, Sha256Of(indexes[0].bytes));
    EXPECT_FALSE(sums->entries.at(3).blocks);
    // The index is the launcher's: it reads back for the file's size, and
    // an old copy with the same bytes shifted needs only its first block.
    const auto index = launcher::ParseBlockIndex(indexes[0].bytes, big.size());
    ASSERT_TRUE(index);
    EXPECT_EQ(index->blockSize, 4096u);
    const std::string old = "inserted" + big.substr(100);
    launcher::BlockFinder finder(*index);
    finder.Feed(reinterpret_cast<const std::uint8_t*>(old.data()), old.size());
    const auto missing = launcher::MissingRanges(*index, finder.Found());
    ASSERT_EQ(missing.size(), 2u);  // the first block and the short last one
    EXPECT_EQ(missing[0].start, 0u);
    EXPECT_EQ(missing[0].end, 4096u);

    options.blocksFrom = std::nullopt;  // none
    indexes.clear();
    EXPECT_EQ(MakeSideFile(list, release.path().string(), options, nullptr, problems, nullptr, &indexes).find("blocks"),
              std::string::npos);
    EXPECT_TRUE(indexes.empty());
}

TEST_F(VtlistCheck, FilesAreComparedWithTheSideFile) {
    const std::string list = "h\r\nmaps/a.ini|a.ini|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\n";
    const auto key = GenerateKeyPair();
    std::vector<std::string> problems;
    root.Write("VTupdates/update.dat.vtsums",
               MakeSideFile(list, (root.path() / "VTupdates").string(), {}, &*key, problems));
    CheckOptions options;
    options.webPath = server.BaseUrl() + "/VTupdates/";
    options.publicKey = key->point;
    CheckReport report = CheckServer(options, kNow);
    EXPECT_TRUE(report.sideFile);
    EXPECT_TRUE(report.sideProblems.empty()) << report.sideProblems[0].text;
    EXPECT_TRUE(report.listProblems.empty()) << report.listProblems[0].text;
    EXPECT_EQ(report.filesHashed, 2);

    root.Write("VTupdates/b.txt", "B");  // same size, changed after signing
    report = CheckServer(options, kNow);
    EXPECT_EQ(Codes(report.listProblems), std::vector<std::string>{"3:E"});
    EXPECT_NE(report.listProblems[0].text.find("SHA-256"), std::string::npos) << report.listProblems[0].text;

    options.publicKey = GenerateKeyPair()->point;
    EXPECT_EQ(CountErrors(CheckServer(options, kNow).sideProblems), 1) << "signed by another key";
}

// Each mirror must serve every hashed file as released, and the block
// indexes the side file names must be there, on WEBPATH= and on mirrors.
TEST_F(VtlistCheck, MirrorsAndBlockIndexesAreCheckedAgainstTheSideFile) {
    const std::string list = "h\r\nmaps/a.ini|a.ini|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\n";
    SideOptions side;
    side.blocksFrom = 1;  // every file gets an index
    std::vector<std::string> problems;
    std::vector<BlockIndexFile> indexes;
    root.Write("VTupdates/update.dat.vtsums",
               MakeSideFile(list, (root.path() / "VTupdates").string(), side, nullptr, problems, nullptr, &indexes));
    ASSERT_EQ(indexes.size(), 2u);
    for (const BlockIndexFile& index : indexes) std::ofstream(index.path, std::ios::binary) << index.bytes;
    ScratchFolder good, bad;
    for (ScratchFolder* mirror : {&good, &bad}) {
        mirror->Write("VTupdates/maps/a.ini", "a");
        mirror->Write("VTupdates/b.txt", "b");
        mirror->Write("VTupdates/maps/a.ini.vtblocks", indexes[0].bytes);
        mirror->Write("VTupdates/b.txt.vtblocks", indexes[1].bytes);
    }
    bad.Write("VTupdates/b.txt", "B");           // not what was released
    bad.Write("VTupdates/maps/a.ini.vtblocks", "old index");
    vt::testing::TestServer goodServer{good.path().string()}, badServer{bad.path().string()};
    CheckOptions options;
    options.webPath = server.BaseUrl() + "/VTupdates/";
    options.mirrors = {goodServer.BaseUrl() + "/VTupdates/", badServer.BaseUrl() + "/VTupdates/"};
    CheckReport report = CheckServer(options, kNow);
    EXPECT_EQ(Codes(report.listProblems), (std::vector<std::string>{"2:W", "3:E"}));
    ASSERT_EQ(report.listProblems.size(), 2u);
    EXPECT_NE(report.listProblems[0].text.find("on the mirror " + badServer.BaseUrl() + "/VTupdates/ its block index is not"),
              std::string::npos) << report.listProblems[0].text;
    EXPECT_NE(report.listProblems[1].text.find("on the mirror " + badServer.BaseUrl()), std::string::npos);
    EXPECT_NE(report.listProblems[1].text.find("players set that mirror aside"), std::string::npos);

    fs::remove(root.path() / "VTupdates/b.txt.vtblocks");  // forgotten on upload
    options.mirrors.clear();
    report = CheckServer(options, kNow);
    EXPECT_EQ(Codes(report.listProblems), std::vector<std::string>{"3:W"});
    EXPECT_NE(report.listProblems[0].text.find("its block index answers HTTP 404: players fetch the file whole"),
              std::string::npos) << report.listProblems[0].text;
}

// Releases the launcher could never settle: one file listed twice with two
// contents (each fetch repairs what the other wrote, on every run).
TEST(VtlistSideFile, OneLocalPathWithTwoContentsIsRefusedAndLintedAsAnError) {
    ScratchFolder root;
    root.Write("a.ini", "one");
    root.Write("b.ini", "two");
    root.Write("c.ini", "one");
    const std::string twoContents = "h\r\na.ini|maps\\x.ini|immer\r\nb.ini|MAPS/X.INI|immer\r\n";
    std::vector<std::string> problems;
    EXPECT_TRUE(MakeSideFile(twoContents, root.path().string(), {}, nullptr, problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("entries 1 and 2 both write"), std::string::npos) << problems[0];

    // The same contents twice, or one of them unhashed, is fine.
    problems.clear();
    const std::string sameContents = "h\r\na.ini|maps\\x.ini|immer\r\nc.ini|maps\\x.ini|immer\r\n";
    const std::string sums = MakeSideFile(sameContents, root.path().string(), {}, nullptr, problems);
    EXPECT_TRUE(problems.empty() && !sums.empty());
    SideOptions unhashed;
    unhashed.unhashedGlobs = {"b.ini"};
    EXPECT_FALSE(MakeSideFile(twoContents, root.path().string(), unhashed, nullptr, problems).empty());

    // A side file made otherwise (by hand, by an older vtlist): lint's error.
    launcher::SideFile forged = *launcher::ParseSideFile(sums);
    forged.listSize = twoContents.size();
    forged.listHash = Sha256Of(twoContents);
    forged.entries[2].hash[0] ^= 1;
    const SideReport report = CheckSideFile(twoContents, launcher::FormatSideFile(forged), std::nullopt);
    ASSERT_EQ(Codes(report.problems), std::vector<std::string>{"0:E"});
    EXPECT_NE(report.problems[0].text.find("entries 1 and 2 both write"), std::string::npos) << report.problems[0].text;
}

TEST(VtlistSideFile, ProgramsTheStarterRunsAreHashedUnlessForced) {
    ScratchFolder root;
    root.Write("game.exe", "MZ");
    root.Write("ambienteA.utf", "MZ");
    root.Write("readme.txt", "read");
    SideOptions options;
    options.unhashedGlobs = {"*"};
    for (const std::string local : {"EXE\\game.exe", "..\\DATA\\AUDIO\\ambienteA.utf"}) {
        const std::string remote = local.find("game") != std::string::npos ? "game.exe" : "ambienteA.utf";
        const std::string list = "h\r\n" + remote + "|" + local + "|immer\r\nreadme.txt|readme.txt|immer\r\n";
        std::vector<std::string> problems, uncovered;
        EXPECT_TRUE(MakeSideFile(list, root.path().string(), options, nullptr, problems, &uncovered).empty()) << local;
        ASSERT_EQ(problems.size(), 1u) << local;
        EXPECT_NE(problems[0].find("is a program the starter runs"), std::string::npos) << problems[0];
        options.forceUnhashed = true;
        problems.clear();
        uncovered.clear();
        EXPECT_FALSE(MakeSideFile(list, root.path().string(), options, nullptr, problems, &uncovered).empty()) << local;
        EXPECT_EQ(uncovered, (std::vector<std::string>{"1 " + remote, "2 readme.txt"}));
        options.forceUnhashed = false;
    }
}

// A file written to while it is hashed: the signature would vouch for bytes
// that no longer exist.
TEST(VtlistSideFile, AFileThatChangesWhileItIsReadIsRefused) {
    ScratchFolder root;
    root.Write("pack.bin", std::string(32 * 1024 * 1024, 'p'));
    std::atomic<bool> done{false};
    std::atomic<int> writes{0};
    std::thread writer([&] {
        std::ofstream out(root.path() / "pack.bin", std::ios::binary | std::ios::app);
        for (int i = 0; i < 200000 && !done; ++i) {
            out << 'x' << std::flush;
            ++writes;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 5000 && writes == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<std::string> problems;
    const std::string sums =
        MakeSideFile("h\r\npack.bin|pack.bin|immer\r\n", root.path().string(), {}, nullptr, problems);
    done = true;
    writer.join();
    EXPECT_TRUE(sums.empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("pack.bin"), std::string::npos) << problems[0];
#ifndef _WIN32
    EXPECT_NE(problems[0].find("changed while it was read"), std::string::npos) << problems[0];
#else
    // Windows does not even let it be read while another program writes it
    // (CNG's reader shares no write access): refused as unreadable.
    EXPECT_TRUE(problems[0].find("changed while it was read") != std::string::npos ||
                problems[0].find("cannot read") != std::string::npos)
        << problems[0];
#endif
}

// `vtlist make .` in a folder that holds the publisher's key, a repository
// and last release's list: none of them is for players.
TEST(VtlistMake, KeysRepositoriesAndItsOwnOutputsAreNeverListed) {
    ScratchFolder release;
    release.Write("maps/arena.ini", "[arena]");
    release.Write("secret/anything.txt", FormatKeyFile(*GenerateKeyPair()));  // a key by its content, not its name
    release.Write("publisher.key.vtrotate", "rotate ...");
    release.Write(".git/config", "[core]");
    release.Write("sub/.svn/entries", "x");
    release.Write("update.dat", "old list");
    release.Write("update.dat.vtsums", "old sums");
    release.Write("other.vtsums", "a file like any other");
    release.Write("maps/big.pak.vtblocks", "an index");
    const std::string out = (release.path() / "update.dat").string();
    const ScanResult scan = ScanReleaseFolder(release.path().string(), {out, out + ".vtsums"});
    std::vector<std::string> listed;
    for (const ReleaseFile& file : scan.files) listed.push_back(file.relativePath);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"maps/arena.ini", "other.vtsums"}));
    std::string leftOut;
    for (const std::string& what : scan.leftOut) leftOut += what + "\n";
    for (const char* name : {"secret/anything.txt (a vtlist key file", ".git/ (version control)", "sub/.svn/",
                             "update.dat (written by this command)", "update.dat.vtsums (written", "publisher.key.vtrotate",
                             "maps/big.pak.vtblocks (a block index"})
        EXPECT_NE(leftOut.find(name), std::string::npos) << name << " in\n" << leftOut;
}

TEST(VtlistLint, AStampMakeRoundedUpIsNotInTheFuture) {
    // kNow is 12:00:00; make writes 12:01 for a file of 12:00:30.
    EXPECT_TRUE(LintCodes("h\r\na|a|2026-12-07 12:01\r\n").empty());
    EXPECT_EQ(LintCodes("h\r\na|a|2026-12-07 12:02\r\n"), std::vector<std::string>{"2:W"});
}

// What publishers paste into --public-key.
TEST(VtlistKeys, APublicKeyArgumentIsTheHexThePastedLineOrTheKeyFile) {
    const KeyPair key = *GenerateKeyPair();
    const std::string hex = launcher::FormatPublicKey(key.point);
    ScratchFolder folder;
    folder.Write("publisher.key", FormatKeyFile(key));
    std::string why;
    for (const std::string& given : {hex, "PUBLICKEY=" + hex, " PUBLICKEY=" + hex + "\r\n",
                                     (folder.path() / "publisher.key").string()}) {
        const auto read = PublicKeyFromArgument(given, why);
        ASSERT_TRUE(read) << given << ": " << why;
        EXPECT_EQ(*read, key.point) << given;
    }
    EXPECT_FALSE(PublicKeyFromArgument(hex.substr(0, 127), why));
    EXPECT_NE(why.find("127 hex digits"), std::string::npos) << why;
    EXPECT_FALSE(PublicKeyFromArgument((folder.path() / "missing.key").string(), why));
    EXPECT_NE(why.find("nor a file that can be read"), std::string::npos) << why;
    folder.Write("list.txt", "not a key");
    EXPECT_FALSE(PublicKeyFromArgument((folder.path() / "list.txt").string(), why));
    EXPECT_NE(why.find("not a key file"), std::string::npos) << why;
    EXPECT_FALSE(PublicKeyFromArgument(std::string(128, '1'), why));  // hex, but no point of the curve
    EXPECT_NE(why.find("not a valid key"), std::string::npos) << why;
}

// Names with blanks and accents: asked for as the launcher asks (encoded),
// with no false "HTTP 400".
TEST_F(VtlistCheck, NamesWithBlanksAndAccentsAreAskedForEncoded) {
    root.Write("VTupdates/maps/for\xC3\xAAt du nord.ini", "[forest]");
    root.Write("VTupdates/update.dat", "h\r\nmaps/for\xC3\xAAt du nord.ini|for\xC3\xAAt du nord.ini|immer\r\n");
    const CheckReport report = Check();
    EXPECT_TRUE(report.listProblems.empty()) << report.listProblems[0].text;
    EXPECT_EQ(report.filesChecked, 1);
    int asked = 0;
    for (const auto& request : server.Requests()) asked += request.target == "/VTupdates/maps/for%C3%AAt%20du%20nord.ini";
    EXPECT_GE(asked, 1);
}

// Windows takes "Übersicht.txt" and "übersicht.TXT" for one file, so two
// contents for them are one local path with two contents, in every script.
TEST(VtlistSideFile, NamesThatDifferOnlyInTheCaseOfAccentedOrCyrillicLettersAreOnePath) {
    ScratchFolder root;
    root.Write("a.txt", "one");
    root.Write("b.txt", "two");
    for (const char* pair : {"\xC3\x9C" "bersicht.txt|\xC3\xBC" "bersicht.TXT", "\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0.txt|\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0.txt"}) {
        const std::string names = pair;
        const std::string first = names.substr(0, names.find('|')), second = names.substr(names.find('|') + 1);
        const std::string list = "h\r\na.txt|" + first + "|immer\r\nb.txt|" + second + "|immer\r\n";
        std::vector<std::string> problems;
        EXPECT_TRUE(MakeSideFile(list, root.path().string(), {}, nullptr, problems).empty()) << first;
        ASSERT_EQ(problems.size(), 1u) << first;
        EXPECT_NE(problems[0].find("entries 1 and 2 both write"), std::string::npos) << problems[0];
        EXPECT_EQ(Codes(LintPatchList(list, kNow).problems), std::vector<std::string>{"3:W"}) << "lint's same-file warning";
    }
}

// A release named in several scripts: make lists it in UTF-8, the side file
// hashes every file by those names, and check finds each one on the server
// by the URL the launcher asks for.
TEST_F(VtlistCheck, MakeAndCheckAgreeOnNamesInEveryScript) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"maps/for\xC3\xAA" "t du nord.ini", "[for\xC3\xAA" "t]"},
        {"\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0/\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.txt", "map"},   // Игра/карта.txt
        {"\xE6\xB8\xB8\xE6\x88\x8F/\xE6\x95\xB0\xE6\x8D\xAE.dat", "data"},                          // 游戏/数据.dat
        {"gra \xC5\x82\xC5\x9B\xC4\x87/\xF0\x9F\x8E\xAE pad.txt", "pad"},                           // gra łść/🎮 pad.txt
    };
    ScratchFolder release;
    for (const auto& [name, bytes] : files) release.Write(name, bytes);
    std::vector<std::string> refused;
    const std::string list = MakePatchList(ScanReleaseFolder(release.path().string()).files, {}, refused);
    EXPECT_TRUE(refused.empty());
    std::vector<std::string> problems;
    const std::string sums = MakeSideFile(list, release.path().string(), {}, nullptr, problems);
    ASSERT_FALSE(sums.empty()) << (problems.empty() ? "" : problems[0]);
    for (const auto& [name, bytes] : files) {
        EXPECT_NE(list.find(name), std::string::npos) << name << " is listed by its UTF-8 bytes";
        root.Write("VTupdates/" + name, bytes);
    }
    root.Write("VTupdates/update.dat", list);
    root.Write("VTupdates/update.dat.vtsums", sums);
    const CheckReport report = Check();
    EXPECT_EQ(CountErrors(report.listProblems), 0);  // the stamps are after the check's fixed "now": warnings
    EXPECT_TRUE(report.sideProblems.empty()) << report.sideProblems[0].text;
    EXPECT_EQ(report.filesChecked, 4);
    EXPECT_EQ(report.filesHashed, 4);
}

// A list saved in a Windows code page works only where players share it.
TEST(VtlistLint, ALineThatIsNotUtf8IsWarnedAbout) {
    EXPECT_EQ(Codes(LintPatchList("h\r\n\xDC" "bersicht.txt|\xDC" "bersicht.txt|immer\r\n", kNow).problems),
              std::vector<std::string>{"2:W"});
    EXPECT_TRUE(LintPatchList("h\r\n\xC3\x9C" "bersicht.txt|\xC3\x9C" "bersicht.txt|immer\r\n", kNow).problems.empty());
}

// Names every launcher would fail on are refused by make, each with its own
// reason, and found by lint with the launcher's rule: devices in any case and
// with any extension, control characters, ":" and "*"; a name Windows folds
// into one listed before it; a name that is not UTF-8.
TEST(VtlistMake, NamesWindowsCannotHaveAreRefusedWithTheReason) {
    std::vector<ReleaseFile> files;
    for (const char* name : {"CON", "maps/nul.txt", "Aux .ini", "com7.dat", "lpt1", "a\x01" "b.txt", "colon:star*.txt",
                             "q?.txt", "ok.txt", "ok.txt.", "OK.TXT ", "for\xEAt.ini", "console.txt", "com0.txt",
                             "nul/inner.txt"})
        files.push_back({name, 2008, 1, 1, 0, 0, 0});
    std::vector<std::string> refused, why;
    const std::string list = MakePatchList(files, {}, refused, &why);
    ASSERT_EQ(refused.size(), why.size());
    std::map<std::string, std::string> reason;
    for (std::size_t i = 0; i < refused.size(); ++i) reason[refused[i]] = why[i];
    for (const char* device : {"CON", "maps/nul.txt", "Aux .ini", "com7.dat", "lpt1", "nul/inner.txt"})
        EXPECT_NE(reason[device].find("is a device on Windows"), std::string::npos) << device << ": " << reason[device];
    EXPECT_NE(reason["a\x01" "b.txt"].find("control character"), std::string::npos);
    EXPECT_NE(reason["colon:star*.txt"].find("\":\", which Windows does not allow"), std::string::npos)
        << reason["colon:star*.txt"];
    EXPECT_NE(reason["q?.txt"].find("\"?\""), std::string::npos);
    EXPECT_NE(reason["ok.txt."].find("the same file as \"OK.TXT \""), std::string::npos) << reason["ok.txt."];
    EXPECT_NE(reason["ok.txt"].find("the same file as"), std::string::npos) << reason["ok.txt"];
    EXPECT_NE(reason["for\xEAt.ini"].find("not UTF-8"), std::string::npos);
    // What Windows can have stays, once: the first of the names it folds.
    const std::vector<std::string> entries = launcher::PatchListEntries(SplitTextLines(list));
    ASSERT_EQ(entries.size(), 3u) << list;
    EXPECT_EQ(entries[0].substr(0, entries[0].find('\t')), "OK.TXT ");
    EXPECT_EQ(entries[1].substr(0, entries[1].find('\t')), "com0.txt");
    EXPECT_EQ(entries[2].substr(0, entries[2].find('\t')), "console.txt");
}

TEST(VtlistLint, NamesWindowsCannotHaveAreErrorsWithTheRightReason) {
    const auto report = LintPatchList("h\r\ncolon:star*.txt|colon:star*.txt|immer\r\nx|nul.txt|immer\r\n"
                                      "a|a.txt|immer\r\nb|A.TXT.|immer\r\nc|..\\..\\x.txt|immer\r\n",
                                      kNow);
    ASSERT_EQ(Codes(report.problems), (std::vector<std::string>{"2:E", "3:E", "5:W", "6:E"}));
    EXPECT_NE(report.problems[0].text.find("\":\", which Windows does not allow"), std::string::npos)
        << report.problems[0].text;
    EXPECT_EQ(report.problems[0].text.find("leaves the mod's folders"), std::string::npos) << report.problems[0].text;
    EXPECT_NE(report.problems[1].text.find("is a device"), std::string::npos) << report.problems[1].text;
    EXPECT_NE(report.problems[2].text.find("also on line 4"), std::string::npos) << report.problems[2].text;
    EXPECT_NE(report.problems[3].text.find("leaves the mod's folders"), std::string::npos) << report.problems[3].text;
}

// A list written in Latin-1 by another tool: check asks for the name as a
// launcher reads the line (in its ANSI code page, 1252, then UTF-8 and
// percent-encoded), not for the raw byte.
TEST_F(VtlistCheck, ANameThatIsNotUtf8IsAskedForAsTheLauncherAsks) {
    root.Write("VTupdates/for\xC3\xAAt.ini", "[forest]");
    root.Write("VTupdates/update.dat", "h\r\nfor\xEAt.ini|for\xEAt.ini|immer\r\n");
    const CheckReport report = Check();
    EXPECT_TRUE(report.listProblems.empty() || report.listProblems[0].severity != Severity::Error)
        << report.listProblems[0].text;
    EXPECT_EQ(server.RequestCount("/VTupdates/for%C3%AAt.ini"), 1);
    EXPECT_EQ(server.RequestCount("/VTupdates/for%EAt.ini"), 0);
}

// check reads an answer no further than it may be: a file no further than
// one byte past the side file's size (streamed through the hash, never held
// whole), a list no further than kMaxKeptBody; an endless answer costs
// nothing. A 404 of a small hashed file is still reported as the 404.
TEST_F(VtlistCheck, AnswersAreReadNoFurtherThanTheyMayBe) {
    const std::string list = "h\r\nmaps/a.ini|a.ini|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\n";
    std::vector<std::string> problems;
    root.Write("VTupdates/update.dat.vtsums", MakeSideFile(list, (root.path() / "VTupdates").string(), {}, nullptr, problems));
    root.Write("VTupdates/b.txt", std::string(20 * 1024 * 1024, 'b'));  // the side file says 1 byte
    CheckReport report = Check();
    ASSERT_EQ(Codes(report.listProblems), std::vector<std::string>{"3:E"});
#ifdef _WIN32
    EXPECT_NE(report.listProblems[0].text.find("is 20971520 bytes, the side file says 1"), std::string::npos)
        << report.listProblems[0].text;
#else
    EXPECT_NE(report.listProblems[0].text.find("is longer than the 1 bytes the side file says"), std::string::npos)
        << report.listProblems[0].text;
#endif

    fs::remove(root.path() / "VTupdates/b.txt");
    report = Check();
    ASSERT_EQ(Codes(report.listProblems), std::vector<std::string>{"3:E"});
    EXPECT_NE(report.listProblems[0].text.find("404"), std::string::npos) << report.listProblems[0].text;

#ifndef _WIN32  // vtlist.exe reads an answer to its end (http_client_wininet.cpp says why)
    root.Write("VTupdates/update.dat", "h\r\n" + std::string(kMaxKeptBody, 'x'));
    report = Check();
    ASSERT_FALSE(report.listProblems.empty());
    EXPECT_NE(report.listProblems[0].text.find("longer than the " + std::to_string(kMaxKeptBody) + " bytes"),
              std::string::npos)
        << report.listProblems[0].text;
#endif
}

#ifndef _WIN32
// What a scan leaves out, it names: a link to a folder (not followed), a
// link that leads nowhere, a pipe.
TEST(VtlistMake, LinksAndPipesAreNamedInTheLeftOutLines) {
    ScratchFolder release, elsewhere;
    release.Write("real.txt", "real");
    elsewhere.Write("secret.txt", "outside the release");
    fs::create_directory_symlink(elsewhere.path(), release.path() / "linked");
    fs::create_symlink(release.path() / "gone.txt", release.path() / "dangling.txt");
    ASSERT_EQ(::mkfifo((release.path() / "pipe").c_str(), 0600), 0);
    const ScanResult scan = ScanReleaseFolder(release.path().string());
    ASSERT_EQ(scan.files.size(), 1u);
    EXPECT_EQ(scan.files[0].relativePath, "real.txt");
    std::string left;
    for (const std::string& what : scan.leftOut) left += what + "\n";
    EXPECT_NE(left.find("linked/ (a link to a folder: not followed"), std::string::npos) << left;
    EXPECT_NE(left.find("dangling.txt (a link that leads nowhere)"), std::string::npos) << left;
    EXPECT_NE(left.find("pipe (not a plain file"), std::string::npos) << left;
}
#endif
