#include "launcher/win/fetch/sources.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/win/fetch/block_patch.h"

namespace vt::launcher {

FetchOutcome FetchToPart(InternetTransfer& transfer, PartFile& part, const FetchRequest& request) {
    const ULONGLONG begin = ::GetTickCount64();
    std::string wholeBecause;
    std::optional<FetchOutcome> patched;
    if (MayPatch(request) && !request.leftBehind) patched = PatchFromOldCopy(transfer, part, request, wholeBecause);
    FetchOutcome outcome;
    if (patched) {
        outcome = std::move(*patched);
    } else {
        const std::optional<ResumePoint> from = part.LeftBehind();
        outcome = transfer.Fetch(request.url, part, part.BodyCap(request.maxBytes), from ? &*from : nullptr,
                                 request.noCache ? "Cache-Control: no-cache\r\n" : "");
        outcome.wholeBecause = wholeBecause;
    }
    if (outcome.ok && !part.Flush()) {
        outcome.ok = false;
        outcome.error = part.LastError();
    }
    // The time this file took, a partial update's doubt and the flush
    // included, also when it failed.
    outcome.elapsedMs = static_cast<DWORD>(::GetTickCount64() - begin);
    return outcome;
}

namespace {

// A failure of the source, not of this side (a disk that is full, a run
// that was stopped): the next source may do better.
bool SourceFailed(const FetchOutcome& outcome) {
    return !outcome.ok && !outcome.sinkFailed;
}

}  // namespace

FetchOutcome FetchFromSources(InternetTransfer& transfer, PartFile& part, const FetchRequest& request) {
    if (!request.mirrors || !request.expected || !request.mirrors->HasMirrors())
        return FetchToPart(transfer, part, request);
    MirrorSet& sources = *request.mirrors;
    std::vector<int> tried;
    std::string setAside;
    FetchOutcome outcome;
    outcome.error = "no source is left: every mirror was set aside";
    for (int source = sources.Pick(tried); source != MirrorSet::kNone; source = sources.Pick(tried)) {
        tried.push_back(source);
        FetchRequest attempt = request;
        attempt.url = sources.Base(source) + request.remotePath;
        outcome = FetchToPart(transfer, part, attempt);
        if (!SourceFailed(outcome)) {
            if (outcome.ok) sources.CountServed(source);
            break;
        }
        sources.SetAside(source);
        setAside += (setAside.empty() ? "" : ", ") + sources.Base(source) + " set aside: " + outcome.error;
    }
    outcome.source = tried.empty() ? std::string() : sources.Base(tried.back());
    outcome.setAside = setAside;
    return outcome;
}

}  // namespace vt::launcher
