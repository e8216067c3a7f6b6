#include "launcher/win/run_context.h"

#include "launcher/win/download_file.h"

namespace vt::launcher {

std::string FetchLogLine(const std::string& url, const std::string& fileName, const FetchOutcome& outcome) {
    std::string line = url + " -> " + fileName + " status=" + std::to_string(outcome.status) +
                       " bytes=" + std::to_string(outcome.bytes) + " ms=" + std::to_string(outcome.elapsedMs) +
                       " attempts=" + std::to_string(outcome.attempts);
    if (outcome.rangeRequests > 0)
        line += " range-requests=" + std::to_string(outcome.rangeRequests) + " from=" + std::to_string(outcome.resumedFrom);
    if (outcome.waitedMs > 0) line += " retry-after-ms=" + std::to_string(outcome.waitedMs);
    line += outcome.ok ? " ok" : " FAILED: " + outcome.error;
    return line;
}

bool DownloadAndLog(RunContext& context, const std::string& url, const std::string& fileName, std::uint64_t maxBytes,
                    bool leftBehind, const SideEntry* expected) {
    FetchOutcome outcome;
    const bool ok = DownloadFile(context.Download, url, fileName, &outcome, maxBytes, nullptr, leftBehind, expected);
    if (!ok) context.lastFailure = url + ": " + outcome.error;
    context.log.Line("FETCH", FetchLogLine(url, fileName, outcome));
    return ok;
}

}  // namespace vt::launcher
