#include "launcher/win/run_context.h"

#include "launcher/win/download_file.h"

namespace vt::launcher {

bool DownloadAndLog(RunContext& context, const std::string& url, const std::string& fileName, std::uint64_t maxBytes) {
    context.log.Flush();  // what led to a slow or hanging fetch is on disk before it
    FetchOutcome outcome;
    const bool ok = DownloadFile(context.Download, url, fileName, &outcome, maxBytes);
    std::string line = url + " -> " + fileName + " status=" + std::to_string(outcome.status) +
                       " bytes=" + std::to_string(outcome.bytes) + " ms=" + std::to_string(outcome.elapsedMs) +
                       " attempts=" + std::to_string(outcome.attempts);
    line += ok ? " ok" : " FAILED: " + outcome.error;
    if (!ok) context.lastFailure = url + ": " + outcome.error;
    context.log.Line("FETCH", line);
    context.log.Flush();
    return ok;
}

}  // namespace vt::launcher
