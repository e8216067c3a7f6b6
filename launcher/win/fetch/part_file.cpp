#include "launcher/win/fetch/part_file.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/text.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"
#include "platform/win/held_file.h"
#include "platform/win/replace_file.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

constexpr std::uint64_t kFreeSpaceCheckEvery = 16ull * 1024 * 1024;
constexpr DWORD kMaxRecordBytes = 4096;

std::optional<std::string> ReadSmallFile(const std::string& path) {
    win::UniqueFileHandle file = win::OpenSteady(path, FILE_ATTRIBUTE_NORMAL);
    if (!file) return std::nullopt;
    std::string text(kMaxRecordBytes, '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), text.data(), kMaxRecordBytes, &got, nullptr) || got == kMaxRecordBytes)
        return std::nullopt;
    text.resize(got);
    return text;
}

// The size of a file that is no link (a partial file is appended to and deleted).
std::optional<std::uint64_t> SizeOf(const std::string& path) {
    const std::optional<win::FileFacts> facts = win::ReadFileFacts(path, true);
    return facts ? std::optional<std::uint64_t>(facts->size) : std::nullopt;
}

}  // namespace

std::optional<ResumeRecord> UsableResumeRecord(const std::string& part, const std::string& record) {
    const std::optional<std::string> text = ReadSmallFile(record);
    const std::optional<ResumeRecord> parsed = text ? ParseResumeRecord(*text) : std::nullopt;
    const std::optional<std::uint64_t> size = SizeOf(part);
    if (!parsed || !size || parsed->kept == 0 || *size < parsed->kept) return std::nullopt;
    return parsed;
}

PartFile::PartFile(const FetchRequest& request, PartFileObserver* observer)
    : target_(request.localFile),
      url_(UrlForRequest(request.url)),
      path_(target_ + kPartSuffix),
      recordPath_(target_ + kResumeSuffix),
      observer_(observer),
      recordExists_(request.leftBehind) {
    if (request.expected) Expect(*request.expected);
}

PartFile::~PartFile() {
    file_.reset();
    if (!replaced_) {
        Step("discard");
        // The record goes with its partial file only: one another fetch
        // holds open (a second launcher in the folder) keeps both.
        const bool gone = win::DeleteWaiting(path_) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
        if (recordExists_ && gone) win::DeleteWaiting(recordPath_);
    }
}

std::optional<ResumePoint> PartFile::LeftBehind() {
    if (!recordExists_) return std::nullopt;
    const std::optional<ResumeRecord> record = UsableResumeRecord(path_, recordPath_);
    if (!record || record->url != url_) return std::nullopt;
    // The kept bytes are read here, once: their sums go on with the body.
    body_.resumable = ResumeRecord{record->url, record->validator, record->total};
    OpenPart(OPEN_EXISTING);
    if (!file_ || !HashKeptBytes(record->kept) || body_.keptSum->Digest() != record->keptSum) {
        file_.reset();
        body_ = Body{};
        return std::nullopt;
    }
    body_.hashedKeep = record->kept;
    // Continued, the body goes on bringing its record up to date.
    body_.checkpointed = record->kept;
    return ResumePoint{record->kept, record->validator, record->total};
}

bool PartFile::Begin(std::uint64_t keep) { return BeginBody(keep); }

bool PartFile::BeginBody(std::uint64_t keep) {
    if (progress_) progress_->StartBody(keep);
    if (keep == 0) {
        body_ = Body{};  // a retry starts afresh
        body_.nextSpaceCheck = kFreeSpaceCheckEvery;
        file_.reset();  // close the last attempt's file before opening it again
        // Readable too: a body continued later in this fetch hashes what it keeps.
        OpenPart(CREATE_ALWAYS);
        // A fresh body has no record until the server offers one; the old
        // record goes only once the partial file is ours: one that another
        // fetch holds (a second launcher in the folder) keeps its record.
        if (file_ && recordExists_) win::DeleteWaiting(recordPath_);
        if (file_) recordExists_ = false;
        if (expected_) StartHash();
        if (!file_) NoteFailure("cannot create " + path_);
        return static_cast<bool>(file_);
    }
    // Continue: keep the first `keep` bytes, drop anything after them. The
    // body is made afresh with what the kept bytes carry over: the record's
    // fields, what the record on the disk vouches for, and their sums when
    // LeftBehind has just read them.
    const bool hashed = body_.hashedKeep == keep;
    Body body;
    body.resumable = std::move(body_.resumable);
    body.checkpointed = std::min(body_.checkpointed, keep);
    body.nextSpaceCheck = keep + kFreeSpaceCheckEvery;
    if (hashed) {
        body.hasher = std::move(body_.hasher);
        body.keptSum = std::move(body_.keptSum);
    }
    body_ = std::move(body);
    if (!file_) OpenPart(OPEN_EXISTING);
    if (file_ && (expected_ || body_.resumable) && !hashed && !HashKeptBytes(keep)) {
        NoteFailure("cannot read back " + path_);
        return false;
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(keep);
    if (!file_ || !::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get())) {
        NoteFailure("cannot continue " + path_);
        return false;
    }
    body_.written = keep;
    return true;
}

bool PartFile::Write(const char* data, std::size_t size) {
    if (stop_ && *stop_) {
        error_ = "stopped: the run has ended";
        return false;
    }
    DWORD done = 0;
    if (!::WriteFile(file_.get(), data, static_cast<DWORD>(size), &done, nullptr)) {
        NoteFailure("cannot write " + path_);
        return false;
    }
    if (done != size) {
        // A short write that reports success: Wine's answer when the disk
        // fills up part-way (the system error is then still 0).
        NoteFailure("cannot write " + path_, ERROR_DISK_FULL);
        return false;
    }
    body_.written += size;
    if (progress_) progress_->Received(body_.written);
    if (body_.hasher) body_.hasher->Add(data, size);
    if (body_.keptSum) body_.keptSum->Add(data, size);
    if (!body_.lengthKnown && body_.written >= body_.nextSpaceCheck) {
        body_.nextSpaceCheck = body_.written + kFreeSpaceCheckEvery;
        if (!EnoughSpaceLeft()) return false;
    }
    if (body_.resumable && body_.written - body_.checkpointed >= kCheckpointBytes &&
        (body_.checkpointed == 0 || ::GetTickCount64() - body_.checkpointTick >= kCheckpointEveryMs))
        Checkpoint();
    return true;
}

bool PartFile::Reserve(std::uint64_t bytes) {
    body_.lengthKnown = true;
    if (progress_) progress_->Announce(body_.written + bytes);  // after Begin: body_.written is what the body keeps
    const std::optional<std::uint64_t> free = FreeSpace();
    if (!free || *free >= bytes + kFreeSpaceMargin) return true;
    error_ = "not enough free space for " + std::to_string(bytes) + " bytes (" + std::to_string(*free) + " bytes free)";
    return false;
}

void PartFile::Resumable(const ResumeRecord& record) {
    // Written at the first checkpoint: a record for no bytes would be of no use.
    body_.resumable = record;
    body_.resumable->url = url_;
    body_.keptSum.emplace();  // a fresh body: the sum starts with its first byte
}

void PartFile::OpenPart(DWORD disposition) {
    // A scanner reading the partial file as it was closed (a checkpoint, an
    // earlier attempt) holds it for a moment: waited out.
    win::WhileHeld(path_, HoldBound::Use, [&] {
        return static_cast<bool>(file_ = win::OpenAlone(path_, GENERIC_READ | GENERIC_WRITE, disposition));
    });
}

void PartFile::Checkpoint() {
    // Best effort: without its record a partial file is simply not continued.
    body_.checkpointTick = ::GetTickCount64();
    ResumeRecord record = *body_.resumable;
    record.kept = body_.written;
    record.keptSum = body_.keptSum->Digest();
    if (!::FlushFileBuffers(file_.get())) return;
    if (!win::WriteFileReplacing(recordPath_, FormatResumeRecord(record))) return;
    recordExists_ = true;
    body_.checkpointed = body_.written;
}

void PartFile::StartHash() { body_.hasher = std::make_unique<win::PipedSha256>(expected_ && expected_->size >= kPipedHashFrom); }

bool PartFile::HashKeptBytes(std::uint64_t keep) {
    // SHA-256 for the side file's check, the checksum for the resume record:
    // each starts again with the kept bytes.
    body_.hasher.reset();
    if (expected_) StartHash();
    if (body_.resumable) body_.keptSum.emplace();
    else body_.keptSum.reset();
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) return false;
    std::vector<char> buffer(1024 * 1024);
    for (std::uint64_t left = keep; left > 0;) {
        const DWORD want = static_cast<DWORD>(left < buffer.size() ? left : buffer.size());
        DWORD got = 0;
        if (!::ReadFile(file_.get(), buffer.data(), want, &got, nullptr) || got == 0) return false;
        if (body_.hasher) body_.hasher->Add(buffer.data(), got);
        if (body_.keptSum) body_.keptSum->Add(buffer.data(), got);
        left -= got;
    }
    return true;
}

bool PartFile::Complete(std::string& why) {
    if (!expected_) return true;
    vt::Sha256 digest{};
    const bool hashed = body_.hasher && body_.hasher->Finish(digest);
    body_.hasher.reset();
    if (body_.written != expected_->size) {
        why = "the body is " + std::to_string(body_.written) + " bytes, the side file says " + std::to_string(expected_->size);
        return false;
    }
    if (!hashed || digest != expected_->hash) {
        why = hashed ? "the body's SHA-256 is not the side file's" : "the body could not be hashed";
        return false;
    }
    return true;
}

bool PartFile::Flush() {
    if (!file_) return false;
    Step("flush");
    if (!::FlushFileBuffers(file_.get())) {
        NoteFailure("cannot flush " + path_);
        return false;
    }
    body_.flushed = true;
    return true;
}

bool PartFile::ReplaceTarget() {
    if (!file_ || (!body_.flushed && !Flush())) return false;
    file_.reset();
    Step("replace");
    if (!win::ReplaceFileWith(path_, target_)) {
        NoteFailure("cannot replace " + target_);
        return false;
    }
    replaced_ = true;
    if (recordExists_) win::DeleteWaiting(recordPath_);
    return true;
}

void PartFile::Step(const char* name) {
    if (observer_) observer_->Step(name);
}

void PartFile::NoteFailure(const std::string& what, DWORD code) {
    error_ = what + ": " + win::SystemErrorText(code);
}

std::optional<std::uint64_t> PartFile::FreeSpace() const {
    const std::string folder = FolderOf(path_);
    ULARGE_INTEGER free{};
    if (!::GetDiskFreeSpaceExW(win::PathW(folder.empty() ? nullptr : folder).c_str(), &free, nullptr, nullptr)) return std::nullopt;
    return free.QuadPart;
}

bool PartFile::EnoughSpaceLeft() {
    const std::optional<std::uint64_t> free = FreeSpace();
    if (!free || *free >= kFreeSpaceReserve) return true;
    error_ = "the disk is nearly full (" + std::to_string(*free) + " bytes left)";
    return false;
}

}  // namespace vt::launcher
