// vtlist: writes the patch list from a release folder, and checks a patch list
// or a live update server, for mod publishers. Run "vtlist --help".
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define VT_ISATTY _isatty
#define VT_FILENO _fileno
#else
#include <unistd.h>
#define VT_ISATTY isatty
#define VT_FILENO fileno
#endif

#include "tools/vtlist/check_server.h"
#include "tools/vtlist/folder_scan.h"
#include "tools/vtlist/list_lint.h"
#include "tools/vtlist/list_make.h"

namespace {

constexpr const char* kUsage =
    "usage: vtlist make FOLDER [--local-prefix PREFIX] [--header TEXT] [--immer GLOB]... [--skip GLOB]... [-o FILE]\n"
    "       vtlist check WEBPATH [--page NAME] [--list NAME] [--jobs N]\n"
    "       vtlist lint FILE\n"
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
    "  -o FILE                write to FILE instead of standard output\n"
    "  Names with \"|\" or a tab cannot be in a list: they are refused by name.\n";

constexpr const char* kCheckHelp =
    "vtlist check WEBPATH: checks a live update server as the launcher sees it.\n"
    "  Fetches WEBPATH + the start page and WEBPATH + the list without cache,\n"
    "  reports every problem with its line number (see vtlist lint --help), and\n"
    "  asks for every entry's file (HEAD, or a one-byte GET where HEAD is\n"
    "  refused). http:// only.\n"
    "  --page NAME   the start page (default Index.html)\n"
    "  --list NAME   the patch list (default update.dat)\n"
    "  --jobs N      files checked at a time (default 8)\n"
    "  Exit status: 0 when no player would see an error, 1 otherwise, 2 for bad\n"
    "  arguments.\n";

constexpr const char* kLintHelp =
    "vtlist lint FILE: the list checks of vtlist check on a local file.\n"
    "  Errors (exit status 1): LF-only line ends (nothing is ever fetched), a\n"
    "  lone LF, blank lines and a blank last line (E4), a field count other\n"
    "  than three (E4), a local path the launcher refuses (E4), a stamp it\n"
    "  cannot read (the file is never fetched).\n"
    "  Warnings: stamps in the future, duplicate local paths, spaces at the\n"
    "  edge of a path, a header line that looks like an entry, a byte-order\n"
    "  mark in the header.\n";

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

int Make(int argc, char** argv) {
    if (argc < 3) return Usage();
    vt::vtlist::MakeOptions options;
    std::string output;
    bool skipGiven = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (arg == "--local-prefix") options.localPrefix = value;
        else if (arg == "--header") options.header = value;
        else if (arg == "--immer") options.immerGlobs.push_back(value);
        else if (arg == "--skip") {
            if (!skipGiven) options.skipGlobs.clear();
            skipGiven = true;
            options.skipGlobs.push_back(value);
        } else if (arg == "-o") output = value;
        else return Usage();
    }
    std::vector<std::string> refused;
    std::string list;
    try {
        list = vt::vtlist::MakePatchList(vt::vtlist::ScanReleaseFolder(argv[2]), options, refused);
    } catch (const std::exception& e) {
        std::cerr << "vtlist: " << e.what() << "\n";
        return 1;
    }
    for (const std::string& name : refused)
        std::cerr << "vtlist: refused \"" << name << "\": a patch list cannot carry \"|\", a tab or a line end in a name\n";
    if (output.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // CR LF as written, not CR CR LF
#endif
        std::fwrite(list.data(), 1, list.size(), stdout);
    } else {
        std::ofstream out(output, std::ios::binary);
        out << list;
        if (!out) {
            std::cerr << "vtlist: cannot write " << output << "\n";
            return 1;
        }
    }
    return refused.empty() ? 0 : 1;
}

int Lint(int argc, char** argv) {
    if (argc != 3) return Usage();
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::cerr << "vtlist: cannot read " << argv[2] << "\n";
        return 2;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const auto report = vt::vtlist::LintPatchList(bytes.str(), vt::vtlist::NowAsDateValue());
    Print(argv[2], report.problems);
    const int errors = vt::vtlist::CountErrors(report.problems);
    return Summary(errors, static_cast<int>(report.problems.size()) - errors);
}

int Check(int argc, char** argv) {
    if (argc < 3) return Usage();
    vt::vtlist::CheckOptions options;
    options.webPath = argv[2];
    if (options.webPath.back() != '/') {
        std::cerr << "vtlist: WEBPATH must end in \"/\", as in UPDATE.CFG\n";
        return 2;
    }
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--page") options.page = argv[i + 1];
        else if (arg == "--list") options.list = argv[i + 1];
        else if (arg == "--jobs") options.jobs = std::atoi(argv[i + 1]);
        else return Usage();
    }
    if ((argc - 3) % 2) return Usage();
    options.progress = VT_ISATTY(VT_FILENO(stderr)) != 0;
    const auto report = vt::vtlist::CheckServer(options, vt::vtlist::NowAsDateValue());
    Print(options.page, report.pageProblems);
    Print(options.list, report.listProblems);
    std::cout << report.filesChecked << " file(s) checked\n";
    const int errors = vt::vtlist::CountErrors(report.pageProblems) + vt::vtlist::CountErrors(report.listProblems);
    return Summary(errors, static_cast<int>(report.pageProblems.size() + report.listProblems.size()) - errors);
}

}  // namespace

int main(int argc, char** argv) {
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
        else return Usage();
        return 0;
    }
    if (command == "make") return Make(argc, argv);
    if (command == "check") return Check(argc, argv);
    if (command == "lint") return Lint(argc, argv);
    return Usage();
}
