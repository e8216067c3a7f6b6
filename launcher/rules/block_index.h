// The block index of a big file: what lets a launcher that holds an older
// copy fetch only the parts that changed, from any static web server.
//
// vtlist writes it beside the plain file on the server ("<file>.vtblocks"),
// and the side file names its size and SHA-256 (a "blocks" line), so the
// signature covers it as it covers the file. The launcher fetches the index,
// slides a window of one block over its old copy with a rolling checksum
// (rsync's: a match is found wherever the content now lies, also when
// something was inserted before it), and asks the server for the byte ranges
// of the blocks it did not find. The new file is then built from both, in
// order, and must have the side file's SHA-256 before it replaces anything:
// the index only tells where to look, never what to trust.
//
// Format, version 1:
//
//   "VTBLOCKS 1 FILESIZE BLOCKSIZE\r\n"   a text line
//   then per block, in file order, 8 bytes:
//     4 bytes  the block's weak sum (WeakSum), little-endian
//     4 bytes  the block's strong sum (the low 32 bits of XXH3-64), little-endian
//
// There are ceil(FILESIZE / BLOCKSIZE) blocks; the last may be short and is
// summed over its own bytes. BLOCKSIZE is a power of two from 1 KiB to
// 1 MiB. An index of a 1 GiB file with 16 KiB blocks is 512 KiB.
//
// Why 32 bits of strong sum are enough: the sums only say where to look. A
// block is taken from the old copy when both sums match (64 bits in all,
// tried only where the weak sum matches), and the file built must still have
// the side file's SHA-256; a false match, about one update in a billion,
// costs a whole fetch, never a wrong file. Fewer bytes per block are what
// make the index small enough to be worth fetching.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::launcher {

inline constexpr char kBlockIndexSuffix[] = ".vtblocks";
inline constexpr std::size_t kBlockRecordBytes = 8;
inline constexpr std::uint32_t kMinBlockSize = 1024;
inline constexpr std::uint32_t kMaxBlockSize = 1024 * 1024;
// The most bytes an index of a file of `fileSize` bytes can be: its first
// line (at most 64 bytes) and a record per block of the smallest size. A
// side file that names a bigger one is not believed (without PUBLICKEY= it
// is anyone's word), and no fetch of an index reads more.
constexpr std::uint64_t MaxBlockIndexBytes(std::uint64_t fileSize) {
    return kBlockRecordBytes * (fileSize / kMinBlockSize + (fileSize % kMinBlockSize != 0)) + 64;
}
// vtlist writes an index for files from this size on, unless told otherwise.
inline constexpr std::uint64_t kDefaultBlocksFrom = 1024 * 1024;

struct BlockIndex {
    std::uint64_t fileSize = 0;
    std::uint32_t blockSize = 0;
    std::vector<std::uint32_t> weak;    // per block
    std::vector<std::uint32_t> strong;  // per block

    std::size_t Blocks() const { return weak.size(); }
    std::uint64_t BlockStart(std::size_t block) const { return static_cast<std::uint64_t>(block) * blockSize; }
    std::uint32_t BlockLength(std::size_t block) const;
};

// The block size vtlist picks: 4 KiB, doubled while the file would have more
// than 65,536 blocks (up to 1 MiB). Small blocks find more of the old copy;
// fewer blocks keep the index small. 1 GiB gets 16 KiB.
std::uint32_t BlockSizeFor(std::uint64_t fileSize);

// rsync's rolling checksum of a block: two 16-bit sums, the bytes' sum in the
// low half, the sum of their running sums in the high half.
std::uint32_t WeakSum(const std::uint8_t* data, std::size_t size);
std::uint32_t StrongSum(const std::uint8_t* data, std::size_t size);

// The index of a file read piece by piece (vtlist make).
class BlockIndexMaker {
public:
    BlockIndexMaker(std::uint64_t fileSize, std::uint32_t blockSize);
    void Add(const std::uint8_t* data, std::size_t size);
    // The index; nothing when the bytes added were not exactly the file's size.
    std::optional<BlockIndex> Finish();

private:
    BlockIndex index_;
    std::vector<std::uint8_t> block_;
    std::uint64_t added_ = 0;
};

std::string FormatBlockIndex(const BlockIndex& index);
// The index, or nothing with `error` saying why. `expectedFileSize`: the
// size the side file gives the plain file; an index of another size is refused.
std::optional<BlockIndex> ParseBlockIndex(std::string_view bytes, std::uint64_t expectedFileSize,
                                          std::string* error = nullptr);

// Where each block of the new file lies in the old copy, found by sliding a
// window over the old copy fed piece by piece (any piece sizes), from its
// offset `from` on. A big copy is searched faster in parts, each by a finder
// of its own fed from where the part starts to a block's length short of one
// past its end (so that no window across the seam is missed), and the
// finders' results joined (JoinFound).
class BlockFinder {
public:
    explicit BlockFinder(const BlockIndex& index, std::uint64_t from = 0);
    void Feed(const std::uint8_t* data, std::size_t size);
    // Per block of the index: its offset in the old copy, or -1 when not
    // found. The last block is looked for only when it is a whole block.
    const std::vector<std::int64_t>& Found() const { return found_; }
    std::size_t FoundCount() const { return foundCount_; }

private:
    void Scan();
    bool TryMatch(std::uint32_t weak, std::uint64_t at);

    const BlockIndex& index_;
    std::vector<std::int64_t> found_;
    std::size_t foundCount_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byWeak_;  // (weak sum, block), sorted
    std::vector<std::uint64_t> filter_;                            // a bit per weak-sum bucket
    std::vector<std::uint8_t> window_;  // old bytes from window_[0] = old offset base_
    std::uint64_t base_ = 0;
    std::size_t at_ = 0;       // the window's start in window_
    bool rolling_ = false;      // a_, b_ hold the sums of the window at at_
    bool pendingRoll_ = false;  // the window at at_ was looked up: roll on by a byte
    std::uint32_t a_ = 0, b_ = 0;
};

// Per block, where `into` has it, else where `other` has it: the results of
// finders over parts of one copy, joined. Both must be of the same index.
void JoinFound(std::vector<std::int64_t>& into, const std::vector<std::int64_t>& other);

// A byte range of a file: [start, end).
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t Length() const { return end - start; }
};

// The ranges of the blocks not found, neighbours joined.
std::vector<ByteRange> MissingRanges(const BlockIndex& index, const std::vector<std::int64_t>& found);

}  // namespace vt::launcher
