#include "launcher/rules/block_index.h"

#include <algorithm>

#include "config/number_text.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace vt::launcher {
namespace {

constexpr std::string_view kHeading = "VTBLOCKS 1 ";
constexpr unsigned kFilterBits = 20;

std::size_t FilterSlot(std::uint32_t weak) { return (weak * 0x9E3779B1u) >> (32 - kFilterBits); }

std::uint32_t Combine(std::uint32_t a, std::uint32_t b) { return (a & 0xffffu) | (b << 16); }

void PutLittle(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t GetLittle(const char* in, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(in[i]);
    return value;
}

bool IsBlockSize(std::uint64_t size) {
    return size >= kMinBlockSize && size <= kMaxBlockSize && (size & (size - 1)) == 0;
}

// The two sums of a block, as two independent reductions (b is the sum of
// the running sums a, that is each byte weighted by how many sums it is
// in), which compilers turn into vector code: a window is summed afresh
// after every match, so over an unchanged file every byte passes here.
void Sums(const std::uint8_t* data, std::size_t size, std::uint32_t& a, std::uint32_t& b) {
    std::uint32_t sum = 0, weighted = 0;
    for (std::size_t i = 0; i < size; ++i) {
        sum += data[i];
        weighted += static_cast<std::uint32_t>(size - i) * data[i];
    }
    a = sum;
    b = weighted;
}

}  // namespace

std::uint32_t BlockIndex::BlockLength(std::size_t block) const {
    const std::uint64_t start = BlockStart(block);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blockSize, fileSize - start));
}

std::uint32_t BlockSizeFor(std::uint64_t fileSize) {
    std::uint32_t size = 4096;
    while (size < kMaxBlockSize && fileSize / size > 65536) size *= 2;
    return size;
}

std::uint32_t WeakSum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t a = 0, b = 0;
    Sums(data, size, a, b);
    return Combine(a, b);
}

std::uint32_t StrongSum(const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(XXH3_64bits(data, size));
}

BlockIndexMaker::BlockIndexMaker(std::uint64_t fileSize, std::uint32_t blockSize) {
    index_.fileSize = fileSize;
    index_.blockSize = blockSize;
    block_.reserve(blockSize);
}

void BlockIndexMaker::Add(const std::uint8_t* data, std::size_t size) {
    added_ += size;
    while (size > 0) {
        const std::size_t take = std::min<std::size_t>(size, index_.blockSize - block_.size());
        block_.insert(block_.end(), data, data + take);
        data += take;
        size -= take;
        if (block_.size() == index_.blockSize) {
            index_.weak.push_back(WeakSum(block_.data(), block_.size()));
            index_.strong.push_back(StrongSum(block_.data(), block_.size()));
            block_.clear();
        }
    }
}

std::optional<BlockIndex> BlockIndexMaker::Finish() {
    if (added_ != index_.fileSize || !IsBlockSize(index_.blockSize)) return std::nullopt;
    if (!block_.empty()) {
        index_.weak.push_back(WeakSum(block_.data(), block_.size()));
        index_.strong.push_back(StrongSum(block_.data(), block_.size()));
        block_.clear();
    }
    return std::move(index_);
}

std::string FormatBlockIndex(const BlockIndex& index) {
    std::string text = std::string(kHeading) + std::to_string(index.fileSize) + " " +
                       std::to_string(index.blockSize) + "\r\n";
    text.reserve(text.size() + index.Blocks() * kBlockRecordBytes);
    for (std::size_t i = 0; i < index.Blocks(); ++i) {
        PutLittle(text, index.weak[i], 4);
        PutLittle(text, index.strong[i], 4);
    }
    return text;
}

std::optional<BlockIndex> ParseBlockIndex(std::string_view bytes, std::uint64_t expectedFileSize, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<BlockIndex> {
        if (error) *error = why;
        return std::nullopt;
    };
    const std::size_t end = bytes.find("\r\n");
    if (bytes.substr(0, kHeading.size()) != kHeading || end == std::string_view::npos || end > 64)
        return fail("not a block index (no \"VTBLOCKS 1\" line)");
    const std::string_view head = bytes.substr(kHeading.size(), end - kHeading.size());
    const std::size_t space = head.find(' ');
    const auto fileSize = CanonicalDecimal(head.substr(0, space));
    const auto blockSize = space == std::string_view::npos ? std::nullopt : CanonicalDecimal(head.substr(space + 1));
    if (!fileSize || !blockSize || !IsBlockSize(*blockSize)) return fail("its first line is not \"VTBLOCKS 1 SIZE BLOCKSIZE\"");
    if (*fileSize != expectedFileSize)
        return fail("it is for a file of " + std::to_string(*fileSize) + " bytes, not " + std::to_string(expectedFileSize));
    const std::uint64_t blocks = *fileSize / *blockSize + (*fileSize % *blockSize != 0);
    const std::string_view body = bytes.substr(end + 2);
    if (body.size() / kBlockRecordBytes != blocks || body.size() % kBlockRecordBytes != 0)
        return fail("it holds " + std::to_string(body.size()) + " bytes of sums, not " +
                    std::to_string(blocks * kBlockRecordBytes));
    BlockIndex index;
    index.fileSize = *fileSize;
    index.blockSize = static_cast<std::uint32_t>(*blockSize);
    index.weak.reserve(blocks);
    index.strong.reserve(blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        const char* record = body.data() + i * kBlockRecordBytes;
        index.weak.push_back(static_cast<std::uint32_t>(GetLittle(record, 4)));
        index.strong.push_back(static_cast<std::uint32_t>(GetLittle(record + 4, 4)));
    }
    return index;
}

BlockFinder::BlockFinder(const BlockIndex& index, std::uint64_t from)
    : index_(index), found_(index.Blocks(), -1), filter_((std::size_t{1} << kFilterBits) / 64, 0), base_(from) {
    // The last block is looked for only when whole: a window is always a block long.
    std::size_t whole = index.Blocks();
    if (whole > 0 && index.BlockLength(whole - 1) != index.blockSize) --whole;
    byWeak_.reserve(whole);
    for (std::size_t i = 0; i < whole; ++i) {
        byWeak_.emplace_back(index.weak[i], static_cast<std::uint32_t>(i));
        const std::size_t slot = FilterSlot(index.weak[i]);
        filter_[slot / 64] |= std::uint64_t{1} << (slot % 64);
    }
    std::sort(byWeak_.begin(), byWeak_.end());
}

void BlockFinder::Feed(const std::uint8_t* data, std::size_t size) {
    window_.insert(window_.end(), data, data + size);
    Scan();
    // Keep only what the next window needs.
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(at_));
    base_ += at_;
    at_ = 0;
}

bool BlockFinder::TryMatch(std::uint32_t weak, std::uint64_t at) {
    auto first = std::lower_bound(byWeak_.begin(), byWeak_.end(), std::make_pair(weak, std::uint32_t{0}));
    if (first == byWeak_.end() || first->first != weak) return false;
    const std::uint32_t strong = StrongSum(window_.data() + at_, index_.blockSize);
    bool matched = false;
    for (auto it = first; it != byWeak_.end() && it->first == weak; ++it) {
        if (index_.strong[it->second] != strong) continue;
        matched = true;
        std::int64_t& where = found_[it->second];
        if (where < 0) {
            where = static_cast<std::int64_t>(at);
            ++foundCount_;
        }
    }
    return matched;
}

void BlockFinder::Scan() {
    const std::size_t block = index_.blockSize;
    if (byWeak_.empty()) {
        at_ = window_.size() > block ? window_.size() - block : 0;
        return;
    }
    for (;;) {
        if (rolling_ && pendingRoll_) {
            if (at_ + block >= window_.size()) return;  // the next byte has not come yet
            const std::uint32_t out = window_[at_], in = window_[at_ + block];
            a_ += in - out;
            b_ += a_ - static_cast<std::uint32_t>(block) * out;
            ++at_;
            pendingRoll_ = false;
        }
        if (at_ + block > window_.size()) return;
        if (!rolling_) {
            Sums(window_.data() + at_, block, a_, b_);
            rolling_ = true;
        }
        const std::uint32_t weak = Combine(a_, b_);
        const std::size_t slot = FilterSlot(weak);
        if ((filter_[slot / 64] >> (slot % 64) & 1) && TryMatch(weak, base_ + at_)) {
            at_ += block;  // the next window starts after the match, fresh
            rolling_ = false;
            pendingRoll_ = false;
            continue;
        }
        pendingRoll_ = true;
    }
}

void JoinFound(std::vector<std::int64_t>& into, const std::vector<std::int64_t>& other) {
    for (std::size_t i = 0; i < into.size() && i < other.size(); ++i)
        if (into[i] < 0 && other[i] >= 0) into[i] = other[i];
}

std::vector<ByteRange> MissingRanges(const BlockIndex& index, const std::vector<std::int64_t>& found) {
    std::vector<ByteRange> ranges;
    for (std::size_t i = 0; i < index.Blocks(); ++i) {
        if (i < found.size() && found[i] >= 0) continue;
        const std::uint64_t start = index.BlockStart(i), end = start + index.BlockLength(i);
        if (!ranges.empty() && ranges.back().end == start)
            ranges.back().end = end;
        else
            ranges.push_back({start, end});
    }
    return ranges;
}

}  // namespace vt::launcher
