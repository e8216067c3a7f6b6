#include "launcher/win/run/update_run.h"
#include "platform/win/text_codes.h"

#include <windows.h>

#include "config/text_lines.h"
#include "launcher/rules/p256_point.h"
#include "launcher/rules/rate_limit.h"
#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/shared_rate.h"
#include "launcher/win/run/local_files.h"
#include "launcher/win/run/hash_cache.h"
#include "launcher/win/run/patch_entries.h"
#include "launcher/win/run/trust_store.h"
#include "platform/scope_exit.h"
#include "platform/win/clock.h"
#include "platform/win/crypto.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"

namespace vt::launcher {

RunOutcome UpdateRun::Run() noexcept {
    RunOutcome outcome;
    const ULONGLONG begin = ::GetTickCount64();
    context_.summary = UpdateSummary{};
    // Whatever the ending, the last line says what the update cost.
    const ScopeExit summary([&] {
        context_.summary.ms = ::GetTickCount64() - begin;
        try {
            context_.log.Line("SUMMARY", SummaryText(context_.summary));
        } catch (...) {
            // Out of memory: the line is lost, nothing else.
        }
    });
    try {
        outcome.ending = Ending();
    } catch (const FileAccessFailure& failure) {
        context_.log.Line("ENDING", "FILE ACCESS ERROR: the times of " + failure.localFile + " cannot be read");
        outcome.fileAccessError = failure.localFile;
    } catch (const std::exception& e) {
        context_.log.Line("FAILURE", e.what());
        outcome.failure = e.what();
    } catch (...) {
        outcome.failure = "The update run failed for an unknown reason.";
        context_.log.Line("FAILURE", outcome.failure);
    }
    return outcome;
}

RunEnding UpdateRun::Ending() {
    const RunEnd end = Steps();
    context_.lastFailure = end.why;
    context_.view.SetStatus(EndingStatusText(end.ending));
    // The ending names its cause, so that a player's log says why (a server
    // down, a folder that cannot be written, a cut body), not only which code.
    context_.log.Line("ENDING", std::string(EndingName(end.ending)) + (end.why.empty() ? "" : ": " + end.why));
    return end.ending;
}

RunEnd UpdateRun::Steps() {
    const LauncherSettings& s = context_.settings;
    const std::string listFile = s.AppDir + kListFileName;
    const std::string oldListFile = s.AppDir + s.PatchListName;
    // Every fetch of the run goes through this pool, the probe's and the
    // list's too: one thread, session and set of kept-alive connections.
    // MAXRATE=: one limit for all of them, and fewer at once under a low one.
    const std::uint64_t maxRate = MaxRateBytesPerSecond(s.MaxRate);
    const int fetchesAtOnce = FetchesAtOnceWithin(FetchesAtOnce(s.MaxDownloads), maxRate);
    FetchPool pool(fetchesAtOnce, context_.timeouts, maxRate ? std::make_shared<SharedRateLimit>(maxRate) : nullptr);
    if (maxRate)
        context_.log.Line("RATE", "at most " + std::to_string(maxRate / 1024) + " KB/s (MAXRATE=), all fetches together, " +
                                      std::to_string(fetchesAtOnce) + " at once");
    std::vector<std::string> notMirrors;
    MirrorSet mirrors(s.WebPath, ParseMirrors(s.Mirrors, &notMirrors));
    for (const std::string& what : notMirrors)
        context_.log.Line("MIRROR", "\"" + what + "\" in MIRRORS= is not an http:// or https:// URL: not used");
    if (const std::optional<RunEnd> probed = Probe(pool)) return *probed;
    context_.view.SetStatus("DOWNLOADING PATCHRULES...");

    std::vector<std::string> entries;
    std::optional<SideFile> sums;
    std::optional<TrustRecord> remember;
    // A cache on the way (a CDN) may still serve the list or its side file
    // from before an upload: when they do not belong together, both are
    // asked for once more before the run gives up.
    for (int ask = 1;; ++ask) {
        if (const std::optional<RunEnd> failed = FetchListAndSide(pool, entries, sums, remember)) return *failed;
        bool otherList = false;
        const std::optional<std::string> misfit = sums ? SideFileMisfitHere(*sums, listFile, entries, otherList) : std::nullopt;
        if (!misfit) break;
        if (!otherList || ask == 2) return RunEnd{RunEnding::E1, *misfit};
        context_.log.Line("SIDE", "the list and its side file do not belong together (one may be from before an "
                                  "upload, served by a cache): both are asked for once more");
    }
    // Remembered before any file is fetched: from now on nothing older is taken.
    // A release that cannot be remembered anywhere is not taken: the next
    // run would not know it, and would take an older one again.
    std::string notKept;
    const bool kept = !remember || !trust_ || trust_->Remember(*remember, notKept);
    if (trust_)
        for (const std::string& note : trust_->TakeNotes()) context_.log.Line("TRUST", note);
    if (!kept) {
        const std::string why = "the accepted release cannot be remembered, so it is not taken: " + notKept;
        context_.log.Line("SIDE", why);
        return RunEnd{RunEnding::E1, why};
    }
    if (const std::optional<RunEnd> stopped = ProcessEntries(pool, mirrors, entries, sums)) return *stopped;
    LogMirrors(mirrors);

    ClearReadOnly(oldListFile);
    ClearReadOnly(listFile);
    if (win::OrdinaryFileExists(oldListFile)) RemoveFile(oldListFile);
    if (win::OrdinaryFileExists(listFile)) RemoveFile(listFile);
    return RunEnd{RunEnding::Done};
}

void UpdateRun::LogMirrors(const MirrorSet& mirrors) {
    if (!mirrors.HasMirrors()) return;
    const std::vector<std::uint64_t> served = mirrors.ServedCounts();
    std::string line;
    for (std::size_t i = 0; i < served.size(); ++i)
        line += (i ? ", " : "") + mirrors.Base(static_cast<int>(i)) + " " + std::to_string(served[i]) +
                (mirrors.IsSetAside(static_cast<int>(i)) ? " (set aside)" : "");
    context_.log.Line("MIRROR", "files served: " + line);
}

std::optional<RunEnd> UpdateRun::Probe(FetchPool& pool) {
    const LauncherSettings& s = context_.settings;
    const std::string onlinePage = s.WebPath + s.WebPage;
    const std::string localPage = s.AppDir + s.LocalPage;
    const std::string probeFile = s.AppDir + kProbeFileName;
    if (const Finished probed = FetchNow(context_, pool, FetchRequest{onlinePage, probeFile, kPageAndListCap}); !probed) {
        context_.view.Navigate(localPage);
        return RunEnd{RunEnding::E11, probed.why};
    }
    if (!HasLauncherMarker(probeFile)) {
        // What came instead says who answered: a proxy's sign-on page, a
        // byte-order mark an editor added, a server's default page.
        const std::string why = onlinePage + " begins with " +
                                PageBeginningForLog(win::ReadWholeFile(probeFile).substr(0, 64)) + ", not with " +
                                kLauncherMarker;
        context_.log.Line("PROBE", probeFile + " does not begin with " + kLauncherMarker);
        context_.view.Navigate(localPage);
        return RunEnd{RunEnding::E12, why};
    }
    context_.view.Navigate(onlinePage);
    win::DeleteWaiting(probeFile);  // a probe file that stays does no harm
    return std::nullopt;
}

std::optional<RunEnd> UpdateRun::FetchListAndSide(FetchPool& pool, std::vector<std::string>& entries,
                                                  std::optional<SideFile>& sums, std::optional<TrustRecord>& remember) {
    const LauncherSettings& s = context_.settings;
    const std::string listFile = s.AppDir + kListFileName;
    if (win::OrdinaryFileExists(listFile)) {  // a list left by an earlier run (or ask); errors ignored
        ClearReadOnly(listFile);
        win::DeleteWaiting(listFile);
    }
    // With more than one fetch at once the side file is fetched while the
    // list is: one round trip to the server less before the first file.
    FetchRequest sideRequest{s.WebPath + s.PatchListName + kSideFileSuffix, s.AppDir + kSideFileName,
                             kMaxSideFileBytes};
    FetchRequest listRequest{s.WebPath + s.PatchListName, listFile, kPageAndListCap};
    sideRequest.noCache = listRequest.noCache = true;
    const bool sideAtOnce = pool.FetchesAtOnce() > 1;
    pool.Submit(0, listRequest);
    if (sideAtOnce) pool.Submit(0, sideRequest);
    if (const Finished listed = Finish(context_, *pool.TakeOldest()); !listed) return RunEnd{RunEnding::E1, listed.why};
    if (!win::OrdinaryFileExists(listFile)) return RunEnd{RunEnding::E2};
    if (!sideAtOnce) pool.Submit(0, sideRequest);

    std::optional<std::string> refused;
    remember.reset();
    sums = SideFileFor(pool, refused, remember);
    if (refused) return RunEnd{RunEnding::E1, *refused};

    // At most 64 MiB (the fetch's cap); the text goes as soon as it is split.
    entries = PatchListEntries(SplitTextLines(win::ReadWholeFile(listFile)));
    // An entry is read as UTF-8 when it is UTF-8, else in the system's code
    // page: lists written before vtlist wrote UTF-8 keep their names.
    for (std::string& entry : entries) entry = win::LineAsUtf8(entry);
    context_.log.Line("LIST", std::to_string(entries.size()) + " entries");
    return std::nullopt;
}

std::optional<std::string> UpdateRun::SideFileMisfitHere(const SideFile& sums, const std::string& listFile,
                                                         const std::vector<std::string>& entries, bool& otherList) {
    // The same rule as vtlist's.
    vt::Sha256 listHash{};
    std::uint64_t listSize = 0;
    const bool read = win::Sha256OfFile(listFile, listHash, listSize);
    otherList = read && (listSize != sums.listSize || listHash != sums.listHash);
    const std::optional<std::string> misfit =
        read ? SideFileMisfit(sums, listSize, listHash, entries)
             : std::optional<std::string>("the patch list cannot be read for its SHA-256");
    if (misfit) {
        context_.log.Line("SIDE", *misfit);
        return misfit;
    }
    const bool keyed = !context_.settings.PublicKey.empty();
    context_.log.Line("SIDE", std::to_string(sums.entries.size()) + " hashed entries" +
                                  (keyed ? ", signature valid"
                                         : sums.signature ? ", signature not checked (no PUBLICKEY=)" : ""));
    return std::nullopt;
}

std::optional<RunEnd> UpdateRun::ProcessEntries(FetchPool& pool, MirrorSet& mirrors,
                                                const std::vector<std::string>& entries,
                                                const std::optional<SideFile>& sums) {
    HashCache hashes(context_.settings.AppDir + kHashCacheName);
    PatchEntryProcessor processor(context_, pool, mirrors);
    if (sums) processor.UseSideFile(&*sums, &hashes);
    processor.OpenAhead(entries);
    // The counts, and what was learned about local files, also when the run
    // ends early (E4, or the FILE ACCESS ERROR thrown through here).
    const ScopeExit report([&, hashed = sums.has_value()] {
        processor.StopOpeningAhead();
        if (!hashed) return;
        context_.log.Line("HASHES", std::to_string(hashes.FilesRead()) + " file(s) read, " +
                                        std::to_string(processor.FilesRepaired()) + " repaired");
        if (!hashes.Save()) context_.log.Line("HASHES", "the hash cache could not be written");
    });
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!processor.ProcessPatchEntry(entries[i], static_cast<std::int32_t>(i + 1)))
            return RunEnd{RunEnding::E4, processor.Failure()};
    if (!processor.FinishFetches()) return RunEnd{RunEnding::E4, processor.Failure()};
    processor.RemoveUnusedParts();
    return std::nullopt;
}

std::optional<SideFile> UpdateRun::SideFileFor(FetchPool& pool, std::optional<std::string>& refused,
                                               std::optional<TrustRecord>& remember) {
    const LauncherSettings& s = context_.settings;
    const bool keyed = !s.PublicKey.empty();
    auto refuse = [&](const std::string& why) {
        context_.log.Line("SIDE", why);
        refused = why;
        return std::nullopt;
    };
    std::optional<PublicKey> key;
    if (keyed && !(key = ParsePublicKey(s.PublicKey))) return refuse("PUBLICKEY= in UPDATE.CFG is not 128 hex digits");
    if (keyed && !IsP256Point(*key))
        return refuse("the PUBLICKEY= value in UPDATE.CFG is not a valid key (not a point of the P-256 curve): "
                      "copy the line vtlist keygen printed again");

    const std::unique_ptr<PoolFetch> fetch = pool.TakeOldest();
    if (!Finish(context_, *fetch)) {
        const FetchOutcome& outcome = fetch->outcome;
        if (keyed) return refuse("PUBLICKEY= is set and the side file could not be fetched: " + outcome.error);
        context_.log.Line("SIDE", outcome.status == 404 ? "no side file: the date rule alone decides"
                                                         : "the side file could not be fetched (" + outcome.error +
                                                               "): the date rule alone decides");
        return std::nullopt;
    }
    const std::string& file = fetch->request.localFile;
    const std::string text = win::ReadWholeFile(file);
    win::DeleteWaiting(file);
    std::string why;
    std::optional<SideFile> sums = ParseSideFile(text, &why);
    if (!sums) return refuse("the side file cannot be read: " + why);
    if (keyed) {
        if (const std::optional<std::string> judged = JudgeRelease(*sums, text, *key, remember)) return refuse(*judged);
    }
    return sums;
}

std::optional<std::string> UpdateRun::JudgeRelease(const SideFile& sums, const std::string& text, const PublicKey& key,
                                                   std::optional<TrustRecord>& remember) {
    // Signed by the key trusted now, no older release than one accepted
    // before, not expired: judged against what was remembered.
    const LauncherSettings& s = context_.settings;
    if (!trust_) {
        trust_.emplace(s.AppDir);
        for (const std::string& note : trust_->TakeNotes()) context_.log.Line("TRUST", note);
    }
    if (trust_->Unreadable())
        return "the record of the releases installed cannot be used, so no release is taken: " + *trust_->Unreadable();
    const TrustRecord known = trust_->Find(s.WebPath, key);
    const SignatureCheck cng{[](std::string_view bytes) { return win::Sha256Of(bytes.data(), bytes.size()); },
                             [](const PublicKey& signer, const Sha256& digest, const Signature& signature) {
                                 return win::VerifyP256(signer, digest, signature);
                             }};
    const TrustVerdict verdict = JudgeSignedSideFile(sums, text, known, win::NowEpochSeconds(), cng);
    if (!verdict.accepted) return verdict.why;
    for (const std::string& note : verdict.notes) context_.log.Line("SIDE", note);
    if (verdict.updated.current != known.current || verdict.updated.release != known.release)
        remember = verdict.updated;
    return std::nullopt;
}

bool UpdateRun::HasLauncherMarker(const std::string& FileName) {
    if (!win::OrdinaryFileExists(FileName)) return false;
    return BeginsWithLauncherMarker(SplitTextLines(win::ReadWholeFile(FileName)));
}

void UpdateRun::RemoveFile(const std::string& path) {
    if (!win::DeleteWaiting(path)) win::ThrowSystemError("Cannot delete " + path);
}

}  // namespace vt::launcher
