#include "launcher/win/download_file.h"

#include <windows.h>

#include "platform/win/handles.h"

namespace vt::launcher {
namespace {

// Writes the body to "<target>.<pid>.vtpart" in the target's own folder, so the
// final rename stays on one volume.
class TemporaryFileSink : public DownloadSink {
public:
    explicit TemporaryFileSink(const std::string& target)
        : path_(target + "." + std::to_string(::GetCurrentProcessId()) + ".vtpart") {}
    ~TemporaryFileSink() override { Discard(); }

    bool Begin() override {
        file_.reset();  // a retry starts afresh: close the last attempt's file before opening it again
        file_.reset(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return static_cast<bool>(file_);
    }
    bool Write(const char* data, std::size_t size) override {
        DWORD written = 0;
        return ::WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }
    // Closes the file and puts it in the target's place.
    bool ReplaceTarget(const std::string& target) {
        if (!file_) return false;
        file_.reset();
        // Read-only, hidden and system targets are replaced too; a target that
        // cannot be replaced gets its attributes back.
        const DWORD attributes = ::GetFileAttributesA(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::MoveFileExA(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesA(target.c_str(), attributes);
            return false;
        }
        replaced_ = true;
        return true;
    }

private:
    void Discard() {
        file_.reset();
        if (!replaced_) ::DeleteFileA(path_.c_str());
    }

    std::string path_;
    win::UniqueFileHandle file_;
    bool replaced_ = false;
};

}  // namespace

bool DownloadFile(InternetTransfer& Download, const std::string& Url, const std::string& FileName, FetchOutcome* outcome) {
    TemporaryFileSink sink(FileName);
    FetchOutcome fetched = Download.Fetch(Url, sink);
    if (fetched.ok && !sink.ReplaceTarget(FileName)) {
        fetched.ok = false;
        fetched.error = "cannot replace " + FileName;
    }
    if (outcome) *outcome = fetched;
    return fetched.ok;
}

}  // namespace vt::launcher
