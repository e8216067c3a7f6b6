// The partial file of a fetch, which makes it safe.
//
// The body is streamed into "<file>.vtpart" beside the target, and only a
// complete, good fetch replaces the target: the partial file is flushed to
// the disk, then moved over the target in one step (write-through). On every
// failure the old file stays as it was, bytes and attributes, and the partial
// file is gone. No folder is created.
//
// A body that the server could continue (see internet_transfer.h) gets a
// "<file>.vtresume" record beside its partial file while it is written: the
// URL, the validator, and how many bytes were flushed to the disk before the
// record was written, with their checksum. The next run trusts only those
// bytes and only when their checksum is still the same: bytes appended after the record, or
// zeroed by a power cut, are cut off or make the body start over. When
// a run is stopped (Quit, a launch, a killed process) the pair stays, and the
// next run that fetches the same URL asks only for the rest, if the server's
// validator still holds. A partial file without a usable record is removed
// when the run first looks at its folder (RemoveLeftoverParts, in
// leftover_sweep.h); a run that ends with "Done." removes whatever pairs it
// did not need.
//
// The partial name carries no process id, so that the next run finds what a
// stopped run left. Two launchers at once in one folder do not share one: the
// second cannot open it and its fetch fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "launcher/rules/content_sum.h"
#include "launcher/rules/http_rules.h"
#include "launcher/rules/side_file.h"
#include "launcher/win/fetch/fetch_progress.h"
#include "launcher/win/fetch/fetch_request.h"
#include "launcher/win/fetch/internet_transfer.h"
#include "platform/win/handles.h"
#include "platform/win/piped_hash.h"

namespace vt::launcher {

inline constexpr char kPartSuffix[] = ".vtpart";
inline constexpr char kResumeSuffix[] = ".vtresume";

// A body with no announced length stops (and fails) before the volume's free
// space falls below this. A body with a length needs its length and
// kFreeSpaceMargin free when it starts, nothing more.
inline constexpr std::uint64_t kFreeSpaceReserve = 64ull * 1024 * 1024;
inline constexpr std::uint64_t kFreeSpaceMargin = 4ull * 1024 * 1024;

// A body expected to be this long or longer is hashed on a thread of its
// own, beside its writing (piped_hash.h).
inline constexpr std::uint64_t kPipedHashFrom = 8ull * 1024 * 1024;

// A resumable body's record is brought up to date (the partial file flushed
// first) once this many bytes have come since the last time, and at most once
// a second after the first: a killed run loses at most that much.
inline constexpr std::uint64_t kCheckpointBytes = 1024 * 1024;
inline constexpr unsigned kCheckpointEveryMs = 1000;

// Hears each file-system step of a partial file as it is taken ("flush",
// "replace", "discard"): how a test checks that the partial file is flushed
// before it replaces the target.
class PartFileObserver {
public:
    virtual ~PartFileObserver() = default;
    virtual void Step(const char* name) = 0;
};

// The partial file of one target: the sink a fetch writes into, then the one
// step that puts it in the target's place. Until that step succeeds, the
// destructor removes the partial file and its record.
//
// It crosses threads, one at a time: the run's thread makes it (with the
// PoolFetch that owns it) and submits it; one pool worker alone writes it
// while the fetch goes; the pool's lock hands it back (PoolFetch::done, set
// under the lock, is what the run's thread waits for), and only then does
// the run's thread replace the target with it or drop it. No two threads
// touch it at once, so it has no lock of its own.
class PartFile : public DownloadSink {
public:
    // A stopped run's partial file and record are looked for only when the
    // request says the folder's sweep kept them: under Wine every question
    // about a missing name costs a scan of the whole folder. A size and hash
    // the request expects are checked as the body is written (Expect).
    explicit PartFile(const FetchRequest& request, PartFileObserver* observer = nullptr);
    ~PartFile() override;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // What a stopped run left of this URL's body, when it can be continued:
    // the bytes its record vouches for, checked against their digest.
    std::optional<ResumePoint> LeftBehind();

    bool Begin(std::uint64_t keep) override;
    bool Write(const char* data, std::size_t size) override;
    bool Reserve(std::uint64_t bytes) override;
    void Resumable(const ResumeRecord& record) override;
    std::string LastError() const override { return error_; }

    // Flushes the partial file to the disk (it stays open, so nothing can
    // remove it). May run on any thread.
    bool Flush();
    // Writes what has been written so far to the disk, from another thread
    // while writes go on; errors are left to Flush. Only makes the last
    // Flush shorter (a big body flushed as it is written).
    void FlushSoFar() const { ::FlushFileBuffers(file_.get()); }
    // Flushes if not yet done, closes, and moves the partial file over the
    // target in one step.
    bool ReplaceTarget();

    const std::string& Target() const { return target_; }

    // Writes fail ("stopped") once `*stop` is true: how a run that has ended
    // stops fetches still going.
    void StopWhen(const std::atomic<bool>* stop) { stop_ = stop; }
    const std::atomic<bool>* StopFlag() const { return stop_; }
    // The body's figures go to `progress` as they change (the status text's).
    void ReportTo(FetchProgress* progress) { progress_ = progress; }
    FetchProgress* Progress() const { return progress_; }

    // The body must be exactly this (the side file's size and SHA-256): it is
    // hashed as it is written, and a body that differs is no good fetch.
    void Expect(const SideEntry& content) { expected_ = content; }
    // The most a body may be: the caller's cap, or less when a size is expected.
    std::uint64_t BodyCap(std::uint64_t maxBytes) const {
        return expected_ && expected_->size < maxBytes ? expected_->size : maxBytes;
    }
    bool Complete(std::string& why) override;

private:
    bool BeginBody(std::uint64_t keep);
    void Step(const char* name);
    void NoteFailure(const std::string& what, DWORD code = ::GetLastError());
    std::optional<std::uint64_t> FreeSpace() const;  // on the partial file's volume; nothing when unknown
    bool EnoughSpaceLeft();
    void Checkpoint();  // flushes, then writes the record for what is on the disk
    void OpenPart(DWORD disposition);  // the partial file, opened for this program alone
    bool HashKeptBytes(std::uint64_t keep);  // the hash and sum of a continued body start with what is kept

    std::string target_;
    std::string url_;
    std::string path_;
    std::string recordPath_;
    PartFileObserver* observer_;
    const std::atomic<bool>* stop_ = nullptr;
    FetchProgress* progress_ = nullptr;
    win::UniqueFileHandle file_;
    std::string error_;
    bool replaced_ = false;
    bool recordExists_ = false;
    std::optional<SideEntry> expected_;

    // What one attempt at the body has. Made afresh when a body starts from
    // its first byte (a retry, or a record that does not hold), and from what
    // the kept bytes carry over when it continues: no field is reset by hand.
    struct Body {
        std::uint64_t written = 0;
        std::uint64_t nextSpaceCheck = 0;  // the free space is asked again at this many bytes
        bool flushed = false;
        bool lengthKnown = false;                    // Reserve was told the body's length
        std::unique_ptr<win::PipedSha256> hasher;    // of bytes [0, written), with expected_
        std::optional<ContentSum> keptSum;           // of bytes [0, written), for a resumable body's record
        std::optional<ResumeRecord> resumable;       // the body can be continued: the record's first fields
        std::uint64_t checkpointed = 0;              // bytes the record on the disk vouches for
        std::uint64_t hashedKeep = 0;                // LeftBehind hashed this many kept bytes into hasher
        std::uint64_t checkpointTick = 0;
    };
    Body body_;
    void StartHash();  // body_.hasher anew: on a thread of its own for a big body
};

// The record beside a partial file, when it reads, vouches for some bytes,
// and the partial file holds at least those. (What it holds beyond them is
// cut off.)
std::optional<ResumeRecord> UsableResumeRecord(const std::string& part, const std::string& record);

}  // namespace vt::launcher
