// Every question an update run asks of the disk about the mod's local files,
// in one place, each asked once: the look at a list entry's file (its facts
// by the path, and one open, which is what finds a file another program
// holds, the FILE ACCESS ERROR), a folder made once a run, the read-only bit cleared. Paths are
// UTF-8, given to the system's wide functions.
//
// A no-op start asks this for each of tens of thousands of entries, and under
// Wine every call is a round trip to the wine server: a question not asked
// is the only cheap one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "launcher/rules/date_value.h"
#include "platform/win/event.h"
#include "platform/win/files.h"
#include "platform/win/worker_thread.h"

namespace vt::launcher {

using win::FileFacts;

// One look at a list entry's local file: whether it is there, and then its
// last-write time (local, to the second, milliseconds dropped) with its size
// and raw last-write time, so that comparing it with the side file needs no
// second question. The facts come by the path; the file is opened only to
// find one another program holds. A folder at the name, or nothing there, is
// Missing; a file that exists but cannot be opened (held without sharing) is
// Unreadable. A read-only file has the attribute cleared. `openedAhead`: the
// open has been done for this look already (OpensAhead), and worked.
struct LocalFileLook {
    enum class State { Missing, Present, Unreadable };
    State state = State::Missing;
    DateValue lastWritten = 0;
    FileFacts facts;
};
LocalFileLook LookAtLocalFile(const std::string& path, bool openedAhead = false);
// A raw last-write time (FILETIME as 64 bits, UTC) as the look reads it:
// local, to the second.
DateValue LocalDateValueOf(std::uint64_t fileTime);

// The looks' opens of the entries ahead of the run, on threads of their own.
//
// Why: under Wine an open and its close are two round trips to the one wine
// server, about a hundred microseconds on a small machine, against a few for
// everything else a no-op entry costs. Round trips from several threads
// overlap (on two cores, three threads open 10,000 files in half the time one
// does), so the run's thread finds most opens done when it gets there.
//
// What stays as it was: an open that worked ahead is taken for the look's own
// (it worked a moment earlier, and nothing of the run wrote a file since);
// one that failed ahead (held, missing, not yet made) is asked again by the
// run in its order, so a FILE ACCESS ERROR still comes only from an open at
// the moment the run reaches the entry. The run's own writes never meet an
// open ahead: Hold, before the run writes or removes a local file, waits for
// the opens going and begins none until Go, and with `forget` drops what was
// opened ahead, so nothing opened before a file was replaced is taken for
// the file that replaced it.
class OpensAhead {
public:
    // The local file an entry's look would open, or "" for none (an entry
    // the run refuses, or one whose stamp is not a date). Called on the
    // opening threads: it must only read what it is given.
    using FileToOpen = std::function<std::string(const std::string& line)>;
    // What the whole update will fetch for lines[i] (update_progress.h):
    // asked of every line once, before any open, by the facts of its file
    // (a stat, no handle: nothing the run writes meets it, so it is never
    // held). Called on the threads, or at once on the run's when there are
    // none; it must only read what it is given.
    using Planner = std::function<void(std::size_t index, const std::string& line)>;
    // `lines` (entry i + 1 is lines[i]) must outlive this. Fewer than
    // `kFewest` lines, or no thread to be had: nothing is opened ahead (and
    // the planner, if any, is asked here, on the caller's thread).
    OpensAhead(const std::vector<std::string>& lines, FileToOpen fileToOpen, int threads = kThreads,
               Planner planner = {});
    ~OpensAhead();  // stops the threads and waits for them (an open ends by itself)
    OpensAhead(const OpensAhead&) = delete;
    OpensAhead& operator=(const OpensAhead&) = delete;

    // The run's side, all on its one thread. Opened: the run looks at
    // lines[index] now; whether its file was opened ahead (an open going is
    // waited for). No thread opens it after this.
    bool Opened(std::size_t index);
    void Hold(bool forget);
    void Go();
    // How many lines' opens have ended ahead and not been taken yet.
    std::size_t Waiting() const;

    static constexpr int kThreads = 3;
    static constexpr std::size_t kFewest = 64;

private:
    // A line's slot. Only a thread that moves Unopened to Opening opens it,
    // and only the run moves a slot to Taken.
    enum Slot : std::uint8_t { kUnopened, kOpening, kOpened, kFailed, kTaken };
    void Open();  // one thread's work
    bool PlanOne();  // the next line not planned yet; false when every line is

    // No lock: under Wine a lock that two threads want is a round trip to the
    // wine server each time, as many as the opens themselves.
    const std::vector<std::string>& lines_;
    const FileToOpen fileToOpen_;
    const Planner planner_;
    const std::size_t count_;
    std::atomic<std::size_t> nextPlan_{0};  // the next line a thread plans
    std::unique_ptr<std::atomic<std::uint8_t>[]> slots_;
    std::atomic<std::size_t> next_{0};  // the next line a thread takes up; never behind the run
    std::size_t passed_ = 0;            // the run's: it has looked at every line before this one
    std::atomic<int> busy_{0};          // threads between their look at held_ and the end of one open
    std::atomic<bool> held_{false};
    std::atomic<bool> stopping_{false};
    win::Event go_{win::Event::Reset::Manual};  // set while not held: a held thread waits for it
    std::vector<win::WorkerThread> threads_;     // last: they go first, waited for
};

// Clears only the read-only attribute; a missing file is no error.
void ClearReadOnly(const std::string& FileName);

// Creates every folder along `Path` ("\"-separated; empty components skipped,
// drives such as "C:" left alone, and "\\server\share\" kept as the root of a
// path on a network share). From the deepest folder up to the first that
// exists, then down again: a folder that is there costs one question. Every
// failure is ignored (the file's open then says what is wrong).
void CreateFolderPath(const std::string& Path);

// The folders a run has made or found, so that the entries of one folder ask
// for it once. A folder removed meanwhile by another program is not noticed;
// the open of the file then fails as it would have.
class RunFolders {
public:
    void Make(const std::string& folder);

private:
    std::unordered_set<std::string> made_;  // FileNameKey of each folder path asked for
};

}  // namespace vt::launcher
