// One entry of the patch list at a time: split and clean it, create its
// folders, show its progress text, decide by its stamp and the local file's
// last-write time, and fetch its file when needed.
//
// Every fetch goes through a FetchPool. With MAXDOWNLOADS=1 the pool has one
// thread and each fetch is waited for before the next entry, as the entries
// were always processed. With more than one fetch at once, the entries are
// decided on without waiting for the fetches; files
// still replace their targets in list order, and the run ends as it would
// have one at a time: at the first entry that fails, with every entry before
// it in place and none after it. An entry whose file is still being fetched
// for an earlier entry waits for that first, so it is decided on what is on
// disk. A FILE ACCESS ERROR waits for the fetches before it.
//
// An entry whose LocalPath is absolute (a drive, a stream, UNC) or climbs with
// ".." above the folder that holds the launcher's folder fails like a malformed
// entry, before anything is written: a list must not reach outside the mod.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "launcher/rules/date_value.h"
#include "launcher/rules/entry_decision.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/progress_text.h"
#include "launcher/rules/update_progress.h"
#include "launcher/win/fetch/fetch_pool.h"
#include "launcher/win/run/local_files.h"
#include "launcher/win/run/hash_cache.h"
#include "launcher/win/run/run_context.h"

namespace vt::launcher {

// Thrown when a local file's times cannot be read: the run ends with the
// FILE ACCESS ERROR, which the window shows before it ends the program.
struct FileAccessFailure {
    std::string localFile;
};

class PatchEntryProcessor {
public:
    // The run's pool: one wide is one at a time.
    // `mirrors`: the run's sources of the files the side file vouches for.
    PatchEntryProcessor(RunContext& context, FetchPool& pool, MirrorSet& mirrors);
    ~PatchEntryProcessor();

    // False stops the run with E4.
    bool ProcessPatchEntry(const std::string& Line, std::int32_t LineIndex);

    // Waits for the fetches still going and puts their files in place, in
    // order; false (E4) at the first that fails.
    bool FinishFetches();
    // Why the fetch that ended the run with E4 failed (its URL and error);
    // empty when no fetch failed (an entry refused, a malformed line).
    const std::string& Failure() const { return failure_; }

    // After a complete run: partial files kept for a later run that this run
    // did not need are removed.
    void RemoveUnusedParts();

    // The publisher's side file: fetched bodies must match it, and files that
    // differ from it are fetched again (repaired) unless marked "keep".
    // `hashes` remembers local files' digests between runs.
    void UseSideFile(const SideFile* sums, HashCache* hashes);
    // The looks' opens of `entries` (the run's list, which must outlive this
    // processor) are begun ahead of the run (see OpensAhead), and with a
    // side file the whole update is planned on the same walk (UpdatePlan).
    void OpenAhead(const std::vector<std::string>& entries);
    // No open ahead goes on after this: the run is about to write files of
    // its own (the hash cache) whatever the list names.
    void StopOpeningAhead() { ahead_.reset(); }
    int FilesRepaired() const { return repaired_; }

    // Whether the entry's file is fetched, and why: the date rule on one look
    // at the local file, then the side file's word (`side`, when it has an
    // entry for it). A file whose times cannot be read throws FileAccessFailure.
    // `openedAhead`: the look's open was done ahead, and worked.
    EntryDecision Decide(const std::string& LocalFile, const std::string& Stamp, const SideEntry* side,
                         bool openedAhead = false);

private:
    bool Fetch(const std::string& url, const std::string& LocalFile, std::int32_t LineIndex, const SideEntry* expected);
    void Decided(std::int32_t LineIndex);  // the entry's plan leaves the whole update's total
    // Whether the local file is what was released (`facts`: its size and time,
    // when just read).
    bool MatchesSide(const std::string& LocalFile, const FileFacts* facts, const SideEntry& side);
    bool PutInPlace(std::unique_ptr<PoolFetch> fetch);  // the oldest fetch: log it, replace its target
    std::unique_ptr<PoolFetch> TakeOldest();            // waits, showing the fetch's progress meanwhile
    // The status text names the entry the run waits for: the oldest fetch
    // still going, else `deciding` (0: none); after it the whole update's
    // figures (update_progress.h), worked out kProgressEveryMs apart at most,
    // and its share on the taskbar.
    void ShowProgress(std::int32_t deciding);
    std::string WholeFigures(bool fetching);  // "" when there are none to show
    static constexpr ULONGLONG kProgressEveryMs = 250;

    // Each folder of the list once per run: what a stopped run left there goes.
    void RemoveLeftoversOnce(const std::string& LocalFile);

    RunContext& context_;
    const SideFile* sums_ = nullptr;
    HashCache* hashes_ = nullptr;
    int repaired_ = 0;
    std::string failure_;
    FetchPool* pool_;
    MirrorSet* mirrors_;
    bool oneAtATime_;  // each fetch is waited for before the next entry
    std::int32_t shownIndex_ = 0;      // the entry the status text names
    ULONGLONG progressShownAt_ = 0;    // when the figures were last worked out
    std::string figures_;              // the whole update's, as last worked out
    std::size_t entries_ = 0;          // of the list
    std::unique_ptr<UpdatePlan> plan_;  // with a side file: what the run will fetch
    RecentRate wholeRate_;             // of all the run's fetches together
    SteadyShare share_;                // the taskbar's
    std::unordered_set<std::string> checkedFolders_;  // FileNameKey
    RunFolders folders_;                              // the entries' folders, each made once a run
    std::vector<std::string> foldersWithKeptParts_;
    std::unordered_set<std::string> keptParts_;  // FullPathKey: targets whose partial file may be continued
    int twoDigitYearMax_;  // the system's two-digit-year setting, read once per run
    // Held whenever the run writes local files: while fetches are pending,
    // and while a folder's leftovers are swept.
    std::unique_ptr<OpensAhead> ahead_;
};

}  // namespace vt::launcher
