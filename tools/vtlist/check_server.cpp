#include "tools/vtlist/check_server.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "tools/vtlist/http_client.h"

namespace vt::vtlist {
namespace {

bool Good(int status) { return status >= 200 && status <= 299; }

// HEAD first; a server that refuses HEAD gets a GET for the first byte.
std::string FileProblem(const std::string& url) {
    HttpAnswer answer = HttpRequest("HEAD", url);
    if (Good(answer.status)) return {};
    if (answer.status == 0 || answer.status == 405 || answer.status == 501 || answer.status == 400) {
        answer = HttpRequest("GET", url, "bytes=0-0");
        if (Good(answer.status)) return {};
    }
    return answer.status ? "answers HTTP " + std::to_string(answer.status) : answer.error;
}

}  // namespace

CheckReport CheckServer(const CheckOptions& options, double now) {
    CheckReport report;
    const HttpAnswer page = HttpRequest("GET", options.webPath + options.page);
    if (!Good(page.status) || !page.error.empty()) {
        report.pageProblems.push_back({0, Severity::Error,
                                       options.page + ": " + (page.status ? "HTTP " + std::to_string(page.status) : page.error) +
                                           ": every player gets E11"});
    } else {
        report.pageProblems = LintStartPage(page.body);
    }

    const HttpAnswer list = HttpRequest("GET", options.webPath + options.list);
    if (!Good(list.status) || !list.error.empty()) {
        report.listProblems.push_back({0, Severity::Error,
                                       options.list + ": " + (list.status ? "HTTP " + std::to_string(list.status) : list.error) +
                                           ": every player gets E1"});
        return report;
    }
    ListReport lint = LintPatchList(list.body, now);
    report.listProblems = std::move(lint.problems);

    // The files, a few at a time.
    std::atomic<std::size_t> next{0};
    std::atomic<int> done{0};
    std::mutex mutex;
    auto worker = [&] {
        for (std::size_t i; (i = next++) < lint.entries.size();) {
            const CheckedEntry& entry = lint.entries[i];
            const std::string problem = FileProblem(options.webPath + entry.remotePath);
            const int finished = ++done;
            std::lock_guard<std::mutex> lock(mutex);
            if (!problem.empty())
                report.listProblems.push_back(
                    {entry.line, Severity::Error, "the file " + entry.remotePath + " " + problem + ": E4 for every player"});
            if (options.progress)
                std::fprintf(stderr, "\rchecked %d of %zu files", finished, lint.entries.size());
        }
    };
    std::vector<std::thread> workers;
    const int jobs = std::clamp(options.jobs, 1, 64);
    for (int j = 0; j < jobs; ++j) workers.emplace_back(worker);
    for (std::thread& t : workers) t.join();
    if (options.progress && !lint.entries.empty()) std::fprintf(stderr, "\n");
    report.filesChecked = done;
    std::stable_sort(report.listProblems.begin(), report.listProblems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return report;
}

}  // namespace vt::vtlist
