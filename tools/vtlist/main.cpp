// vtlist: writes the patch list from a release folder, and checks a patch list
// or a live update server, for mod publishers. Run "vtlist --help".
#include <chrono>
#include "tools/vtlist/file_path.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include "platform/win/text_codes.h"
#define VT_ISATTY _isatty
#define VT_FILENO _fileno
#else
#include <unistd.h>
#define VT_ISATTY isatty
#define VT_FILENO fileno
#endif

#include "config/text_lines.h"
#include "launcher/rules/http_rules.h"
#include "launcher/rules/release_trust.h"
#include "launcher/rules/side_file.h"
#include "launcher/rules/update_rules.h"
#include "tools/vtlist/check_server.h"
#include "tools/vtlist/folder_scan.h"
#include "tools/vtlist/list_lint.h"
#include "tools/vtlist/list_make.h"
#include "tools/vtlist/private_file.h"
#include "tools/vtlist/side_check.h"
#include "tools/vtlist/side_make.h"
#include "tools/vtlist/signing.h"

namespace {

constexpr char kRotateSuffix[] = ".vtrotate";  // beside the new key file: its change statements

constexpr const char* kUsage =
    "usage: vtlist make FOLDER [--local-prefix PREFIX] [--header TEXT] [--immer GLOB]... [--skip GLOB]... [--dry-run]\n"
    "                   [--keep GLOB]... [--unhashed GLOB]... [--force] [--sign KEYFILE]\n"
    "                   [--release N|none] [--expires DAYS] [--blocks-from BYTES|none] -o FILE\n"
    "       vtlist sign LIST --root FOLDER --key KEYFILE [--keep GLOB]... [--unhashed GLOB]... [--force]\n"
    "                   [--release N|none] [--expires DAYS] [--blocks-from BYTES|none]\n"
    "       vtlist keygen KEYFILE\n"
    "       vtlist rotate OLDKEYFILE NEWKEYFILE\n"
    "       vtlist pubkey KEYFILE\n"
    "       vtlist check WEBPATH [--page NAME] [--list NAME] [--jobs N] [--public-key KEY] [--cacert FILE]\n"
    "                    [--mirror URL]...\n"
    "       vtlist lint FILE [--public-key KEY]\n"
    "       vtlist COMMAND --help\n";

constexpr const char* kMakeHelp =
    "vtlist make FOLDER: writes the patch list for every file below FOLDER.\n"
    "  One entry per file, sorted by path: the server path with \"/\", the local\n"
    "  path PREFIX + the same path with \"\\\", and the stamp YYYY-MM-DD HH:MM from\n"
    "  the file's last-write time in this machine's local time. CR LF line ends,\n"
    "  a header line, no blank last line.\n"
    "  Stamps have minute resolution: the launcher fetches a file when a player's\n"
    "  copy was last written before the stamp. vtlist rounds a time with seconds\n"
    "  up to the next minute, so a player's copy from earlier in that minute is\n"
    "  still fetched; a copy fetched before that minute is over is fetched once\n"
    "  more. Keep the release's file times as they are when copying it to the\n"
    "  server (cp -p, rsync -t), and make the list in the players' time zone.\n"
    "  --local-prefix PREFIX  put before each local path (for example ..\\DATA\\)\n"
    "  --header TEXT          the first line (never read by the launcher)\n"
    "  --immer GLOB           files fetched on every run (repeatable; * and ?,\n"
    "                         a pattern without / matches the file name)\n"
    "  --skip GLOB            files left out (repeatable; default *.srmmbak)\n"
    "  -o FILE                write to FILE instead of standard output; the side\n"
    "                         file FILE.vtsums is written beside it\n"
    "  --keep GLOB            files players may change: the launcher never repairs\n"
    "                         them (repeatable)\n"
    "  --unhashed GLOB        files left out of the side file: the date rule alone\n"
    "                         decides (repeatable; for files changed on the server\n"
    "                         between releases)\n"
    "  --force                also leave out programs the starter runs (*.exe and\n"
    "                         the default game and launcher files), which --unhashed\n"
    "                         otherwise refuses\n"
    "  --dry-run              print the entries that would be listed; write nothing\n"
    "  Never listed: vtlist key files (by their content), .vtrotate statements,\n"
    "  .git, .svn and .hg folders, block indexes (.vtblocks), and the list and\n"
    "  side file being written.\n"
    "  --sign KEYFILE         sign the side file with the key from vtlist keygen\n"
    "                         (and carry KEYFILE.vtrotate, see vtlist rotate)\n"
    "  --release N|none       the release number launchers compare (default: the\n"
    "                         time of signing in UTC seconds; it must only grow);\n"
    "                         none: no number, for launchers older than release\n"
    "                         numbers, until every player has a newer one\n"
    "  --expires DAYS         launchers refuse the side file DAYS after signing\n"
    "                         (so a server frozen on an old release is noticed);\n"
    "                         sign again before then. Default: never\n"
    "  --blocks-from BYTES|none  files of at least BYTES (default 1048576) get a\n"
    "                         block index FILE.vtblocks beside them, named in the\n"
    "                         side file, so launchers with an older copy fetch only\n"
    "                         the changed parts; upload it with the file. none: no\n"
    "                         index (for launchers older than block indexes)\n"
    "  It prints the entries no hash covers: the signature does not vouch for them.\n"
    "  Names with \"|\" or a tab cannot be in a list, nor names Windows cannot\n"
    "  have (CON, nul.txt, COM1, ...): they are refused by name, and then nothing\n"
    "  is written (exit status 1).\n"
    "  --leave-out-refused     write the list without the names refused (still\n"
    "                         exit status 1)\n";

constexpr const char* kSignHelp =
    "vtlist sign LIST --root FOLDER --key KEYFILE: writes LIST.vtsums for an\n"
    "  existing (also hand-written) list: the list's SHA-256, and each entry's\n"
    "  file, found below FOLDER by its server path, signed with KEYFILE.\n"
    "  --keep, --unhashed, --force, --release, --expires and --blocks-from as for\n"
    "  make (block indexes are written beside the files below FOLDER); the key\n"
    "  file's KEYFILE.vtrotate is carried as there. Run it again after any change\n"
    "  to the list or a file.\n";

constexpr const char* kPubkeyHelp =
    "vtlist pubkey KEYFILE: prints the PUBLICKEY= line of a key file again, for\n"
    "  UPDATE.CFG and for --public-key.\n";

constexpr const char* kRotateHelp =
    "vtlist rotate OLDKEYFILE NEWKEYFILE: hands the release over to a new key.\n"
    "  Writes NEWKEYFILE.vtrotate: the statement \"OLDKEY hands over to NEWKEY\",\n"
    "  signed by the old key (after the old key's own statements, so a player who\n"
    "  skipped several changes follows them all). make --sign NEWKEYFILE and sign\n"
    "  --key NEWKEYFILE carry it in the side file: a launcher that trusts the old\n"
    "  key accepts the new one, and refuses the old key from then on, for good: a\n"
    "  key retired before is refused as NEWKEYFILE. UPDATE.CFG's PUBLICKEY= stays\n"
    "  as it is; new installs may get the new key's line.\n";

constexpr const char* kKeygenHelp =
    "vtlist keygen KEYFILE: makes a new ECDSA P-256 key, writes it to KEYFILE\n"
    "  (never over an existing file) and prints the line for UPDATE.CFG:\n"
    "  PUBLICKEY=... Keep KEYFILE offline, never on the update server: whoever\n"
    "  holds it can release files to every player.\n";

constexpr const char* kCheckHelp =
    "vtlist check WEBPATH: checks a live update server as the launcher sees it.\n"
    "  Fetches WEBPATH + the start page and WEBPATH + the list without cache,\n"
    "  reports every problem with its line number (see vtlist lint --help), and\n"
    "  asks for every entry's file (HEAD, or a one-byte GET where HEAD is\n"
    "  refused). http:// and https://, with redirects and the proxies of\n"
    "  http_proxy/https_proxy (vtlist.exe: the system's, as the launcher).\n"
    "  File URLs are encoded as the launcher encodes them (a space is %20).\n"
    "  --page NAME   the start page (default Index.html)\n"
    "  --list NAME   the patch list (default update.dat)\n"
    "  --jobs N      files checked at a time (1 to 64, default 8)\n"
    "  --public-key KEY  the key players have in PUBLICKEY=: the side file must\n"
    "                be signed by it. KEY is the 128 hex digits, the whole\n"
    "                PUBLICKEY=... line, or the key file itself\n"
    "  --cacert FILE a certificate authority (PEM) to trust besides the\n"
    "                system's, for a test server (not in vtlist.exe, which\n"
    "                trusts what Windows trusts)\n"
    "  --mirror URL  a base URL of the players' MIRRORS= (repeatable): every\n"
    "                file the side file vouches for must be there as released\n"
    "  Files the side file vouches for are fetched whole and compared, and\n"
    "  their block indexes (.vtblocks) where it names them.\n"
    "  A missing side file is a warning (an error with --public-key).\n"
    "  Exit status: 0 when no player would see an error, 1 otherwise, 2 for bad\n"
    "  arguments.\n";

constexpr const char* kLintHelp =
    "vtlist lint FILE: the list checks of vtlist check on a local file.\n"
    "  Errors (exit status 1): blank lines and a blank last line (E4), a field count other\n"
    "  than three (E4), a local path the launcher refuses (E4), a stamp it\n"
    "  cannot read (the file is never fetched).\n"
    "  Warnings: lines that end in LF alone (older launchers read such a list as\n"
    "  one line), stamps in the future, duplicate local paths, spaces at the\n"
    "  edge of a path, a header line that looks like an entry, a byte-order\n"
    "  mark in the header.\n"
    "  With FILE.vtsums beside it: the side file must read, match the list (one\n"
    "  local path listed twice with different contents is an error), and, given\n"
    "  --public-key, carry a valid signature by that key.\n"
    "  --public-key KEY  as for check: the 128 hex digits, the PUBLICKEY= line,\n"
    "                    or the key file\n";

int Usage() {
    std::cerr << kUsage;
    return 2;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return true;
    return false;
}

void Print(const std::string& file, const std::vector<vt::vtlist::Problem>& problems) {
    for (const auto& p : problems)
        std::cout << file << (p.line ? ":" + std::to_string(p.line) : std::string()) << ": "
                  << (p.severity == vt::vtlist::Severity::Error ? "error: " : "warning: ") << p.text << "\n";
}

int Summary(int errors, int warnings) {
    std::cout << errors << " error(s), " << warnings << " warning(s)\n";
    return errors ? 1 : 0;
}

std::optional<std::string> ReadFile(const std::string& path, bool complain = true) {
    std::ifstream in(vt::vtlist::FsPath(path), std::ios::binary);
    if (!in) {
        if (complain) std::cerr << "vtlist: cannot read " << path << "\n";
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Why a list or side file of `bytes` is one no launcher takes (it fails the
// fetch with E1 at the launcher's cap), or nothing.
std::optional<std::string> OverTheCap(std::uint64_t bytes, bool sideFile) {
    const std::uint64_t cap = sideFile ? vt::launcher::kMaxSideFileBytes : vt::launcher::kMaxListBytes;
    if (bytes <= cap) return std::nullopt;
    return std::to_string(bytes) + " bytes, over the " + std::to_string(cap) +
           " bytes every launcher takes: every player's update ends with E1";
}

// A side file just made, within the launcher's cap; else says so.
bool SideFileFits(const std::string& sums) {
    const std::optional<std::string> over = OverTheCap(sums.size(), true);
    if (over) std::cerr << "vtlist: the side file would be " << *over << ": nothing was written\n";
    return !over;
}

// A list or side file read whole, after its size: one over the launcher's
// cap is never read (`over` says why), so memory stays within the cap.
std::optional<std::string> ReadWithinCap(const std::string& path, bool sideFile, std::optional<std::string>& over,
                                         bool complain = true) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(vt::vtlist::FsPath(path), error);
    if (!error && (over = OverTheCap(size, sideFile))) return std::nullopt;
    return ReadFile(path, complain);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(vt::vtlist::FsPath(path), std::ios::binary);
    out << bytes;
    out.close();
    if (!out) std::cerr << "vtlist: cannot write " << path << "\n";
    return static_cast<bool>(out);
}

// The block indexes a side file names, written before it: a side file never
// names an index that is not there yet.
bool WriteBlockIndexes(const std::vector<vt::vtlist::BlockIndexFile>& indexes) {
    for (const vt::vtlist::BlockIndexFile& index : indexes)
        if (!WriteFile(index.path, index.bytes)) return false;
    if (!indexes.empty())
        std::cerr << "vtlist: wrote " << indexes.size() << " block index(es) beside the big files (.vtblocks): upload them too\n";
    return true;
}

std::optional<vt::vtlist::KeyPair> ReadKey(const std::string& path) {
    const std::optional<std::string> text = ReadFile(path);
    if (!text) return std::nullopt;
    std::optional<vt::vtlist::KeyPair> key = vt::vtlist::ParseKeyFile(*text);
    if (!key) std::cerr << "vtlist: " << path << " is not a key written by vtlist keygen\n";
    return key;
}

// "--release N|none", "--expires DAYS" and "--blocks-from BYTES|none": true
// when `arg` was one of them.
bool ReleaseOption(const std::string& arg, const std::string& value, vt::vtlist::SideOptions& side, bool& ok,
                   bool& unnumbered, std::optional<std::uint64_t>& expiresDays) {
    if (arg == "--release") {
        unnumbered = value == "none";
        const auto number = vt::CanonicalDecimal(value);
        if (!unnumbered && !number) {
            std::cerr << "vtlist: --release takes a whole number or \"none\", not \"" << value << "\"\n";
            ok = false;
        }
        side.release = number;
        return true;
    }
    if (arg == "--blocks-from") {
        const auto bytes = vt::CanonicalDecimal(value);
        if (value != "none" && (!bytes || *bytes == 0)) {
            std::cerr << "vtlist: --blocks-from takes a size in bytes (at least 1) or \"none\", not \"" << value << "\"\n";
            ok = false;
        }
        side.blocksFrom = bytes;
        return true;
    }
    if (arg == "--expires") {
        expiresDays = vt::CanonicalDecimal(value);
        if (!expiresDays || *expiresDays == 0 || *expiresDays > 36500) {
            std::cerr << "vtlist: --expires takes a number of days from 1 to 36500, not \"" << value << "\"\n";
            ok = false;
        }
        return true;
    }
    return false;
}

std::uint64_t NowUtcSeconds() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

// What a signed side file carries besides the hashes: the release number
// (the time of signing unless given), the end of its life, and the key's
// change statements (KEYFILE.vtrotate). False when they cannot be read.
bool ForSigning(const std::string& keyFile, bool unnumbered, std::optional<std::uint64_t> expiresDays,
                vt::vtlist::SideOptions& side) {
    const std::uint64_t now = NowUtcSeconds();
    if (!side.release && !unnumbered) side.release = now;
    if (expiresDays) side.validity = vt::launcher::Validity{now, now + *expiresDays * 86400};
    const std::optional<std::string> statements = ReadFile(keyFile + kRotateSuffix, false);
    if (!statements) return true;
    for (const std::string& line : vt::SplitTextLines(*statements)) {
        const auto change = vt::launcher::ParseKeyChangeLine(line);
        if (!change) {
            std::cerr << "vtlist: " << keyFile << kRotateSuffix << " is not a statement written by vtlist rotate\n";
            return false;
        }
        side.keyChanges.push_back(*change);
    }
    return true;
}

// After a side file is written: what it says, and what it does not cover.
void SideSummary(const std::string& path, const vt::vtlist::SideOptions& side, const std::vector<std::string>& uncovered,
                 const vt::vtlist::KeyPair* key, const std::string& sums) {
    const auto read = vt::launcher::ParseSideFile(sums);
    std::size_t keep = 0;
    if (read)
        for (const auto& entry : read->entries) keep += !entry.second.repair;
    std::cout << "wrote " << path << ": " << (read ? read->entries.size() : 0) << " hashed (" << keep << " keep), "
              << uncovered.size() << " unhashed";
    if (key) {
        std::cout << "; signed by key " << vt::launcher::FormatPublicKey(key->point).substr(0, 16) << "..., release "
                  << (side.release ? std::to_string(*side.release) : std::string("not numbered"));
        if (side.validity) std::cout << ", expires " << vt::launcher::UtcText(side.validity->until);
        if (!side.keyChanges.empty()) std::cout << ", " << side.keyChanges.size() << " key change(s)";
    } else {
        std::cout << "; not signed";
    }
    std::cout << "\n";
    if (!uncovered.empty()) {
        std::cout << uncovered.size() << " entr" << (uncovered.size() == 1 ? "y is" : "ies are")
                  << " not covered by a hash (installed unchecked, the signature does not vouch for them):\n";
        for (const std::string& entry : uncovered) std::cout << "  " << entry << "\n";
    }
}

std::uint64_t ListedBytes(const std::string& folder, const std::vector<vt::vtlist::ReleaseFile>& files) {
    std::uint64_t bytes = 0;
    for (const auto& file : files) {
        if (const auto state = vt::vtlist::FileStateOf(folder + "/" + file.relativePath)) bytes += state->size;
    }
    return bytes;
}

// A wrong argument: what was wrong, and exit status 2.
int Fail2(const std::string& why) {
    std::cerr << "vtlist: " << why << "\n";
    return 2;
}

struct MakeArguments {
    vt::vtlist::MakeOptions options;
    vt::vtlist::SideOptions side;
    std::string output;
    std::string keyFile;
    bool unnumbered = false;
    bool dryRun = false;
    bool leaveOutRefused = false;  // write the list without the names refused
    std::optional<std::uint64_t> expiresDays;
};

// The options after "make FOLDER"; an exit status when they are wrong.
std::optional<int> ReadMakeArguments(int argc, char** argv, MakeArguments& args) {
    bool skipGiven = false, ok = true;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--force" || arg == "--dry-run" || arg == "--leave-out-refused") {
            (arg == "--force" ? args.side.forceUnhashed : arg == "--dry-run" ? args.dryRun : args.leaveOutRefused) = true;
            continue;
        }
        if (i + 1 >= argc) return Fail2(arg + " needs a value");
        const std::string value = argv[++i];
        if (ReleaseOption(arg, value, args.side, ok, args.unnumbered, args.expiresDays)) continue;
        if (arg == "--local-prefix") args.options.localPrefix = value;
        else if (arg == "--header") args.options.header = value;
        else if (arg == "--immer") args.options.immerGlobs.push_back(value);
        else if (arg == "--skip") {
            if (!skipGiven) args.options.skipGlobs.clear();
            skipGiven = true;
            args.options.skipGlobs.push_back(value);
        } else if (arg == "-o") args.output = value;
        else if (arg == "--keep") args.side.keepGlobs.push_back(value);
        else if (arg == "--unhashed") args.side.unhashedGlobs.push_back(value);
        else if (arg == "--sign") args.keyFile = value;
        else return Fail2("make does not know the option " + arg + " (vtlist make --help lists them)");
    }
    if (!ok) return 2;
    const bool wantsSideFile = !args.keyFile.empty() || !args.side.keepGlobs.empty() || !args.side.unhashedGlobs.empty();
    if (args.output.empty() && wantsSideFile && !args.dryRun)
        return Fail2("--sign, --keep and --unhashed make a side file, which needs -o FILE: nothing was written");
    return std::nullopt;
}

// The list of `folder`, said aloud where names were refused or left out.
// Nothing when the folder cannot be read.
std::optional<std::string> ListRelease(const std::string& folder, const MakeArguments& args,
                                       vt::vtlist::ScanResult& scan, std::vector<std::string>& refused) {
    std::vector<std::string> why;
    std::string list;
    try {
        const std::vector<std::string> outputs =
            args.output.empty() ? std::vector<std::string>{}
                                : std::vector<std::string>{args.output, vt::vtlist::SideFilePathFor(args.output)};
        scan = vt::vtlist::ScanReleaseFolder(folder, outputs);
        list = vt::vtlist::MakePatchList(scan.files, args.options, refused, &why);
    } catch (const std::exception& e) {
        std::cerr << "vtlist: " << e.what() << "\n";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < refused.size(); ++i)
        std::cerr << "vtlist: refused \"" << refused[i] << "\": " << why[i] << "\n";
    for (const std::string& what : scan.leftOut) std::cerr << "vtlist: left out " << what << "\n";
    // What was refused is no part of the release: never opened for its size.
    std::vector<vt::vtlist::ReleaseFile>& files = scan.files;
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const vt::vtlist::ReleaseFile& f) {
                                   return std::find(refused.begin(), refused.end(), f.relativePath) != refused.end();
                               }),
                files.end());
    return list;
}

// The list and its side file written beside it (the side file made first:
// when it cannot be made, no list without it is left). The exit status.
int WriteRelease(const std::string& folder, const MakeArguments& args, const std::string& list, std::size_t entries,
                 const vt::vtlist::ScanResult& scan, const vt::vtlist::KeyPair* key) {
    std::vector<std::string> problems, uncovered;
    std::vector<vt::vtlist::BlockIndexFile> indexes;
    const std::string sums = vt::vtlist::MakeSideFile(list, folder, args.side, key, problems, &uncovered, &indexes);
    for (const std::string& problem : problems) std::cerr << "vtlist: " << problem << "\n";
    if (!SideFileFits(sums)) return 1;
    if (sums.empty()) {
        std::cerr << "vtlist: nothing was written\n";
        return 1;
    }
    if (!WriteBlockIndexes(indexes) || !WriteFile(args.output, list) ||
        !WriteFile(vt::vtlist::SideFilePathFor(args.output), sums))
        return 1;
    std::cout << "wrote " << args.output << ": " << entries << " file(s), " << ListedBytes(folder, scan.files)
              << " bytes\n";
    SideSummary(vt::vtlist::SideFilePathFor(args.output), args.side, uncovered, key, sums);
    return 0;
}

int Make(int argc, char** argv) {
    if (argc < 3) return Fail2("make needs the release folder (vtlist make --help)");
    MakeArguments args;
    if (const std::optional<int> wrong = ReadMakeArguments(argc, argv, args)) return *wrong;
    std::optional<vt::vtlist::KeyPair> key;
    if (!args.keyFile.empty() && (!(key = ReadKey(args.keyFile)) ||
                                  !ForSigning(args.keyFile, args.unnumbered, args.expiresDays, args.side)))
        return 1;
    vt::vtlist::ScanResult scan;
    std::vector<std::string> refused;
    const std::optional<std::string> list = ListRelease(argv[2], args, scan, refused);
    if (!list) return 1;
    if (const std::optional<std::string> over = OverTheCap(list->size(), false)) {
        std::cerr << "vtlist: the list would be " << *over << ": nothing was written. Split the release, or "
                  << "--skip what players do not need\n";
        return 1;
    }
    const std::vector<std::string> entries = vt::launcher::PatchListEntries(vt::SplitTextLines(*list));
    if (entries.empty()) {
        std::cerr << "vtlist: no file to list below " << argv[2]
                  << " (the folder is empty, or --skip and the rules above left everything out): nothing was written\n";
        return 1;
    }
    // A release without some of its files is no release: a script that
    // misses the exit status would upload it. Nothing is written unless the
    // publisher asks for the list without them.
    if (!refused.empty() && !args.leaveOutRefused && !args.dryRun) {
        std::cerr << "vtlist: " << refused.size()
                  << " name(s) refused: nothing was written. Rename them, --skip them, or give "
                     "--leave-out-refused to write the list without them\n";
        return 1;
    }
    const int listed = refused.empty() ? 0 : 1;
    if (args.dryRun) {
        std::cout << list->substr(list->find('\n') + 1);  // the entries, without the header
        std::cerr << "vtlist: " << entries.size() << " file(s) would be listed; nothing was written (--dry-run)\n";
        return listed;
    }
    if (args.output.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // CR LF as written, not CR CR LF
#endif
        std::fwrite(list->data(), 1, list->size(), stdout);
        std::cerr << "vtlist: listed " << entries.size() << " file(s)\n";
        return listed;
    }
    const int written = WriteRelease(argv[2], args, *list, entries.size(), scan, key ? &*key : nullptr);
    return written != 0 ? written : listed;
}

int Sign(int argc, char** argv) {
    if (argc < 3) return Fail2("sign needs the list file (vtlist sign --help)");
    std::string root, keyFile;
    vt::vtlist::SideOptions side;
    bool ok = true, unnumbered = false;
    std::optional<std::uint64_t> expiresDays;
    for (int i = 3; i < argc; i += 2) {
        if (std::string(argv[i]) == "--force") {
            side.forceUnhashed = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) return Fail2(std::string(argv[i]) + " needs a value");
        const std::string arg = argv[i], value = argv[i + 1];
        if (ReleaseOption(arg, value, side, ok, unnumbered, expiresDays)) continue;
        if (arg == "--root") root = value;
        else if (arg == "--key") keyFile = value;
        else if (arg == "--keep") side.keepGlobs.push_back(value);
        else if (arg == "--unhashed") side.unhashedGlobs.push_back(value);
        else return Fail2("sign does not know the option " + arg + " (vtlist sign --help lists them)");
    }
    if (root.empty() || keyFile.empty()) return Fail2(root.empty() ? "sign needs --root FOLDER, the release the list names" : "sign needs --key KEYFILE");
    if (!ok) return 2;
    const std::optional<vt::vtlist::KeyPair> key = ReadKey(keyFile);
    std::optional<std::string> over;
    std::optional<std::string> list = ReadWithinCap(argv[2], false, over);
    if (over) std::cerr << "vtlist: " << argv[2] << " is " << *over << ": nothing was written\n";
    if (!key || !list || !ForSigning(keyFile, unnumbered, expiresDays, side)) return 1;
    std::vector<std::string> problems, uncovered;
    std::vector<vt::vtlist::BlockIndexFile> indexes;
    const std::string sums = vt::vtlist::MakeSideFile(*list, root, side, &*key, problems, &uncovered, &indexes);
    for (const std::string& problem : problems) std::cerr << "vtlist: " << problem << "\n";
    if (!SideFileFits(sums)) return 1;
    if (sums.empty() || !WriteBlockIndexes(indexes) || !WriteFile(vt::vtlist::SideFilePathFor(argv[2]), sums)) return 1;
    SideSummary(vt::vtlist::SideFilePathFor(argv[2]), side, uncovered, &*key, sums);
    return 0;
}

int Pubkey(int argc, char** argv) {
    if (argc != 3) return Fail2("pubkey takes one key file (vtlist pubkey --help)");
    const std::optional<vt::vtlist::KeyPair> key = ReadKey(argv[2]);
    if (!key) return 1;
    std::cout << "PUBLICKEY=" << vt::launcher::FormatPublicKey(key->point) << "\n";
    return 0;
}

int Rotate(int argc, char** argv) {
    if (argc != 4) return Fail2("rotate takes the old key file and the new key file (vtlist rotate --help)");
    const std::optional<vt::vtlist::KeyPair> from = ReadKey(argv[2]);
    const std::optional<vt::vtlist::KeyPair> to = ReadKey(argv[3]);
    if (!from || !to) return 1;
    if (from->point == to->point) {
        std::cerr << "vtlist: the two key files hold the same key\n";
        return 1;
    }
    // The old key's own statements first: the chain from the first key on.
    std::string statements = ReadFile(std::string(argv[2]) + kRotateSuffix, false).value_or("");
    // A launcher that followed a change away from a key never trusts it
    // again (else a stolen old key would come back by an old statement): a
    // change back to one would leave every such player without updates.
    for (const std::string& line : vt::SplitTextLines(statements)) {
        const auto change = vt::launcher::ParseKeyChangeLine(line);
        if (change && change->from == to->point) {
            std::cerr << "vtlist: the key in " << argv[3] << " was retired before (it handed over to "
                      << vt::launcher::FormatPublicKey(change->to).substr(0, 16)
                      << "...): launchers that followed that change never trust it again. Make a new key "
                         "(vtlist keygen) and rotate to that one; nothing was written\n";
            return 1;
        }
    }
    const auto signature =
        vt::vtlist::SignDigest(*from, vt::vtlist::Sha256Of(vt::launcher::KeyChangeMessage(from->point, to->point)));
    if (!signature) {
        std::cerr << "vtlist: the statement could not be signed\n";
        return 1;
    }
    statements += vt::launcher::FormatKeyChangeLine({from->point, to->point, *signature});
    const std::string path = std::string(argv[3]) + kRotateSuffix;
    if (!WriteFile(path, statements)) return 1;
    std::cout << "wrote " << path << ": sign the next release with " << argv[3]
              << "; launchers that trust the old key follow it\n"
              << "PUBLICKEY=" << vt::launcher::FormatPublicKey(to->point) << "  (for new installs' UPDATE.CFG)\n";
    return 0;
}

int Keygen(int argc, char** argv) {
    if (argc != 3) return Fail2("keygen takes one file name, where the new key goes (vtlist keygen --help)");
    const std::optional<vt::vtlist::KeyPair> key = vt::vtlist::GenerateKeyPair();
    if (!key) {
        std::cerr << "vtlist: no key could be made\n";
        return 1;
    }
    std::string why;
    switch (vt::vtlist::CreatePrivateFile(argv[2], vt::vtlist::FormatKeyFile(*key), why)) {
        case vt::vtlist::PrivateFileResult::Written: break;
        case vt::vtlist::PrivateFileResult::Exists:
            std::cerr << "vtlist: " << argv[2] << " exists; a key file is never overwritten, no key was written\n";
            return 1;
        case vt::vtlist::PrivateFileResult::Failed:
            std::cerr << "vtlist: " << argv[2] << " cannot be made: " << why << "\n";
            return 1;
    }
    std::cout << "PUBLICKEY=" << vt::launcher::FormatPublicKey(key->point) << "\n";
    return 0;
}

int Lint(int argc, char** argv) {
    std::optional<vt::launcher::PublicKey> publicKey;
    if (argc == 5 && std::string(argv[3]) == "--public-key") {
        std::string why;
        if (!(publicKey = vt::vtlist::PublicKeyFromArgument(argv[4], why))) return Fail2("--public-key: " + why);
    } else if (argc != 3) {
        return argc < 3 ? Fail2("lint needs the list's file name (vtlist lint --help)")
                        : Fail2("lint takes a file and at most --public-key KEY (vtlist lint --help)");
    }
    std::optional<std::string> over;
    const std::optional<std::string> bytes = ReadWithinCap(argv[2], false, over, false);
    if (over) {
        Print(argv[2], {{0, vt::vtlist::Severity::Error, "the list is " + *over}});
        return Summary(1, 0);
    }
    if (!bytes) {
        std::cerr << "vtlist: cannot read " << argv[2] << "\n";
        return 2;
    }
    auto report = vt::vtlist::LintPatchList(*bytes, vt::vtlist::NowAsDateValue(), false);
    Print(argv[2], report.problems);
    int errors = vt::vtlist::CountErrors(report.problems), warnings = static_cast<int>(report.problems.size()) - errors;
    report = {};  // what the side file's check needs is the list's bytes alone
    const std::string sidePath = vt::vtlist::SideFilePathFor(argv[2]);
    std::optional<std::string> sideOver;
    const std::optional<std::string> side = ReadWithinCap(sidePath, true, sideOver, false);
    if (sideOver) {
        Print(sidePath, {{0, vt::vtlist::Severity::Error, "the side file is " + *sideOver}});
        ++errors;
    } else if (side) {
        const auto checked = vt::vtlist::CheckSideFile(*bytes, *side, publicKey);
        Print(sidePath, checked.problems);
        const int sideErrors = vt::vtlist::CountErrors(checked.problems);
        errors += sideErrors;
        warnings += static_cast<int>(checked.problems.size()) - sideErrors;
    } else if (publicKey) {
        Print(sidePath, {{0, vt::vtlist::Severity::Error, "missing: players with PUBLICKEY= get E1"}});
        ++errors;
    }
    return Summary(errors, warnings);
}

int Check(int argc, char** argv) {
    if (argc < 3) return Fail2("check needs the server's WEBPATH (vtlist check --help)");
    vt::vtlist::CheckOptions options;
    options.webPath = argv[2];
    if (options.webPath.back() != '/') return Fail2("WEBPATH must end in \"/\", as in UPDATE.CFG");
    for (int i = 3; i < argc; i += 2) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Fail2(arg + " needs a value");
        const std::string value = argv[i + 1];
        if (arg == "--page") options.page = value;
        else if (arg == "--list") options.list = value;
        else if (arg == "--jobs") {
            const auto jobs = vt::CanonicalDecimal(value);
            if (!jobs || *jobs < 1 || *jobs > 64) return Fail2("--jobs takes a number from 1 to 64, not \"" + value + "\"");
            options.jobs = static_cast<int>(*jobs);
        } else if (arg == "--public-key") {
            std::string why;
            if (!(options.publicKey = vt::vtlist::PublicKeyFromArgument(value, why))) return Fail2("--public-key: " + why);
        } else if (arg == "--cacert") {
            options.caFile = value;
        } else if (arg == "--mirror") {
            if (value.empty() || value.back() != '/') return Fail2("--mirror takes a base URL ending in \"/\", as in MIRRORS=");
            options.mirrors.push_back(value);
        } else return Fail2("check does not know the option " + arg + " (vtlist check --help lists them)");
    }
    options.progress = VT_ISATTY(VT_FILENO(stderr)) != 0;
    const auto report = vt::vtlist::CheckServer(options, vt::vtlist::NowAsDateValue());
    Print(options.page, report.pageProblems);
    Print(options.list, report.listProblems);
    Print(options.list + vt::launcher::kSideFileSuffix, report.sideProblems);
    std::cout << report.filesChecked << " file(s) checked, " << report.filesHashed << " of them against the side file\n";
    const int errors = vt::vtlist::CountErrors(report.pageProblems) + vt::vtlist::CountErrors(report.listProblems) +
                       vt::vtlist::CountErrors(report.sideProblems);
    return Summary(errors, static_cast<int>(report.pageProblems.size() + report.listProblems.size() +
                                            report.sideProblems.size()) - errors);
}

#ifdef _WIN32
// The arguments as UTF-8, as every path inside is: main's argv is in the ANSI
// code page, which cannot hold every name a release folder may have.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(vt::win::Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> utf8 = Utf8Arguments();
    std::vector<char*> pointers;
    for (std::string& argument : utf8) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    if (!utf8.empty()) {
        argc = static_cast<int>(utf8.size());
        argv = pointers.data();
    }
#endif
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (WantsHelp(argc, argv)) {
        if (command == "make") std::cout << kMakeHelp;
        else if (command == "check") std::cout << kCheckHelp;
        else if (command == "lint") std::cout << kLintHelp;
        else if (command == "sign") std::cout << kSignHelp;
        else if (command == "keygen") std::cout << kKeygenHelp;
        else if (command == "rotate") std::cout << kRotateHelp;
        else if (command == "pubkey") std::cout << kPubkeyHelp;
        else return Fail2("there is no help for \"" + command + "\" (vtlist --help lists the commands)");
        return 0;
    }
    if (command == "make") return Make(argc, argv);
    if (command == "check") return Check(argc, argv);
    if (command == "lint") return Lint(argc, argv);
    if (command == "sign") return Sign(argc, argv);
    if (command == "keygen") return Keygen(argc, argv);
    if (command == "rotate") return Rotate(argc, argv);
    if (command == "pubkey") return Pubkey(argc, argv);
    return Fail2("there is no command \"" + command + "\" (vtlist --help lists them)");
}
