#include "launcher/win/run/local_files.h"

#include <windows.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/held_file.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

// UTC file time to the local wall clock, with the zone's current bias, as
// FileTimeToLocalFileTime does.
DateValue ToLocalDateValue(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME t{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    return MakeDateValue(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond).value_or(0.0);
}

// A wait for an open another thread is making: it ends by itself, mostly
// within a fraction of a millisecond, so the first waits only yield; an open
// that takes longer (a file on a slow network share) is waited for in
// milliseconds, not by spinning a core.
void WaitAWhile(int& waits) {
    if (++waits < 64) std::this_thread::yield();
    else ::Sleep(1);
}

// The look's open: reading, sharing everything, so that only a holder that
// shares nothing stops it. Closed at once; the close keeps GetLastError.
bool OpensForTheLook(const std::string& path) {
    return static_cast<bool>(win::OpenShared(path, FILE_FLAG_BACKUP_SEMANTICS));
}

}  // namespace

DateValue LocalDateValueOf(std::uint64_t fileTime) {
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(fileTime);
    utc.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    return ToLocalDateValue(utc);
}

LocalFileLook LookAtLocalFile(const std::string& path, bool openedAhead) {
    LocalFileLook look;
    const std::wstring wide = win::PathW(path);
    // The facts by the path (under Wine a stat in the program's own process,
    // no round trip to the wine server), then the open alone, which is what
    // finds a file another program holds without sharing. Asking the open
    // handle for its times and size instead cost a no-op run of 10,000
    // entries twice the time of everything else together.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return look;
        // Refused by the path (a folder that may not be listed): the search
        // says whether there is a file, as it did before.
        look.state = win::FileExists(path) ? LocalFileLook::State::Unreadable : LocalFileLook::State::Missing;
        return look;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return look;  // a folder is no file: Missing
    if (!openedAhead) {
        // A file another program holds for a moment (a scanner, an indexer)
        // is waited for within the look's bound; one held longer is the
        // FILE ACCESS ERROR, as it always was.
        int tries = 0;
        if (!win::WhileHeld(path, HoldBound::Look, [&] {
                ++tries;
                return OpensForTheLook(path);
            })) {
            const DWORD error = ::GetLastError();  // gone since the first question, or held
            look.state = error == ERROR_FILE_NOT_FOUND ? LocalFileLook::State::Missing : LocalFileLook::State::Unreadable;
            return look;
        }
        // Waited for: the holder may have written it meanwhile.
        if (tries > 1 && !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return look;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(wide.c_str(), data.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    look.state = LocalFileLook::State::Present;
    look.lastWritten = ToLocalDateValue(data.ftLastWriteTime);
    look.facts = win::FactsOf(data);
    return look;
}

OpensAhead::OpensAhead(const std::vector<std::string>& lines, FileToOpen fileToOpen, int threads, Planner planner)
    : lines_(lines),
      fileToOpen_(std::move(fileToOpen)),
      planner_(std::move(planner)),
      count_(lines.size()),
      slots_(std::make_unique<std::atomic<std::uint8_t>[]>(lines.size())) {
    for (std::size_t i = 0; i < count_; ++i) slots_[i].store(kUnopened, std::memory_order_relaxed);
    // A few opens more on the run's thread cost less than the threads; and a
    // held thread without its event to wait for would spin.
    if (count_ < kFewest || !go_) {
        while (PlanOne()) {
        }
        return;
    }
    go_.Set();
    try {
        for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Open(); });
    } catch (const std::exception&) {
        // No thread to be had: those started go on, and the run opens the rest.
    }
    if (threads_.empty())
        while (PlanOne()) {
        }
}

bool OpensAhead::PlanOne() {
    if (!planner_) return false;
    const std::size_t i = nextPlan_++;
    if (i >= count_) return false;
    try {
        planner_(i, lines_[i]);
    } catch (const std::exception&) {
        // Out of memory: the line stays unplanned, and the run's decision covers it.
    }
    return true;
}

OpensAhead::~OpensAhead() {
    stopping_ = true;
    go_.Set();
    threads_.clear();
}

void OpensAhead::Open() {
    // The plan first: a stat a line, no handle, never held back by the run's
    // writes, so the whole update's total is known within moments.
    while (!stopping_ && PlanOne()) {
    }
    while (!stopping_) {
        // busy_ before held_, and Hold the other way round: either Hold
        // waits for this open, or this thread sees that it is held.
        ++busy_;
        if (held_) {
            --busy_;
            go_.Wait();
            continue;
        }
        const std::size_t i = next_++;
        if (i >= count_) {
            --busy_;
            return;  // every line taken up (a line forgotten later is the run's to open)
        }
        std::uint8_t unopened = kUnopened;
        if (slots_[i].compare_exchange_strong(unopened, kOpening)) {
            bool opened = false;
            try {
                const std::string path = fileToOpen_(lines_[i]);
                opened = !path.empty() && OpensForTheLook(path);
            } catch (const std::exception&) {
                // Out of memory: the run asks itself. The slot must end, or the run waits for it.
            }
            slots_[i] = opened ? kOpened : kFailed;
        }
        --busy_;
    }
}

bool OpensAhead::Opened(std::size_t index) {
    if (index >= count_) return false;
    std::uint8_t slot = slots_[index];
    for (int waits = 0;;) {
        if (slot == kOpening) {
            WaitAWhile(waits);
            slot = slots_[index];
            continue;
        }
        if (slots_[index].compare_exchange_weak(slot, kTaken)) break;
    }
    passed_ = std::max(passed_, index + 1);
    std::size_t next = next_;
    while (next < passed_ && !next_.compare_exchange_weak(next, passed_)) {
    }
    return slot == kOpened;
}

void OpensAhead::Hold(bool forget) {
    held_ = true;
    go_.Clear();
    for (int waits = 0; busy_ != 0;) WaitAWhile(waits);  // the opens going end
    if (!forget) return;
    // No thread takes up a line before next_ again: a line forgotten is the run's to open.
    const std::size_t end = std::min<std::size_t>(next_, count_);
    for (std::size_t i = passed_; i < end; ++i) {
        std::uint8_t slot = slots_[i];
        if (slot == kOpened || slot == kFailed) slots_[i] = kUnopened;
    }
}

void OpensAhead::Go() {
    if (!held_) return;
    held_ = false;
    go_.Set();
}

std::size_t OpensAhead::Waiting() const {
    std::size_t waiting = 0;
    for (std::size_t i = 0; i < count_; ++i) waiting += slots_[i] == kOpened || slots_[i] == kFailed;
    return waiting;
}

void ClearReadOnly(const std::string& FileName) {
    const DWORD attributes = ::GetFileAttributesW(win::PathW(FileName).c_str());
    // Writing back unchanged attributes changes nothing, and under Wine costs
    // fifteen times the read: only a read-only file is written to.
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
    ::SetFileAttributesW(win::PathW(FileName).c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

void CreateFolderPath(const std::string& Path) {
    std::string accumulated;
    std::size_t start = 0;
    // A path on a network share keeps "\\server\share\" as its root, which is
    // never created; without this the leading "\\" was dropped and stray
    // "server\share\..." folders appeared relative to the current folder.
    if (StartsWith(Path, "\\\\")) {
        const std::size_t serverEnd = Path.find('\\', 2);
        const std::size_t shareEnd = serverEnd == std::string::npos ? std::string::npos : Path.find('\\', serverEnd + 1);
        if (shareEnd == std::string::npos) return;  // nothing below the share root
        accumulated = Path.substr(0, shareEnd + 1);
        start = shareEnd + 1;
    }
    std::vector<std::wstring> folders;  // each folder along the path, outermost first
    while (start <= Path.size()) {
        std::size_t end = Path.find('\\', start);
        if (end == std::string::npos) end = Path.size();
        const std::string component = Path.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        accumulated += component + "\\";
        if (component.back() != ':') folders.push_back(win::PathW(accumulated));
    }
    // Up from the deepest while the parent is missing, as 7-Zip's
    // CreateComplexDir does; "exists" (a folder, or a file in the way) and any
    // other failure end the climb, and the way down makes what is left.
    std::size_t made = folders.size();
    while (made > 0) {
        if (::CreateDirectoryW(folders[made - 1].c_str(), nullptr) || ::GetLastError() != ERROR_PATH_NOT_FOUND) break;
        --made;
    }
    for (; made < folders.size(); ++made) ::CreateDirectoryW(folders[made].c_str(), nullptr);
}

void RunFolders::Make(const std::string& folder) {
    if (made_.insert(win::FileNameKey(folder)).second) CreateFolderPath(folder);
}

}  // namespace vt::launcher
