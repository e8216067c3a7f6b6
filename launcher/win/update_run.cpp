#include "launcher/win/update_run.h"

#include <windows.h>

#include "config/text_lines.h"
#include "launcher/win/file_helpers.h"
#include "launcher/win/patch_entries.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"

namespace vt::launcher {

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
    context_.log.Flush();
    return outcome;
}

RunEnding UpdateRun::Ending() {
    const RunEnding ending = Steps();
    context_.view.SetStatus(EndingStatusText(ending));
    // The ending names its cause, so that a player's log says why (a server
    // down, a folder that cannot be written, a cut body), not only which code.
    const bool fetchEnding = ending == RunEnding::E11 || ending == RunEnding::E1 || ending == RunEnding::E4;
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
    if (!DownloadAndLog(context_, s.WebPath + s.PatchListName, listFile, kPageAndListCap)) return RunEnding::E1;
    if (!win::OrdinaryFileExists(listFile)) return RunEnding::E2;

    // At most 64 MiB (the fetch's cap); the text goes as soon as it is split.
    const std::vector<std::string> entries = PatchListEntries(SplitTextLines(win::ReadWholeFile(listFile)));
    context_.log.Line("LIST", std::to_string(entries.size()) + " entries");
    PatchEntryProcessor processor(context_, FetchesAtOnce(s.MaxDownloads));
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

bool UpdateRun::HasLauncherMarker(const std::string& FileName) {
    if (!win::OrdinaryFileExists(FileName)) return false;
    return BeginsWithLauncherMarker(SplitTextLines(win::ReadWholeFile(FileName)));
}

void UpdateRun::RemoveFile(const std::string& path) {
    if (!::DeleteFileA(path.c_str())) win::ThrowSystemError("Cannot delete " + path);
}

}  // namespace vt::launcher
