#include "launcher/win/run/run_context.h"

#include "launcher/win/fetch/part_file.h"

namespace vt::launcher {

std::string FetchLogLine(const std::string& url, const std::string& fileName, const FetchOutcome& outcome) {
    std::string line = url + " -> " + fileName + " status=" + std::to_string(outcome.status) +
                       " bytes=" + std::to_string(outcome.bytes) + " ms=" + std::to_string(outcome.elapsedMs) +
                       " attempts=" + std::to_string(outcome.attempts);
    if (outcome.rangeRequests > 0)
        line += " range-requests=" + std::to_string(outcome.rangeRequests) + " from=" + std::to_string(outcome.resumedFrom);
    if (outcome.waitedMs > 0) line += " retry-after-ms=" + std::to_string(outcome.waitedMs);
    if (outcome.patched) line += " partial: reused=" + std::to_string(outcome.reusedBytes) + " from the old copy";
    if (!outcome.wholeBecause.empty()) line += " whole, because " + outcome.wholeBecause;
    if (!outcome.source.empty()) line += " source=" + outcome.source;
    if (!outcome.setAside.empty()) line += " (" + outcome.setAside + ")";
    line += outcome.ok ? " ok" : " FAILED: " + outcome.error;
    return line;
}

namespace {

void Tally(UpdateSummary& summary, const PoolFetch& fetch) {
    summary.networkBytes += fetch.progress.Network();
    if (!fetch.outcome.ok || fetch.index == 0) return;
    ++summary.filesFetched;
    summary.reusedBytes += fetch.outcome.reusedBytes;
    if (fetch.outcome.patched) return;
    // What the body holds and did not fetch in this run: kept from a cut body.
    const std::uint64_t held = fetch.progress.Snapshot().received;
    const std::uint64_t fetched = fetch.progress.BodyNetwork();
    if (held > fetched) summary.keptBytes += held - fetched;
}

}  // namespace

Finished Finish(RunContext& context, PoolFetch& fetch, HashCache* hashes) {
    FetchOutcome& outcome = fetch.outcome;
    if (outcome.ok && !fetch.part->ReplaceTarget()) {
        outcome.ok = false;
        outcome.error = fetch.part->LastError();
    }
    Tally(context.summary, fetch);
    const FetchRequest& request = fetch.request;
    context.log.Line("FETCH", FetchLogLine(request.url, request.localFile, outcome));
    if (!outcome.ok) return Finished{false, request.url + ": " + outcome.error};
    if (request.expected && hashes)
        hashes->Remember(request.localFile, LocalDigest{request.expected->size, request.expected->hash});
    return Finished{true};
}

Finished FetchNow(RunContext& context, FetchPool& pool, FetchRequest request) {
    pool.Submit(0, std::move(request));
    return Finish(context, *pool.TakeOldest());
}

}  // namespace vt::launcher
