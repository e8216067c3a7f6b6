#include "tools/vtlist/check_server.h"

#include "platform/text.h"

#include "config/text_lines.h"
#include "launcher/rules/block_index.h"
#include "launcher/rules/update_rules.h"
#include "launcher/rules/url_path.h"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "tools/vtlist/http_client.h"
#include "tools/vtlist/side_check.h"
#include "tools/vtlist/signing.h"

namespace vt::vtlist {
namespace {

bool Good(int status) { return status >= 200 && status <= 299; }

// HEAD first; a server that refuses HEAD gets a GET for the first byte.
std::string FileProblem(const std::string& url, const HttpSettings& http) {
    HttpAnswer answer = HttpRequest("HEAD", url, "", http);
    if (Good(answer.status)) return {};
    if (answer.status == 0 || answer.status == 405 || answer.status == 501 || answer.status == 400) {
        answer = HttpRequest("GET", url, "bytes=0-0", http);
        if (Good(answer.status)) return {};
    }
    return answer.status ? "answers HTTP " + std::to_string(answer.status) : answer.error;
}

// The whole file, compared with its side-file line: streamed through the
// hash (a big file is never held), and read no further than one byte past
// the size the side file says.
std::string HashProblem(const std::string& url, const launcher::SideEntry& expected, const HttpSettings& http) {
    StreamDigest digest;
    std::uint64_t size = 0;
    const HttpAnswer answer =
        HttpRequest("GET", url, "", http, expected.size + 1, [&](const char* data, std::size_t bytes) {
            digest.Add(data, bytes);
            size += bytes;
        });
    if (!Good(answer.status)) {
        if (answer.error.find("longer than") != std::string::npos)
            return "is longer than the " + std::to_string(expected.size) + " bytes the side file says";
        return answer.status ? "answers HTTP " + std::to_string(answer.status) : answer.error;
    }
    if (size != expected.size)
        return "is " + std::to_string(size) + " bytes, the side file says " + std::to_string(expected.size);
    if (digest.Finish() != expected.hash) return "has another SHA-256 than the side file says";
    return {};
}

// The block index the side file names for a file, at `url` + ".vtblocks".
std::string IndexProblem(const std::string& url, const launcher::BlockIndexSum& expected, const HttpSettings& http) {
    const HttpAnswer answer = HttpRequest("GET", url + launcher::kBlockIndexSuffix, "", http, expected.size + 1);
    if (!Good(answer.status))
        return "its block index " + (answer.status ? "answers HTTP " + std::to_string(answer.status) : answer.error);
    if (answer.body.size() != expected.size || Sha256Of(answer.body) != expected.hash)
        return "its block index is not the one the side file names";
    return {};
}

// What a hashed file's checks found, with its severity: the file at
// WEBPATH=, at each mirror, and its block index at each.
void CheckHashedFile(const CheckOptions& options, const std::string& path, const launcher::SideEntry& expected,
                     const HttpSettings& http, std::vector<std::pair<Severity, std::string>>& found) {
    std::vector<std::string> bases{options.webPath};
    bases.insert(bases.end(), options.mirrors.begin(), options.mirrors.end());
    for (std::size_t i = 0; i < bases.size(); ++i) {
        const std::string url = bases[i] + path;
        const std::string where = i == 0 ? "" : " on the mirror " + bases[i];
        if (const std::string problem = HashProblem(url, expected, http); !problem.empty())
            found.push_back({Severity::Error, where + " " + problem +
                                                  (i == 0 ? ": E4 for every player without mirrors"
                                                          : ": players set that mirror aside")});
        else if (expected.blocks)
            if (const std::string missing = IndexProblem(url, *expected.blocks, http); !missing.empty())
                found.push_back({Severity::Warning, where + " " + missing + ": players fetch the file whole"});
    }
}

// The side file beside the list, when there is one: checked against the list
// and the key; nothing when it is missing or refused.
std::optional<launcher::SideFile> CheckSide(const CheckOptions& options, const HttpSettings& http,
                                            const std::string& listBody, CheckReport& report) {
    const std::string sideName = options.list + launcher::kSideFileSuffix;
    const HttpAnswer side = HttpRequest("GET", options.webPath + sideName, "", http);
    if (side.status == 200) {
        report.sideFile = true;
        SideReport checked = CheckSideFile(listBody, side.body, options.publicKey);
        report.sideProblems = std::move(checked.problems);
        return std::move(checked.sums);
    }
    // Forgotten on upload, or never made: without --public-key still worth a word.
    report.sideProblems.push_back(
        {0, options.publicKey ? Severity::Error : Severity::Warning,
         sideName + ": " + (side.status ? "HTTP " + std::to_string(side.status) : side.error) +
             (options.publicKey ? ": players with PUBLICKEY= get E1"
                                : ": no side file, so no file is checked against a hash (players with "
                                  "PUBLICKEY= get E1)")});
    return std::nullopt;
}

// Every listed file, a few at a time: there, and as the side file says.
void CheckFiles(const CheckOptions& options, const HttpSettings& http, const std::vector<CheckedEntry>& entries,
                const std::optional<launcher::SideFile>& sums, CheckReport& report) {
    std::atomic<std::size_t> next{0};
    std::atomic<int> done{0};
    std::mutex mutex;
    auto worker = [&] {
        for (std::size_t i; (i = next++) < entries.size();) {
            const CheckedEntry& entry = entries[i];
            const launcher::SideEntry* expected = nullptr;
            if (sums)  // entry N is the list's line N + 1
                if (const auto found = sums->entries.find(entry.line - 1); found != sums->entries.end())
                    expected = &found->second;
            // The URL as the launcher builds it: the same encoding rule, and
            // a line that is not UTF-8 read in the ANSI code page first, as
            // a launcher on a Western European Windows reads it (1252).
            const std::string path = launcher::EncodeUrlPath(
                IsValidUtf8(entry.remotePath) ? entry.remotePath : Utf8FromWindows1252(entry.remotePath));
            std::vector<std::pair<Severity, std::string>> found;
            if (expected)
                CheckHashedFile(options, path, *expected, http, found);
            else if (const std::string problem = FileProblem(options.webPath + path, http); !problem.empty())
                found.push_back({Severity::Error, " " + problem + ": E4 for every player"});
            const int finished = ++done;
            std::lock_guard<std::mutex> lock(mutex);
            report.filesHashed += expected != nullptr;
            for (const auto& [severity, what] : found)
                report.listProblems.push_back({entry.line, severity, "the file " + entry.remotePath + what});
            if (options.progress) std::fprintf(stderr, "\rchecked %d of %zu files", finished, entries.size());
        }
    };
    std::vector<std::thread> workers;
    const int jobs = std::clamp(options.jobs, 1, 64);
    for (int j = 0; j < jobs; ++j) workers.emplace_back(worker);
    for (std::thread& t : workers) t.join();
    if (options.progress && !entries.empty()) std::fprintf(stderr, "\n");
    report.filesChecked = done;
}

}  // namespace

CheckReport CheckServer(const CheckOptions& options, double now) {
    CheckReport report;
    HttpSettings http;
    http.caFile = options.caFile;
    const HttpAnswer page = HttpRequest("GET", options.webPath + options.page, "", http);
    if (!Good(page.status) || !page.error.empty()) {
        report.pageProblems.push_back({0, Severity::Error,
                                       options.page + ": " + (page.status ? "HTTP " + std::to_string(page.status) : page.error) +
                                           ": every player gets E11"});
    } else {
        report.pageProblems = LintStartPage(page.body);
    }

    const HttpAnswer list = HttpRequest("GET", options.webPath + options.list, "", http);
    if (!Good(list.status) || !list.error.empty()) {
        report.listProblems.push_back({0, Severity::Error,
                                       options.list + ": " + (list.status ? "HTTP " + std::to_string(list.status) : list.error) +
                                           ": every player gets E1"});
        return report;
    }
    ListReport lint = LintPatchList(list.body, now);
    report.listProblems = std::move(lint.problems);
    const std::optional<launcher::SideFile> sums = CheckSide(options, http, list.body, report);
    CheckFiles(options, http, lint.entries, sums, report);
    std::stable_sort(report.listProblems.begin(), report.listProblems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return report;
}

}  // namespace vt::vtlist
