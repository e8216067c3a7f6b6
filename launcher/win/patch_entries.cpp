#include "launcher/win/patch_entries.h"

#include <windows.h>

#include "launcher/rules/patch_entry.h"
#include "launcher/win/download_file.h"
#include "launcher/win/file_helpers.h"
#include "platform/win/files.h"

namespace vt::launcher {
namespace {

// The last year a two-digit year stands for, as the player's region settings
// say (Windows' default, and the value when it cannot be read: 2029).
int SystemTwoDigitYearMax() {
    DWORD value = 0;
    if (::GetCalendarInfoA(LOCALE_USER_DEFAULT, CAL_GREGORIAN, CAL_ITWODIGITYEARMAX | CAL_RETURN_NUMBER, nullptr, 0,
                           &value) &&
        value >= 99 && value <= 9999)
        return static_cast<int>(value);
    return kDefaultTwoDigitYearMax;
}

}  // namespace

PatchEntryProcessor::PatchEntryProcessor(RunContext& context)
    : context_(context), twoDigitYearMax_(SystemTwoDigitYearMax()) {}

bool PatchEntryProcessor::ProcessPatchEntry(const std::string& Line, std::int32_t LineIndex) {
    const std::string index = std::to_string(LineIndex);
    const std::optional<PatchEntry> entry = SplitPatchEntry(Line);
    if (!entry) {
        context_.log.Line("ENTRY", index + " malformed (needs exactly two \"|\"): " + Line);
        return false;
    }
    if (!IsSafeEntry(*entry)) {
        context_.log.Line("ENTRY", index + " refused, the local path leaves the mod's folders: " + entry->LocalPath);
        return false;
    }
    const std::string& appDir = context_.settings.AppDir;
    const std::string folders = EntryFolderPath(appDir, entry->LocalPath);
    if (!folders.empty()) CreateFolderPath(folders);

    const std::string url = context_.settings.WebPath + entry->RemotePath;
    context_.view.SetStatus(EntryStatusText(LineIndex));
    const std::string LocalFile = appDir + entry->LocalPath;
    RemoveLeftoversOnce(LocalFile);
    if (!NeedsDownload(LocalFile, entry->Stamp)) {
        context_.log.Line("ENTRY", index + " " + LocalFile + ": " + decision_);
        return true;
    }
    context_.log.Line("ENTRY", index + " " + LocalFile + ": " + decision_ + ", fetching");
    return DownloadAndLog(context_, url, LocalFile);
}

void PatchEntryProcessor::RemoveLeftoversOnce(const std::string& LocalFile) {
    const std::string folder = LocalFile.substr(0, LocalFile.find_last_of('\\') + 1);
    if (!checkedFolders_.insert(folder).second) return;
    if (const int removed = RemoveLeftoverParts(folder))
        context_.log.Line("ENTRY", "removed " + std::to_string(removed) + " \"*" + kPartSuffix + "\" left in " + folder +
                                       " by a stopped run");
}

bool PatchEntryProcessor::NeedsDownload(const std::string& LocalFile, const std::string& Stamp) {
    DateValue date = 0;
    switch (ClassifyStamp(Stamp, date, twoDigitYearMax_)) {
        case StampKind::Always:
            decision_ = "fetched on every run";
            return true;
        case StampKind::Unreadable:
            decision_ = "stamp \"" + Stamp + "\" cannot be read, not fetched";
            return false;
        case StampKind::Date:
            break;
    }
    if (!win::FileExists(LocalFile)) {
        decision_ = "missing";
        return true;
    }
    const bool older = IsOlderThan(LocalFile, date);
    decision_ = older ? "older than its stamp" : "up to date";
    return older;
}

bool PatchEntryProcessor::IsOlderThan(const std::string& LocalFile, DateValue ListDate) {
    DateValue created = 0, accessed = 0, written = 0;
    if (!GetFileTimes(LocalFile, created, accessed, written)) {
        context_.log.Line("ENTRY", LocalFile + ": its times cannot be read, FILE ACCESS ERROR");
        context_.log.Flush();
        throw FileAccessFailure{LocalFile};
    }
    return written < ListDate;
}

}  // namespace vt::launcher
