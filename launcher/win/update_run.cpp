#include "launcher/win/update_run.h"

#include <windows.h>

#include "config/text_lines.h"
#include "launcher/rules/p256_point.h"
#include "launcher/win/download_file.h"
#include "launcher/win/file_helpers.h"
#include "launcher/win/hash_cache.h"
#include "launcher/win/patch_entries.h"
#include "launcher/win/trust_store.h"
#include "platform/win/clock.h"
#include "platform/win/crypto.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"

namespace vt::launcher {

SideFileFetch::SideFileFetch(std::string sideUrl, std::string sideFile, const TransferTimeouts& timeouts, bool atOnce)
    : url(std::move(sideUrl)), file(std::move(sideFile)), timeouts_(timeouts) {
    if (atOnce) thread = std::thread([this] { Fetch(); });
}

void SideFileFetch::Fetch() noexcept {
    fetched_ = true;
    const std::optional<std::string> failed = win::FailureOf([&] {
        InternetTransfer transfer(timeouts_);  // a session of its own: fetches of one session go one at a time
        DownloadFile(transfer, url, file, &outcome, kMaxSideFileBytes);
    });
    if (failed) {
        outcome.ok = false;
        outcome.error = "failed: " + *failed;
    }
}

void SideFileFetch::Wait() {
    if (thread.joinable()) thread.join();
    if (!fetched_) Fetch();  // one at a time: after the list
}

SideFileFetch::~SideFileFetch() {
    if (thread.joinable()) thread.join();
    if (outcome.ok && !taken) ::DeleteFileA(file.c_str());  // the run ended before it was read
}

RunOutcome UpdateRun::Run() noexcept {
    RunOutcome outcome;
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
    const RunEnding ending = Steps();
    context_.view.SetStatus(EndingStatusText(ending));
    // The ending names its cause, so that a player's log says why (a server
    // down, a folder that cannot be written, a cut body), not only which code.
    const bool fetchEnding = ending == RunEnding::E11 || ending == RunEnding::E12 || ending == RunEnding::E1 ||
                             ending == RunEnding::E4;
    context_.log.Line("ENDING", std::string(EndingName(ending)) +
                                    (fetchEnding && !context_.lastFailure.empty() ? ": " + context_.lastFailure : ""));
    return ending;
}

RunEnding UpdateRun::Steps() {
    const LauncherSettings& s = context_.settings;
    const std::string onlinePage = s.WebPath + s.WebPage;
    const std::string localPage = s.AppDir + s.LocalPage;
    const std::string probeFile = s.AppDir + kProbeFileName;
    const std::string listFile = s.AppDir + kListFileName;
    const std::string oldListFile = s.AppDir + s.PatchListName;

    if (!DownloadAndLog(context_, onlinePage, probeFile, kPageAndListCap)) {
        context_.view.Navigate(localPage);
        return RunEnding::E11;
    }
    if (!HasLauncherMarker(probeFile)) {
        // What came instead says who answered: a proxy's sign-on page, a
        // byte-order mark an editor added, a server's default page.
        context_.lastFailure = onlinePage + " begins with " +
                               PageBeginningForLog(win::ReadWholeFile(probeFile).substr(0, 64)) + ", not with " +
                               kLauncherMarker;
        context_.log.Line("PROBE", probeFile + " does not begin with " + kLauncherMarker);
        context_.view.Navigate(localPage);
        return RunEnding::E12;
    }
    context_.view.Navigate(onlinePage);
    ::DeleteFileA(probeFile.c_str());  // a probe file that stays does no harm
    context_.view.SetStatus("DOWNLOADING PATCHRULES...");

    if (win::OrdinaryFileExists(listFile)) {  // a list left by an earlier run; errors ignored
        ClearReadOnly(listFile);
        ::DeleteFileA(listFile.c_str());
    }
    // The side file is fetched while the list is: one round trip to the
    // server less before the first file.
    SideFileFetch side(s.WebPath + s.PatchListName + kSideFileSuffix, s.AppDir + kSideFileName,
                       context_.Download.Timeouts(), FetchesAtOnce(s.MaxDownloads) > 1);
    if (!DownloadAndLog(context_, s.WebPath + s.PatchListName, listFile, kPageAndListCap)) return RunEnding::E1;
    if (!win::OrdinaryFileExists(listFile)) return RunEnding::E2;

    bool sideFailed = false;
    std::optional<TrustRecord> remember;
    const std::optional<SideFile> sums = SideFileFor(side, sideFailed, remember);
    if (sideFailed) return RunEnding::E1;

    // At most 64 MiB (the fetch's cap); the text goes as soon as it is split.
    const std::vector<std::string> entries = PatchListEntries(SplitTextLines(win::ReadWholeFile(listFile)));
    context_.log.Line("LIST", std::to_string(entries.size()) + " entries");
    if (sums) {
        // Does it fit this list? The same rule as vtlist's.
        vt::Sha256 listHash{};
        std::uint64_t listSize = 0;
        const std::optional<std::string> misfit =
            win::Sha256OfFile(listFile, listHash, listSize)
                ? SideFileMisfit(*sums, listSize, listHash, entries)
                : std::optional<std::string>("the patch list cannot be read for its SHA-256");
        if (misfit) {
            context_.lastFailure = *misfit;
            context_.log.Line("SIDE", context_.lastFailure);
            return RunEnding::E1;
        }
        const bool keyed = !s.PublicKey.empty();
        context_.log.Line("SIDE", std::to_string(sums->entries.size()) + " hashed entries" +
                                      (keyed ? ", signature valid"
                                             : sums->signature ? ", signature not checked (no PUBLICKEY=)" : ""));
    }
    // Remembered before any file is fetched: from now on nothing older is taken.
    std::string notKept;
    if (remember && !TrustStore(s.AppDir).Remember(*remember, notKept))
        context_.log.Line("SIDE", "the accepted release cannot be remembered: " + notKept);
    HashCache hashes(s.AppDir + kHashCacheName);
    PatchEntryProcessor processor(context_, FetchesAtOnce(s.MaxDownloads));
    if (sums) processor.UseSideFile(&*sums, &hashes);
    // The counts, and what was learned about local files, also when the run
    // ends early.
    struct Report {
        const std::optional<SideFile>& sums;
        HashCache& hashes;
        PatchEntryProcessor& processor;
        RunContext& context;
        ~Report() {
            if (!sums) return;
            context.log.Line("HASHES", std::to_string(hashes.FilesRead()) + " file(s) read, " +
                                           std::to_string(processor.FilesRepaired()) + " repaired");
            if (!hashes.Save()) context.log.Line("HASHES", "the hash cache could not be written");
        }
    } report{sums, hashes, processor, context_};
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!processor.ProcessPatchEntry(entries[i], static_cast<std::int32_t>(i + 1))) return RunEnding::E4;
    if (!processor.FinishFetches()) return RunEnding::E4;
    processor.RemoveUnusedParts();

    ClearReadOnly(oldListFile);
    ClearReadOnly(listFile);
    if (win::OrdinaryFileExists(oldListFile)) RemoveFile(oldListFile);
    if (win::OrdinaryFileExists(listFile)) RemoveFile(listFile);
    return RunEnding::Done;
}

std::optional<SideFile> UpdateRun::SideFileFor(SideFileFetch& side, bool& failed, std::optional<TrustRecord>& remember) {
    const LauncherSettings& s = context_.settings;
    const bool keyed = !s.PublicKey.empty();
    auto refuse = [&](const std::string& why) {
        context_.lastFailure = why;
        context_.log.Line("SIDE", why);
        failed = true;
        return std::nullopt;
    };
    std::optional<PublicKey> key;
    if (keyed && !(key = ParsePublicKey(s.PublicKey))) return refuse("PUBLICKEY= in UPDATE.CFG is not 128 hex digits");
    if (keyed && !IsP256Point(*key))
        return refuse("the PUBLICKEY= value in UPDATE.CFG is not a valid key (not a point of the P-256 curve): "
                      "copy the line vtlist keygen printed again");

    side.Wait();
    const std::string& file = side.file;
    const FetchOutcome& outcome = side.outcome;
    const bool fetched = outcome.ok;
    context_.log.Line("FETCH", FetchLogLine(side.url, file, outcome));
    if (!fetched) {
        if (keyed) return refuse("PUBLICKEY= is set and the side file could not be fetched: " + outcome.error);
        context_.log.Line("SIDE", outcome.status == 404 ? "no side file: the date rule alone decides"
                                                         : "the side file could not be fetched (" + outcome.error +
                                                               "): the date rule alone decides");
        return std::nullopt;
    }
    const std::string text = win::ReadWholeFile(file);
    ::DeleteFileA(file.c_str());
    side.taken = true;
    std::string why;
    std::optional<SideFile> sums = ParseSideFile(text, &why);
    if (!sums) return refuse("the side file cannot be read: " + why);
    if (keyed) {
        // Signed by the key trusted now, no older release than one accepted
        // before, not expired: judged against what was remembered.
        const TrustRecord known = TrustStore(s.AppDir).Find(s.WebPath, *key);
        const SignatureCheck cng{[](std::string_view bytes) { return win::Sha256Of(bytes.data(), bytes.size()); },
                                 [](const PublicKey& signer, const Sha256& digest, const Signature& signature) {
                                     return win::VerifyP256(signer, digest, signature);
                                 }};
        const TrustVerdict verdict = JudgeSignedSideFile(*sums, text, known, win::NowEpochSeconds(), cng);
        if (!verdict.accepted) return refuse(verdict.why);
        for (const std::string& note : verdict.notes) context_.log.Line("SIDE", note);
        if (verdict.updated.current != known.current || verdict.updated.release != known.release)
            remember = verdict.updated;
    }
    return sums;
}

bool UpdateRun::HasLauncherMarker(const std::string& FileName) {
    if (!win::OrdinaryFileExists(FileName)) return false;
    return BeginsWithLauncherMarker(SplitTextLines(win::ReadWholeFile(FileName)));
}

void UpdateRun::RemoveFile(const std::string& path) {
    if (!::DeleteFileA(path.c_str())) win::ThrowSystemError("Cannot delete " + path);
}

}  // namespace vt::launcher
