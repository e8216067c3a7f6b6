#include "launcher/win/fetch/block_patch.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "launcher/rules/block_index.h"
#include "launcher/rules/byte_ranges.h"
#include "launcher/win/fetch/memory_sink.h"
#include "platform/win/crypto.h"
#include "platform/win/event.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"
#include "platform/win/worker_thread.h"

namespace vt::launcher {
namespace {

constexpr std::size_t kReadPiece = 1024 * 1024;
// An old copy this big is searched in two halves at once.
constexpr std::uint64_t kScanInHalvesFrom = 16ull * 1024 * 1024;

// The old copy, for reading. Shared for reading only: a copy another
// program has open for writing is likely to change while the file is built
// (a file that then fails its check is fetched once more, whole), so it is
// not built from; renaming or deleting it leaves the bytes behind these
// handles as they are. What is installed never rests on this: the share
// mode binds Windows programs only (a native process under Wine, or a
// driver, writes anyway), so the digest checked is that of the bytes
// written into the partial file, whatever the copy did meanwhile.
win::UniqueFileHandle OpenOldCopy(const std::string& file) {
    return win::OpenSteady(file);
}

bool Seek(HANDLE file, std::uint64_t at) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(at);
    return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

// The side file's index of the file, fetched and checked; nothing with
// `why`. `unreachable` says the source did not answer at all (no status):
// a source that cannot serve the index will not serve the whole file
// either, so that counts against it (FetchFromSources sets it aside).
std::optional<BlockIndex> FetchIndex(InternetTransfer& transfer, const FetchRequest& request, const PartFile& part,
                                     FetchOutcome& outcome, std::string& why, bool& unreachable) {
    const BlockIndexSum& sum = *request.expected->blocks;
    if (sum.size > MaxBlockIndexBytes(request.expected->size)) {
        why = "the side file names a block index of " + std::to_string(sum.size) +
              " bytes, more than a file of this size can need";
        return std::nullopt;
    }
    MemorySink answer(part.Progress());
    // One try where the source answers: the index is optional, and a source
    // that drips it or fails it costs the whole file at once, not three
    // rate-floor windows more (92 s for an 8 MiB file). A source that does
    // not answer at all gets the tries of any fetch before it is called
    // unreachable.
    FetchOutcome got = transfer.Fetch(request.url + kBlockIndexSuffix, answer, sum.size, nullptr, {}, 1);
    if (!got.ok && got.status == 0 && !got.sinkFailed && transfer.Timeouts().attempts > 1)
        got = transfer.Fetch(request.url + kBlockIndexSuffix, answer, sum.size, nullptr, {},
                             transfer.Timeouts().attempts - 1);
    outcome.bytes += got.bytes;  // attempts= counts the file's own requests, not the index's
    if (!got.ok) {
        unreachable = got.status == 0 && !got.sinkFailed;
        why = "the block index could not be fetched (" + got.error + ")";
        if (unreachable) {
            outcome.error = why;
            outcome.attempts = got.attempts;
        }
        return std::nullopt;
    }
    if (answer.Body().size() != sum.size || win::Sha256Of(answer.Body().data(), answer.Body().size()) != sum.hash) {
        why = "the block index is not the one the side file names";
        return std::nullopt;
    }
    std::string error;
    std::optional<BlockIndex> index = ParseBlockIndex(answer.Body(), request.expected->size, &error);
    if (!index) why = "the block index does not read: " + error;
    return index;
}

// Feeds `finder` the bytes [from, to) of the old copy (fewer when it ends first).
bool FeedFinder(HANDLE old, std::uint64_t from, std::uint64_t to, BlockFinder& finder) {
    if (!Seek(old, from)) return false;
    std::vector<std::uint8_t> buffer(kReadPiece);
    for (std::uint64_t at = from; at < to;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(to - at, buffer.size()));
        if (!::ReadFile(old, buffer.data(), want, &got, nullptr)) return false;
        if (got == 0) break;
        finder.Feed(buffer.data(), got);
        at += got;
    }
    return true;
}

// Where each block of the new file lies in the old copy. A big copy is
// searched in two halves at once, the upper one through `other`, a second
// handle: the search then takes half as long on two cores.
std::optional<std::vector<std::int64_t>> FindBlocks(HANDLE old, HANDLE other, const BlockIndex& index) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(old, &size)) return std::nullopt;
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    BlockFinder lower(index);
    if (total < kScanInHalvesFrom) {
        if (!FeedFinder(old, 0, total, lower)) return std::nullopt;
        return lower.Found();
    }
    const std::uint64_t half = total / 2;
    BlockFinder upper(index, half);
    bool upperRead = false;
    win::WorkerThread thread([&] { upperRead = FeedFinder(other, half, total, upper); });
    const bool lowerRead = FeedFinder(old, 0, std::min(total, half + index.blockSize - 1), lower);
    thread.Wait();
    if (!lowerRead || !upperRead || thread.Failure()) return std::nullopt;
    std::vector<std::int64_t> found = lower.Found();
    JoinFound(found, upper.Found());
    return found;
}

// Why a piece could not be written: the old copy let the attempt down (the
// file is then fetched whole, in the same run), or the partial file did
// (which would fail a whole fetch too).
enum class WriteFault { None, OldCopy, Target };

// The new file written in order into the partial file: what the old copy
// has, and the ranges as their answers come. The partial file hashes what
// is written into it, as it does a fetched body.
class PatchWriter {
public:
    PatchWriter(PartFile& part, HANDLE old, const BlockIndex& index, const std::vector<std::int64_t>& found)
        : part_(part), old_(old), index_(index), found_(found), buffer_(kReadPiece) {}

    // Old blocks from where the writing is up to `until` (a block's start).
    WriteFault CopyOldUpTo(std::uint64_t until, std::string& error) {
        while (next_ < until) {
            const std::size_t block = static_cast<std::size_t>(next_ / index_.blockSize);
            if (found_[block] < 0 || index_.BlockStart(block) != next_) {
                error = "a block between the ranges is not in the old copy";
                return WriteFault::OldCopy;
            }
            // A run of blocks that lie one after another in the old copy too.
            std::size_t last = block;
            while (last + 1 < index_.Blocks() && index_.BlockStart(last + 1) < until && found_[last + 1] >= 0 &&
                   found_[last + 1] == found_[last] + index_.blockSize &&
                   (last + 2 - block) * index_.blockSize <= buffer_.size())
                ++last;
            const std::uint64_t length = index_.BlockStart(last) + index_.BlockLength(last) - next_;
            const auto from = static_cast<std::uint64_t>(found_[block]);
            if (!ReadOld(from, static_cast<std::size_t>(length), error)) return WriteFault::OldCopy;
            if (!Write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::size_t>(length), error))
                return WriteFault::Target;
            reused_ += length;
        }
        return WriteFault::None;
    }
    WriteFault WriteFetched(std::string_view bytes, std::string& error) {
        return Write(bytes.data(), bytes.size(), error) ? WriteFault::None : WriteFault::Target;
    }
    std::uint64_t Reused() const { return reused_; }

private:
    bool Write(const char* data, std::size_t size, std::string& error) {
        if (!part_.Write(data, size)) {
            error = "cannot write the target file: " + part_.LastError();
            return false;
        }
        next_ += size;
        return true;
    }
    bool ReadOld(std::uint64_t at, std::size_t size, std::string& error) {
        DWORD got = 0;
        if (!Seek(old_, at) || !::ReadFile(old_, buffer_.data(), static_cast<DWORD>(size), &got, nullptr) || got != size) {
            // Cut short or unreadable since it was searched: not the
            // player's fault nor the server's, and a whole fetch needs it not.
            error = "the old copy could not be read while the file was built";
            return false;
        }
        return true;
    }

    PartFile& part_;
    HANDLE old_;
    const BlockIndex& index_;
    const std::vector<std::int64_t>& found_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t next_ = 0;
    std::uint64_t reused_ = 0;
};

// Flushes the partial file every kEveryMs on a thread of its own while it
// is written, until destroyed.
class BackgroundFlush {
public:
    static constexpr DWORD kEveryMs = 250;
    explicit BackgroundFlush(const PartFile& part)
        : thread_([this, &part] {
              while (!done_.Wait(kEveryMs)) part.FlushSoFar();
          }) {}
    ~BackgroundFlush() {
        done_.Set();
        thread_.Wait();
    }
    BackgroundFlush(const BackgroundFlush&) = delete;
    BackgroundFlush& operator=(const BackgroundFlush&) = delete;

private:
    win::Event done_{win::Event::Reset::Manual};
    win::WorkerThread thread_;
};

enum class BatchStep { Written, Doubt, Failed };

// One request for the next ranges, and what it brought written in order.
// With `oneAtATime` false and an answer of a single range, the ranges it
// did not bring go back to the front of `pending` and `oneAtATime` is set.
BatchStep FetchBatch(InternetTransfer& transfer, const std::string& url, std::uint64_t fileSize,
                     std::deque<ByteRange>& pending, bool& oneAtATime, PatchWriter& writer, FetchProgress* progress,
                     FetchOutcome& outcome, std::string& why) {
    const std::vector<ByteRange> batch = TakeBatch(pending, oneAtATime ? 1 : kRangesPerRequest, kBytesPerRequest);
    std::uint64_t bytes = 0;
    for (const ByteRange& range : batch) bytes += range.Length();
    MemorySink answer(progress);  // the ranges count as they arrive, not when the batch is written
    const FetchOutcome got = transfer.Fetch(url, answer, bytes + batch.size() * 256 + 4096, nullptr, RangeHeader(batch));
    const std::string* const body = &answer.Body();
    outcome.bytes += got.bytes;
    outcome.attempts += got.attempts;
    ++outcome.rangeRequests;
    if (answer.Status() == 200) return why = "the server does not answer range requests with ranges", BatchStep::Doubt;
    if (!got.ok || answer.Status() != 206)
        return why = "a range request failed (" + (got.ok ? "HTTP status " + std::to_string(answer.Status()) : got.error) + ")",
               BatchStep::Doubt;
    std::string error;
    const auto pieces = RangeAnswerPieces(answer.ContentType(), answer.ContentRange(), *body, fileSize, &error);
    if (!pieces) return why = error, BatchStep::Doubt;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (UncoveredRange(*pieces, {batch[i]})) {
            if (oneAtATime || pieces->size() != 1 || i == 0)
                return why = "the server's answer does not hold the ranges asked for", BatchStep::Doubt;
            oneAtATime = true;  // a server that answers one range of several
            pending.insert(pending.begin(), batch.begin() + static_cast<std::ptrdiff_t>(i), batch.end());
            return BatchStep::Written;
        }
        if (const WriteFault fault = writer.CopyOldUpTo(batch[i].start, error); fault != WriteFault::None)
            return why = error, fault == WriteFault::OldCopy ? BatchStep::Doubt : BatchStep::Failed;
        for (const RangePiece& piece : *pieces)
            if (piece.start <= batch[i].start && piece.start + piece.bytes.size() >= batch[i].end) {
                const std::string_view bytesOf = piece.bytes.substr(static_cast<std::size_t>(batch[i].start - piece.start),
                                                                    static_cast<std::size_t>(batch[i].Length()));
                if (writer.WriteFetched(bytesOf, error) != WriteFault::None) return why = error, BatchStep::Failed;
                break;
            }
    }
    return BatchStep::Written;
}

}  // namespace

bool MayPatch(const FetchRequest& request) {
    return request.expected && request.expected->blocks && request.expected->size > 0;
}

std::optional<FetchOutcome> PatchFromOldCopy(InternetTransfer& transfer, PartFile& part, const FetchRequest& request,
                                             std::string& why) {
    FetchOutcome outcome;
    win::UniqueFileHandle old = OpenOldCopy(request.localFile);
    if (!old) {
        // A new file has nothing to say; a copy in use says so.
        why = ::GetLastError() == ERROR_SHARING_VIOLATION ? "the old copy is open for writing elsewhere" : "";
        return std::nullopt;
    }
    win::UniqueFileHandle second = OpenOldCopy(request.localFile);
    if (!second) return why = "cannot read the old copy", std::nullopt;
    bool unreachable = false;
    const std::optional<BlockIndex> index = FetchIndex(transfer, request, part, outcome, why, unreachable);
    if (unreachable) return outcome;  // the source's failure: not tried whole from it
    if (!index) return std::nullopt;
    const std::optional<std::vector<std::int64_t>> found = FindBlocks(old.get(), second.get(), *index);
    if (!found) return why = "cannot read the old copy", std::nullopt;
    const std::vector<ByteRange> missing = MissingRanges(*index, *found);
    std::uint64_t missingBytes = 0;
    for (const ByteRange& range : missing) missingBytes += range.Length();
    if (missingBytes > index->fileSize / 4 * 3)
        return why = "the old copy holds less than a quarter of the new file", std::nullopt;
    // Begun afresh, the partial file hashes every byte written into it (on a
    // thread of its own for a big file) and Complete checks that digest:
    // what is installed is what was written, not what the sources held
    // when they were read once more.
    if (!part.Begin(0) || !part.Reserve(index->fileSize)) {
        NoteSinkFailure(outcome, "cannot write the target file: " + part.LastError());
        return outcome;
    }
    second.reset();
    // From now on this fetch fetches the missing ranges, not the file: the
    // player sees them arrive at the network's rate, not the copy's.
    if (FetchProgress* progress = part.Progress()) progress->Building(missingBytes);
    PatchWriter writer(part, old.get(), *index, *found);
    std::deque<ByteRange> pending(missing.begin(), missing.end());
    bool oneAtATime = false;
    std::string error;
    {
        // The file goes to the disk as it is built: the flush before the
        // replace then has little left.
        BackgroundFlush flushing(part);
        while (!pending.empty()) {
            const BatchStep step = FetchBatch(transfer, request.url, index->fileSize, pending, oneAtATime, writer, part.Progress(),
                                              outcome, why);
            if (step == BatchStep::Doubt) return std::nullopt;
            if (step == BatchStep::Failed) return NoteSinkFailure(outcome, why), outcome;
        }
        if (const WriteFault fault = writer.CopyOldUpTo(index->fileSize, error); fault != WriteFault::None) {
            if (fault == WriteFault::OldCopy) return why = error, std::nullopt;
            return NoteSinkFailure(outcome, error), outcome;
        }
    }
    if (!part.Complete(error)) return why = "the file built from the old copy is not the one released: " + error, std::nullopt;
    outcome.ok = true;
    outcome.status = 206;
    outcome.patched = true;
    outcome.reusedBytes = writer.Reused();
    return outcome;
}

}  // namespace vt::launcher
