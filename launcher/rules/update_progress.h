// The whole update at a glance: how much the run will fetch, how much it has,
// how fast all its fetches together go and how long until it is done, since
// a player waiting wants to know when multiplayer is enabled, not how one of
// several files at once is doing.
//
// The status line keeps the entry's own text as its start, byte for byte,
// and adds the whole update's figures after it:
//
//   DOWNLOADING File 37 ... 412.0 of 1,230.5 MB, 5.2 MB/s, 3 min left
//   DOWNLOADING File 37 ... 37 of 600 files, 12.3 MB, 1.1 MB/s
//
// The first with a side file, which gives every listed file's size before
// the first byte: the total is the bytes of the entries the run will fetch.
// The second without one, where sizes are known only as answers come: the
// entry of all entries, and the bytes and rate of what has arrived; no time
// left, which would be a guess. The time left is TimeLeftText's, at the
// recent rate of all fetches together (RecentRate), so under MAXRATE= it
// comes close to the bytes left over the limit.
//
// Which entries will be fetched is known ahead of the run: the look ahead
// over the list (OpensAhead, which opens every entry's file ahead of the run)
// asks each entry's file for its facts and plans its bytes (PlannedBytes,
// the entry's rules without reading a digest); the run's own decision
// replaces that plan entry by entry (UpdatePlan), and from then on the
// fetch itself counts (its size, or for a partial update the bytes its
// block index says will come). Bytes kept from a cut body count as fetched.
//
// MB are 1,048,576 bytes, as Windows counts them in Explorer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "launcher/rules/date_value.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/side_file.h"

namespace vt::launcher {

// What the look ahead saw of an entry's local file.
struct AheadFacts {
    bool present = false;  // a file (not a folder) is at the name
    DateValue lastWritten = 0;
    std::uint64_t size = 0;
};

// The bytes the run is expected to fetch for an entry with a side-file entry
// (`side`): the date rule on the facts, then the side file's word, reading no
// digest. A file of the released size counts as the released file (an
// "immer" entry that matches is not fetched again; a dated one up to date is
// not repaired); one of another size surely differs. Without `side`: 0.
std::uint64_t PlannedBytes(StampKind kind, DateValue listDate, const AheadFacts& facts, const SideEntry* side);

// Every entry's planned bytes until the run decides on it. Plan is called on
// the look ahead's threads, Decided on the run's, in any order: whichever
// comes first for an entry wins, and an entry is counted once.
class UpdatePlan {
public:
    explicit UpdatePlan(std::size_t entries);

    void Plan(std::size_t entry, std::uint64_t bytes);  // 0-based; ignored once decided
    void Decided(std::size_t entry);                    // its plan leaves the total
    // Every entry planned or decided: the total is known.
    bool Complete() const { return covered_.load() >= count_; }
    // The planned bytes of the entries not decided yet.
    std::uint64_t Undecided() const { return undecided_.load(); }
    std::size_t Entries() const { return count_; }

private:
    static constexpr std::uint64_t kNotPlanned = ~std::uint64_t{0};
    static constexpr std::uint64_t kDecided = kNotPlanned - 1;
    const std::size_t count_;
    std::unique_ptr<std::atomic<std::uint64_t>[]> slots_;
    std::atomic<std::size_t> covered_{0};
    std::atomic<std::uint64_t> undecided_{0};
};

// "412.0 of 1,230.5 MB" (or "300 of 900 KB" under a MB), with the rate and
// the time left: the figures after the entry's text, with their leading
// blank. Empty when there is nothing to fetch.
std::string WholeUpdateFigures(std::uint64_t done, std::uint64_t total, std::uint64_t bytesPerSecond);
// " 37 of 600 files, 12.3 MB, 1.1 MB/s": the entry of all entries and what
// has arrived (the rate when known).
std::string EntriesFigures(std::int32_t lineIndex, std::size_t entries, std::uint64_t arrived,
                           std::uint64_t bytesPerSecond);

// "1,230.5 MB", "900 KB", "3.1 MB/s", "623 KB/s".
std::string SizeText(std::uint64_t bytes);
std::string RateText(std::uint64_t bytesPerSecond);

// The share of the whole update the taskbar shows, in ten-thousandths:
// never less than it showed before (a total that grows when the run learns
// of a repair would slide the bar back), and whole only when all is done.
class SteadyShare {
public:
    static constexpr std::uint32_t kWhole = 10000;
    std::uint32_t Of(std::uint64_t done, std::uint64_t total);

private:
    std::uint32_t shown_ = 0;
};

// What an update cost, for the log's one SUMMARY line at the run's end.
struct UpdateSummary {
    std::size_t entriesLooked = 0;
    std::size_t filesFetched = 0;
    std::uint64_t networkBytes = 0;  // every byte over the network: bodies, ranges, indexes
    std::uint64_t reusedBytes = 0;   // taken from old copies by partial updates
    std::uint64_t keptBytes = 0;     // kept from cut bodies, not fetched again
    std::uint64_t ms = 0;            // the run, from its first request to its end
};
// "21 entries looked at, 21 files fetched, 19,084,532 bytes over the network
// (18.2 MB), 0 bytes reused from old copies, 0 bytes kept from cut bodies,
// 17.9 s, 1.0 MB/s on average"
std::string SummaryText(const UpdateSummary& summary);

}  // namespace vt::launcher
