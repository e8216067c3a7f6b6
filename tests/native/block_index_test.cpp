// The block index and the answers to range requests: a partial update must
// build exactly the new file from the old copy and the ranges it fetched.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "launcher/rules/block_index.h"
#include "launcher/rules/byte_ranges.h"

using namespace vt::launcher;

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

BlockIndex IndexOf(const std::vector<std::uint8_t>& file, std::uint32_t blockSize) {
    BlockIndexMaker maker(file.size(), blockSize);
    // Pieces that do not line up with blocks.
    for (std::size_t at = 0; at < file.size(); at += 1000)
        maker.Add(file.data() + at, std::min<std::size_t>(1000, file.size() - at));
    return *maker.Finish();
}

std::vector<std::int64_t> Find(const BlockIndex& index, const std::vector<std::uint8_t>& old, std::size_t piece) {
    BlockFinder finder(index);
    for (std::size_t at = 0; at < old.size(); at += piece)
        finder.Feed(old.data() + at, std::min(piece, old.size() - at));
    return finder.Found();
}

// What the launcher does: each block from the old copy where it was found,
// the rest from the ranges fetched.
std::vector<std::uint8_t> Build(const BlockIndex& index, const std::vector<std::int64_t>& found,
                                const std::vector<std::uint8_t>& old, const std::vector<std::uint8_t>& server) {
    std::vector<std::uint8_t> built(index.fileSize);
    for (std::size_t i = 0; i < index.Blocks(); ++i)
        if (found[i] >= 0)
            std::copy_n(old.begin() + found[i], index.BlockLength(i), built.begin() + static_cast<std::ptrdiff_t>(index.BlockStart(i)));
    for (const ByteRange& range : MissingRanges(index, found))
        std::copy(server.begin() + static_cast<std::ptrdiff_t>(range.start),
                  server.begin() + static_cast<std::ptrdiff_t>(range.end), built.begin() + static_cast<std::ptrdiff_t>(range.start));
    return built;
}

std::uint64_t MissingBytes(const BlockIndex& index, const std::vector<std::int64_t>& found) {
    std::uint64_t total = 0;
    for (const ByteRange& range : MissingRanges(index, found)) total += range.Length();
    return total;
}

}  // namespace

TEST(BlockIndex, ReadsBackWhatIsWrittenAndRefusesWhatDoesNotFit) {
    const auto file = RandomBytes(10000, 1);
    const BlockIndex index = IndexOf(file, 4096);
    ASSERT_EQ(index.Blocks(), 3u);
    EXPECT_EQ(index.BlockLength(2), 10000u - 8192u);
    EXPECT_EQ(index.weak[0], WeakSum(file.data(), 4096));
    EXPECT_EQ(index.strong[2], StrongSum(file.data() + 8192, 10000 - 8192));

    const std::string text = FormatBlockIndex(index);
    EXPECT_EQ(text.substr(0, 23), "VTBLOCKS 1 10000 4096\r\n");
    EXPECT_EQ(text.size(), 23u + 3 * 8);
    const auto again = ParseBlockIndex(text, 10000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->weak, index.weak);
    EXPECT_EQ(again->strong, index.strong);

    std::string error;
    EXPECT_FALSE(ParseBlockIndex(text, 10001, &error));  // made for another file
    EXPECT_NE(error.find("10000"), std::string::npos);
    EXPECT_FALSE(ParseBlockIndex(text.substr(0, text.size() - 1), 10000));  // cut
    EXPECT_FALSE(ParseBlockIndex(text + "x", 10000));
    EXPECT_FALSE(ParseBlockIndex("VTBLOCKS 1 10000 4000\r\n" + text.substr(23), 10000));  // not a power of two
    EXPECT_FALSE(ParseBlockIndex("VTBLOCKS 1 10000 512\r\n", 10000));
    EXPECT_FALSE(ParseBlockIndex("VTBLOCKS 2 10000 4096\r\n" + text.substr(23), 10000));
    EXPECT_FALSE(ParseBlockIndex("VTBLOCKS 1 010000 4096\r\n" + text.substr(23), 10000));
    EXPECT_TRUE(ParseBlockIndex("VTBLOCKS 1 0 4096\r\n", 0));

    BlockIndexMaker shortOne(10, 4096);
    shortOne.Add(file.data(), 9);
    EXPECT_FALSE(shortOne.Finish());  // fewer bytes than the file's size
}

TEST(BlockIndex, TheWeakSumIsRsyncsAndLittleEndianOnDisk) {
    const std::uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(WeakSum(bytes, 3), 0x000A0006u);  // sum 6; sums of sums 1 + 3 + 6
    BlockIndex index;
    index.fileSize = 3;
    index.blockSize = 1024;
    index.weak = {0x000A0006u};
    index.strong = {0x05060708u};
    EXPECT_EQ(FormatBlockIndex(index), std::string("VTBLOCKS 1 3 1024\r\n\x06\x00\x0A\x00\x08\x07\x06\x05", 27));
}

TEST(BlockIndex, BlockSizesGrowSoThatBigFilesKeepSmallIndexes) {
    EXPECT_EQ(BlockSizeFor(1024 * 1024), 4096u);
    EXPECT_EQ(BlockSizeFor(256ull * 1024 * 1024), 4096u);
    EXPECT_EQ(BlockSizeFor(1024ull * 1024 * 1024), 16384u);
    EXPECT_EQ(BlockSizeFor(1ull << 50), kMaxBlockSize);
}

TEST(BlockFinder, FindsShiftedAndChangedContentAndBuildsTheNewFileExactly) {
    const auto old = RandomBytes(1 << 20, 2);
    std::vector<std::uint8_t> next = old;
    const auto inserted = RandomBytes(100, 3);
    next.insert(next.begin() + 5000, inserted.begin(), inserted.end());  // everything after it shifts
    for (std::size_t at : {200000u, 600000u, 900000u})
        for (std::size_t i = 0; i < 3000; ++i) next[at + i] ^= 0x5a;  // three changed regions
    next.resize(next.size() - 777);  // and the end cut

    const BlockIndex index = IndexOf(next, 4096);
    const auto whole = Find(index, old, old.size());
    // Fed in pieces of every size, the finder finds the same.
    for (std::size_t piece : {1u, 4095u, 4097u, 65536u}) EXPECT_EQ(Find(index, old, piece), whole) << piece;

    for (std::size_t i = 0; i < index.Blocks(); ++i) {
        if (whole[i] < 0) continue;
        EXPECT_TRUE(std::equal(old.begin() + whole[i], old.begin() + whole[i] + index.BlockLength(i),
                                   next.begin() + static_cast<std::ptrdiff_t>(index.BlockStart(i))))
                << "block " << i;
    }
    // The insertion costs two blocks, each changed region at most two beyond
    // its own, and the short last block is fetched.
    EXPECT_LE(MissingBytes(index, whole), 2 * 4096u + 3 * (3000u + 2 * 4096u) + 4096u);
    EXPECT_EQ(Build(index, whole, old, next), next);
}

// The launcher searches a big copy in two halves at once: the lower finder
// fed a block's length short of one past the seam, the upper one from the
// seam on, their results joined. Blocks that straddle the seam, and blocks
// whose content moved across it, are found as by one finder over the whole.
TEST(BlockFinder, TwoHalvesJoinedFindWhatOneFinderFinds) {
    const std::uint32_t block = 4096;
    const auto old = RandomBytes(1 << 20, 6);
    std::vector<std::uint8_t> next = old;
    const auto inserted = RandomBytes(300, 7);
    next.insert(next.begin() + 1000, inserted.begin(), inserted.end());  // all after it shifts, across the seam too
    std::rotate(next.begin() + 100000, next.begin() + 110000, next.begin() + 900000);  // content moved far
    const BlockIndex index = IndexOf(next, block);
    const auto whole = Find(index, old, 65536);

    for (const std::size_t half : {old.size() / 2, old.size() / 2 + 1234, std::size_t{block} * 100 - 1}) {
        BlockFinder lower(index);
        lower.Feed(old.data(), half + block - 1);
        BlockFinder upper(index, half);
        for (std::size_t at = half; at < old.size(); at += 50000)
            upper.Feed(old.data() + at, std::min<std::size_t>(50000, old.size() - at));
        std::vector<std::int64_t> found = lower.Found();
        JoinFound(found, upper.Found());
        EXPECT_EQ(MissingBytes(index, found), MissingBytes(index, whole)) << half;
        // Wherever each was found, it is that block's content: offsets from
        // the upper half count from the copy's start.
        for (std::size_t i = 0; i < index.Blocks(); ++i) {
            if (found[i] < 0) continue;
            ASSERT_TRUE(std::equal(old.begin() + found[i], old.begin() + found[i] + index.BlockLength(i),
                                   next.begin() + static_cast<std::ptrdiff_t>(index.BlockStart(i))))
                << "block " << i << ", seam at " << half;
        }
        EXPECT_EQ(Build(index, found, old, next), next) << half;
    }
}

TEST(BlockFinder, AnIdenticalCopyNeedsNothingAndNoCopyNeedsEverything) {
    const auto file = RandomBytes(64 * 1024, 4);
    const BlockIndex index = IndexOf(file, 4096);
    EXPECT_EQ(MissingBytes(index, Find(index, file, 3000)), 0u);

    const std::vector<std::uint8_t> nothing;
    const auto found = Find(index, nothing, 1);
    const auto ranges = MissingRanges(index, found);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].start, 0u);
    EXPECT_EQ(ranges[0].end, file.size());
    EXPECT_EQ(Build(index, found, nothing, file), file);
}

TEST(BlockFinder, RepeatedBlocksAreAllFoundFromOneCopy) {
    std::vector<std::uint8_t> zeros(8 * 4096, 0);
    const auto tail = RandomBytes(4096, 5);
    zeros.insert(zeros.end(), tail.begin(), tail.end());
    const BlockIndex index = IndexOf(zeros, 4096);
    std::vector<std::uint8_t> old(4096 + 13, 0);  // one block of zeros, somewhere
    old.insert(old.begin(), 13, 1);
    const auto found = Find(index, old, 100);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_GE(found[i], 0) << i;
    EXPECT_LT(found[8], 0);
    EXPECT_EQ(Build(index, found, old, zeros), zeros);
}

// What an index can be is bounded by its file's size, whatever a side file
// says: every index vtlist writes fits, one byte more than the smallest
// blocks need does not.
TEST(BlockIndex, ItsSizeIsBoundedByItsFilesSize) {
    for (const std::uint64_t size : {std::uint64_t{1}, std::uint64_t{1024}, std::uint64_t{1025}, std::uint64_t{300000}}) {
        BlockIndexMaker maker(size, kMinBlockSize);
        const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size), 7);
        maker.Add(bytes.data(), bytes.size());
        const auto index = maker.Finish();
        ASSERT_TRUE(index);
        const std::string text = FormatBlockIndex(*index);
        EXPECT_LE(text.size(), MaxBlockIndexBytes(size)) << size;
        // The only room left is what the first line might still take.
        EXPECT_EQ(MaxBlockIndexBytes(size) - text.size(), 64 - (text.find("\r\n") + 2)) << size;
    }
    EXPECT_EQ(MaxBlockIndexBytes(3000000000ull), 8 * ((3000000000ull + 1023) / 1024) + 64);
    EXPECT_EQ(MaxBlockIndexBytes(0), 64u);
}

TEST(ByteRanges, RequestsAreSplitByCountAndBytes) {
    EXPECT_EQ(RangeHeader({{0, 10}, {100, 200}}), "Range: bytes=0-9,100-199\r\n");
    std::deque<ByteRange> pending{{0, 10}, {20, 30}, {40, 50}, {100, 1100}};
    std::vector<std::vector<ByteRange>> batches;
    while (!pending.empty() && batches.size() < 10) batches.push_back(TakeBatch(pending, 2, 500));
    ASSERT_EQ(batches.size(), 4u);
    EXPECT_EQ(batches[0].size(), 2u);
    EXPECT_EQ(batches[1].size(), 2u);  // 40-50 and the first 490 bytes of the long range
    EXPECT_EQ(batches[1][1].end, 590u);
    EXPECT_EQ(batches[2][0].start, 590u);
    EXPECT_EQ(batches[3].back().end, 1100u);
    std::uint64_t total = 0;
    for (const auto& batch : batches) {
        std::uint64_t bytes = 0;
        for (const auto& range : batch) bytes += range.Length();
        EXPECT_LE(bytes, 500u);
        total += bytes;
    }
    EXPECT_EQ(total, 30u + 1000u);
}

// One long change is asked for in pieces of the most a request may bring:
// the memory a partial update holds does not grow with the change.
TEST(ByteRanges, OneLongRangeIsTakenInPiecesOfTheMostARequestMayBring) {
    const std::uint64_t most = 4ull << 20;
    std::deque<ByteRange> pending{{7, 7 + 256ull * 1024 * 1024 + 3}};
    std::uint64_t next = 7;
    int requests = 0;
    while (!pending.empty() && requests < 100) {
        const auto batch = TakeBatch(pending, 64, most);
        ASSERT_EQ(batch.size(), 1u);
        EXPECT_EQ(batch[0].start, next);
        EXPECT_LE(batch[0].Length(), most);
        next = batch[0].end;
        ++requests;
    }
    EXPECT_EQ(next, 7 + 256ull * 1024 * 1024 + 3);
    EXPECT_EQ(requests, 65);
    // One range at a time (a server that answers one of several) takes one.
    std::deque<ByteRange> two{{0, 10}, {20, 30}};
    EXPECT_EQ(TakeBatch(two, 1, most).size(), 1u);
    EXPECT_EQ(two.size(), 1u);
}

TEST(ByteRanges, MultipartAnswersAreReadByTheirLengthsAndCheckedAgainstTheFile) {
    EXPECT_EQ(MultipartBoundary("multipart/byteranges; boundary=00000000000000000042"), "00000000000000000042");
    EXPECT_EQ(MultipartBoundary("Multipart/ByteRanges;boundary=\"a b\""), "a b");
    EXPECT_FALSE(MultipartBoundary("multipart/mixed; boundary=x"));
    EXPECT_FALSE(MultipartBoundary("application/octet-stream"));

    // nginx's shape, with the boundary text inside a part's bytes.
    const std::string body =
        "\r\n--XB\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes 0-5/100\r\n\r\n"
        "ab--XB\r\n--XB\r\nContent-Range: bytes 90-99/100\r\n\r\n0123456789\r\n--XB--\r\n";
    const auto pieces = RangeAnswerPieces("multipart/byteranges; boundary=XB", std::nullopt, body, 100);
    ASSERT_TRUE(pieces);
    ASSERT_EQ(pieces->size(), 2u);
    EXPECT_EQ((*pieces)[0].start, 0u);
    EXPECT_EQ((*pieces)[0].bytes, "ab--XB");
    EXPECT_EQ((*pieces)[1].start, 90u);
    EXPECT_EQ((*pieces)[1].bytes, "0123456789");
    EXPECT_FALSE(UncoveredRange(*pieces, {{0, 6}, {92, 100}}));
    EXPECT_EQ(UncoveredRange(*pieces, {{0, 6}, {50, 60}})->start, 50u);

    std::string error;
    EXPECT_FALSE(RangeAnswerPieces("multipart/byteranges; boundary=XB", std::nullopt, body, 101, &error));  // another file
    EXPECT_NE(error.find("does not fit"), std::string::npos);
    EXPECT_FALSE(RangeAnswerPieces("multipart/byteranges; boundary=XB", std::nullopt, body.substr(0, 120), 100));
    std::string longer = body;
    longer.replace(longer.find("0123456789"), 10, "01234567890");
    EXPECT_FALSE(RangeAnswerPieces("multipart/byteranges; boundary=XB", std::nullopt, longer, 100));

    // A single range: the answer's own Content-Range.
    const auto single = RangeAnswerPieces("application/octet-stream", std::string("bytes 10-14/100"), "hello", 100);
    ASSERT_TRUE(single);
    EXPECT_EQ((*single)[0].start, 10u);
    EXPECT_FALSE(RangeAnswerPieces("text/plain", std::string("bytes 10-14/*"), "hello", 100));
    EXPECT_FALSE(RangeAnswerPieces("text/plain", std::string("bytes 98-102/100"), "hello", 100));
    EXPECT_FALSE(RangeAnswerPieces("text/plain", std::nullopt, "hello", 100));
}
