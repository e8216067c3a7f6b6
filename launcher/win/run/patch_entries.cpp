#include "launcher/win/run/patch_entries.h"

#include <windows.h>

#include "launcher/rules/patch_entry.h"
#include "launcher/rules/progress_text.h"
#include "launcher/rules/update_progress.h"
#include "launcher/rules/url_path.h"
#include "launcher/win/fetch/leftover_sweep.h"
#include "launcher/win/fetch/part_file.h"
#include "launcher/win/run/local_files.h"
#include "platform/text.h"
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

// A line as the look ahead reads it: an entry the run takes, its stamp's
// kind and date. Nothing for one it refuses (the run ends there).
struct AheadEntry {
    PatchEntry entry;
    StampKind kind = StampKind::Unreadable;
    DateValue date = 0;
};
std::optional<AheadEntry> EntryAhead(int twoDigitYearMax, const std::string& line) {
    std::optional<PatchEntry> entry = SplitPatchEntry(line);
    if (!entry || EntryRefusal(*entry)) return std::nullopt;
    AheadEntry ahead{std::move(*entry)};
    ahead.kind = ClassifyStamp(ahead.entry.Stamp, ahead.date, twoDigitYearMax);
    return ahead;
}

// The file an entry's look opens, as ProcessPatchEntry comes to it; "" for an
// entry it refuses or decides on without a look.
std::string FileTheLookOpens(const std::string& appDir, int twoDigitYearMax, const std::string& line) {
    const std::optional<AheadEntry> ahead = EntryAhead(twoDigitYearMax, line);
    if (!ahead || ahead->kind != StampKind::Date) return {};
    return appDir + ahead->entry.LocalPath;
}

// The bytes the look ahead plans for line `index` (0-based) with its side
// file entry: by the facts of its file, no digest read (PlannedBytes).
std::uint64_t PlanLine(const std::string& appDir, int twoDigitYearMax, const SideFile& sums, std::size_t index,
                       const std::string& line) {
    const auto side = sums.entries.find(static_cast<std::int32_t>(index + 1));
    if (side == sums.entries.end()) return 0;
    const std::optional<AheadEntry> ahead = EntryAhead(twoDigitYearMax, line);
    if (!ahead) return 0;
    AheadFacts facts;
    if (const std::optional<win::FileFacts> found = win::ReadFileFacts(appDir + ahead->entry.LocalPath)) {
        facts.present = true;
        facts.size = found->size;
        facts.lastWritten = LocalDateValueOf(found->written);
    }
    return PlannedBytes(ahead->kind, ahead->date, facts, &side->second);
}

}  // namespace

// Finished fetches may wait this many at most for an earlier, slower one
// before the run stops deciding entries (each holds an open partial file).
constexpr std::size_t kPendingPerFetch = 8;

PatchEntryProcessor::PatchEntryProcessor(RunContext& context, FetchPool& pool, MirrorSet& mirrors)
    : context_(context),
      pool_(&pool),
      mirrors_(&mirrors),
      oneAtATime_(pool.FetchesAtOnce() <= 1),  // a pool of one whose fetch is waited for at once
      twoDigitYearMax_(SystemTwoDigitYearMax()) {}

PatchEntryProcessor::~PatchEntryProcessor() { pool_->StopAll(); }  // what it started and did not take back

void PatchEntryProcessor::UseSideFile(const SideFile* sums, HashCache* hashes) {
    sums_ = sums;
    hashes_ = hashes;
}

void PatchEntryProcessor::OpenAhead(const std::vector<std::string>& entries) {
    entries_ = entries.size();
    OpensAhead::Planner planner;
    if (sums_) {
        plan_ = std::make_unique<UpdatePlan>(entries.size());
        planner = [appDir = context_.settings.AppDir, yearMax = twoDigitYearMax_, sums = sums_,
                   plan = plan_.get()](std::size_t index, const std::string& line) {
            plan->Plan(index, PlanLine(appDir, yearMax, *sums, index, line));
        };
    }
    ahead_ = std::make_unique<OpensAhead>(
        entries,
        [appDir = context_.settings.AppDir, yearMax = twoDigitYearMax_](const std::string& line) {
            return FileTheLookOpens(appDir, yearMax, line);
        },
        OpensAhead::kThreads, std::move(planner));
}

void PatchEntryProcessor::Decided(std::int32_t LineIndex) {
    if (plan_) plan_->Decided(static_cast<std::size_t>(LineIndex) - 1);
}

bool PatchEntryProcessor::MatchesSide(const std::string& LocalFile, const FileFacts* facts, const SideEntry& side) {
    if (!hashes_) return false;
    const std::optional<LocalDigest> local = hashes_->DigestOf(LocalFile, facts);
    return local && local->size == side.size && local->hash == side.hash;
}

bool PatchEntryProcessor::Fetch(const std::string& url, const std::string& LocalFile, std::int32_t LineIndex,
                                const SideEntry* expected) {
    const bool leftBehind = keptParts_.count(win::FullPathKey(LocalFile)) > 0;
    FetchRequest request{url, LocalFile, kNoBodyCap, leftBehind, expected};
    const std::string& base = context_.settings.WebPath;
    if (expected && mirrors_->HasMirrors() && url.compare(0, base.size(), base) == 0) {
        request.mirrors = mirrors_;  // only bytes the side file vouches for come from a mirror
        request.remotePath = url.substr(base.size());
    }
    if (ahead_) ahead_->Hold(true);  // until every fetch is in place; what was opened before may be replaced
    // The entry's plan leaves the total once its fetch is in the pool, which
    // counts it from then on: the total never dips in between.
    if (oneAtATime_) {
        pool_->Submit(LineIndex, std::move(request));
        Decided(LineIndex);
        return PutInPlace(TakeOldest());
    }
    while (pool_->OldestDone())
        if (!PutInPlace(TakeOldest())) return false;
    if (pool_->Pending() >= kPendingPerFetch * static_cast<std::size_t>(pool_->FetchesAtOnce()))
        if (!PutInPlace(TakeOldest())) return false;
    pool_->Submit(LineIndex, std::move(request));
    Decided(LineIndex);
    return true;
}

std::unique_ptr<PoolFetch> PatchEntryProcessor::TakeOldest() {
    return pool_->TakeOldest([this] { ShowProgress(0); });
}

void PatchEntryProcessor::ShowProgress(std::int32_t deciding) {
    const std::optional<OldestFetch> oldest = pool_->Oldest();
    if (!oldest) {
        // Nothing is being fetched: the entry being decided, every time.
        if (deciding == 0) return;
        context_.view.SetStatus(EntryStatusText(deciding));
        shownIndex_ = deciding;
    } else if (oldest->index != shownIndex_) {
        context_.view.SetStatus(EntryStatusText(oldest->index));  // logged: the entry waited for changed
        shownIndex_ = oldest->index;
    }
    // The figures follow the entry's text (shown, not logged): worked out
    // anew a few times a second, and kept between.
    const ULONGLONG now = ::GetTickCount64();
    if (progressShownAt_ == 0 || now - progressShownAt_ >= kProgressEveryMs) {
        progressShownAt_ = now;
        figures_ = WholeFigures(oldest.has_value());
    }
    if (!figures_.empty()) context_.view.ShowProgress(EntryStatusText(shownIndex_) + figures_);
}

std::string PatchEntryProcessor::WholeFigures(bool fetching) {
    const ULONGLONG now = ::GetTickCount64();
    const FetchTotals totals = pool_->Totals();
    wholeRate_.Held(now, totals.done);
    const std::uint64_t rate = wholeRate_.BytesPerSecond(now);
    if (plan_) {
        // The sizes are known: the whole update, once the look ahead has
        // planned every entry (moments after the list is read).
        if (!plan_->Complete()) return {};
        const std::uint64_t total = totals.total + plan_->Undecided();
        if (total > 0) context_.view.ShowTotalProgress(share_.Of(totals.done, total), SteadyShare::kWhole);
        return WholeUpdateFigures(totals.done, total, rate);
    }
    // Sizes come only with the answers: the entries, and what has arrived.
    if (!fetching && totals.done == 0) return {};
    context_.view.ShowTotalProgress(share_.Of(static_cast<std::uint64_t>(shownIndex_), entries_), SteadyShare::kWhole);
    return EntriesFigures(shownIndex_, entries_, totals.done, rate);
}

bool PatchEntryProcessor::PutInPlace(std::unique_ptr<PoolFetch> fetch) {
    const Finished finished = Finish(context_, *fetch, hashes_);
    if (finished) return true;
    failure_ = finished.why;
    context_.log.Line("ENTRY", std::to_string(fetch->index) + " failed; the fetches after it are stopped");
    pool_->StopAll();
    return false;
}

bool PatchEntryProcessor::FinishFetches() {
    while (pool_->Pending() > 0)
        if (!PutInPlace(TakeOldest())) return false;
    return true;
}

void PatchEntryProcessor::RemoveUnusedParts() {
    StopOpeningAhead();  // every entry is decided on
    for (const std::string& folder : foldersWithKeptParts_) {
        const LeftoverSweep sweep = RemoveLeftoverParts(folder, false);
        if (sweep.removed)
            context_.log.Line("ENTRY", "removed " + std::to_string(sweep.removed) + " partial file(s) in " + folder +
                                           " that no entry needed");
    }
}

bool PatchEntryProcessor::ProcessPatchEntry(const std::string& Line, std::int32_t LineIndex) {
    const std::string index = std::to_string(LineIndex);
    ++context_.summary.entriesLooked;
    const std::optional<PatchEntry> entry = SplitPatchEntry(Line);
    if (!entry) {
        context_.log.Line("ENTRY", index + " malformed (needs exactly two \"|\"): " + Line);
        FinishFetches();  // the entries before it are in place, as one at a time
        return false;
    }
    if (const std::optional<std::string> refusal = EntryRefusal(*entry)) {
        context_.log.Line("ENTRY", index + " refused, " + *refusal);
        FinishFetches();
        return false;
    }
    const std::string& appDir = context_.settings.AppDir;
    const std::string folders = EntryFolderPath(appDir, entry->LocalPath);
    if (!folders.empty()) folders_.Make(folders);

    // The list has had every "/" turned into "\"; the URL is sent, logged and
    // shown with "/" and its name percent-encoded, as vtlist check asks for it.
    const std::string url = context_.settings.WebPath + EncodeUrlPath(entry->RemotePath);
    ShowProgress(LineIndex);  // the entry the run waits for: the oldest fetch still going, else this one
    const std::string LocalFile = appDir + entry->LocalPath;
    RemoveLeftoversOnce(LocalFile);
    // The same file fetched for an earlier entry: decide on it once it is in place.
    if (pool_->IsPending(LocalFile) && !FinishFetches()) return false;
    const SideEntry* side = nullptr;
    if (sums_)
        if (const auto found = sums_->entries.find(LineIndex); found != sums_->entries.end()) side = &found->second;
    // With PUBLICKEY= the player trusts the signature: what it does not cover
    // is said aloud, not installed as if it were checked.
    if (sums_ && !side && !context_.settings.PublicKey.empty())
        context_.log.Line("ENTRY", index + " " + LocalFile + ": not covered by a hash in the signed side file, " +
                                       "installed without a check");
    if (ahead_ && pool_->Pending() == 0) ahead_->Go();  // nothing of the run writes now
    const bool openedAhead = ahead_ && ahead_->Opened(static_cast<std::size_t>(LineIndex) - 1);
    EntryDecision decision;
    try {
        decision = Decide(LocalFile, entry->Stamp, side, openedAhead);
    } catch (const FileAccessFailure&) {
        // One at a time, every entry before this one would be in place, or the
        // run would have ended with E4 at the first that failed.
        if (!FinishFetches()) return false;
        // The wait named the fetches it waited for: the box that follows is
        // about this entry, and so is the last text the player sees.
        if (shownIndex_ != LineIndex) {
            context_.view.SetStatus(EntryStatusText(LineIndex));
            shownIndex_ = LineIndex;
        }
        throw;
    }
    repaired_ += decision.repairing;
    context_.log.Line("ENTRY", index + " " + LocalFile + ": " + decision.why + (decision.needed ? ", fetching" : ""));
    if (!decision.needed) Decided(LineIndex);
    return !decision.needed || Fetch(url, LocalFile, LineIndex, side);
}

void PatchEntryProcessor::RemoveLeftoversOnce(const std::string& LocalFile) {
    const std::string folder = FolderOf(LocalFile);
    if (!checkedFolders_.insert(win::FileNameKey(folder)).second) return;
    if (ahead_) ahead_->Hold(false);  // the sweep removes files; nothing of what was opened ahead changes
    const LeftoverSweep sweep = RemoveLeftoverParts(folder);
    if (sweep.removed)
        context_.log.Line("ENTRY", "removed " + std::to_string(sweep.removed) + " \"*" + kPartSuffix + "\" left in " +
                                       folder + " by a stopped run");
    if (sweep.kept) {
        context_.log.Line("ENTRY", "kept " + std::to_string(sweep.kept) + " partial file(s) in " + folder +
                                       " that a fetch may continue");
        foldersWithKeptParts_.push_back(folder);
        for (const std::string& target : sweep.keptTargets) keptParts_.insert(win::FullPathKey(target));
    }
}

EntryDecision PatchEntryProcessor::Decide(const std::string& LocalFile, const std::string& Stamp,
                                          const SideEntry* side, bool openedAhead) {
    DateValue listDate = 0;
    const StampKind kind = ClassifyStamp(Stamp, listDate, twoDigitYearMax_);
    LocalFileLook look;  // only a dated entry looks at its file; the side file's rule may read it
    if (kind == StampKind::Date) {
        look = LookAtLocalFile(LocalFile, openedAhead);
        if (look.state == LocalFileLook::State::Unreadable) {
            context_.log.Line("ENTRY", LocalFile + ": its times cannot be read, FILE ACCESS ERROR");
            throw FileAccessFailure{LocalFile};
        }
    }
    const bool present = look.state == LocalFileLook::State::Present;
    const EntryDecision byDate =
        DecideByDate(kind, Stamp, listDate, present ? std::optional<DateValue>(look.lastWritten) : std::nullopt);
    if (!side) return byDate;
    return WithSideFile(byDate, side->repair, [&] {
        // "immer" has not looked: the hash cache asks for the size and time itself.
        return kind == StampKind::Always ? MatchesSide(LocalFile, nullptr, *side)
                                         : present && MatchesSide(LocalFile, &look.facts, *side);
    });
}

}  // namespace vt::launcher
