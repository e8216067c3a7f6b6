#include "launcher/win/download_file.h"

#include <windows.h>

#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "platform/win/replace_file.h"

namespace vt::launcher {
namespace {

constexpr std::uint64_t kFreeSpaceCheckEvery = 16ull * 1024 * 1024;

// Writes the body to "<target>.vtpart" in the target's own folder, so the
// final move stays on one volume.
class TemporaryFileSink : public DownloadSink {
public:
    TemporaryFileSink(const std::string& target, DownloadSteps* steps)
        : target_(target), path_(target + kPartSuffix), steps_(steps) {}
    ~TemporaryFileSink() override { Discard(); }

    bool Begin() override {
        file_.reset();  // a retry starts afresh: close the last attempt's file before opening it again
        file_.reset(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        written_ = 0;
        nextSpaceCheck_ = kFreeSpaceCheckEvery;
        if (!file_) Remember("cannot create " + path_);
        return static_cast<bool>(file_);
    }
    bool Write(const char* data, std::size_t size) override {
        DWORD done = 0;
        if (!::WriteFile(file_.get(), data, static_cast<DWORD>(size), &done, nullptr) || done != size) {
            Remember("cannot write " + path_);
            return false;
        }
        written_ += size;
        if (written_ >= nextSpaceCheck_) {
            nextSpaceCheck_ = written_ + kFreeSpaceCheckEvery;
            if (!EnoughSpaceLeft()) return false;
        }
        return true;
    }
    std::string LastError() const override { return error_; }

    // Flushes and closes the file and puts it in the target's place.
    bool ReplaceTarget() {
        if (!file_) return false;
        Step("flush");
        const bool flushed = ::FlushFileBuffers(file_.get()) != 0;
        file_.reset();
        if (!flushed) {
            Remember("cannot flush " + path_);
            return false;
        }
        Step("replace");
        if (!win::ReplaceFileWith(path_, target_)) {
            Remember("cannot replace " + target_);
            return false;
        }
        replaced_ = true;
        return true;
    }

private:
    void Step(const char* name) {
        if (steps_) steps_->push_back(name);
    }
    void Remember(const std::string& what) {
        const DWORD code = ::GetLastError();
        error_ = what + ": " + win::SystemMessage(code) + " (error " + std::to_string(code) + ")";
    }
    bool EnoughSpaceLeft() {
        const std::size_t slash = path_.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
        ULARGE_INTEGER free{};
        if (!::GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &free, nullptr, nullptr)) return true;
        if (free.QuadPart >= kFreeSpaceReserve) return true;
        error_ = "the disk is nearly full (" + std::to_string(free.QuadPart) + " bytes left)";
        return false;
    }
    void Discard() {
        file_.reset();
        if (!replaced_) {
            Step("discard");
            ::DeleteFileA(path_.c_str());
        }
    }

    std::string target_;
    std::string path_;
    DownloadSteps* steps_;
    win::UniqueFileHandle file_;
    std::uint64_t written_ = 0;
    std::uint64_t nextSpaceCheck_ = kFreeSpaceCheckEvery;
    std::string error_;
    bool replaced_ = false;
};

}  // namespace

bool DownloadFile(InternetTransfer& Download, const std::string& Url, const std::string& FileName, FetchOutcome* outcome,
                  std::uint64_t maxBytes, DownloadSteps* steps) {
    TemporaryFileSink sink(FileName, steps);
    FetchOutcome fetched = Download.Fetch(Url, sink, maxBytes);
    if (fetched.ok && !sink.ReplaceTarget()) {
        fetched.ok = false;
        fetched.error = sink.LastError();
    }
    if (outcome) *outcome = fetched;
    return fetched.ok;
}

int RemoveLeftoverParts(const std::string& folder) {
    std::vector<std::string> parts;
    {
        WIN32_FIND_DATAA entry;
        win::UniqueFindHandle search(::FindFirstFileA((folder + "*" + kPartSuffix).c_str(), &entry));
        if (!search) return 0;
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) parts.push_back(folder + entry.cFileName);
        } while (::FindNextFileA(search.get(), &entry));
    }
    int removed = 0;
    for (const std::string& part : parts) {
        ::SetFileAttributesA(part.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::DeleteFileA(part.c_str())) ++removed;
    }
    return removed;
}

}  // namespace vt::launcher
