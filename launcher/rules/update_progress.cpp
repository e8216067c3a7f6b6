#include "launcher/rules/update_progress.h"

#include <cstdio>

#include "launcher/rules/entry_decision.h"
#include "launcher/rules/progress_text.h"

namespace vt::launcher {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// "1,230": digits in groups of three, as a player reads a large number.
std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// Tenths of a MiB, rounded, grouped: "1,230.5".
std::string MegabytesText(std::uint64_t bytes) {
    const std::uint64_t tenths = bytes / (kMiB / 10) + (bytes % (kMiB / 10) >= kMiB / 20);
    return Grouped(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

std::uint64_t PlannedBytes(StampKind kind, DateValue listDate, const AheadFacts& facts, const SideEntry* side) {
    if (!side) return 0;
    const EntryDecision byDate = DecideByDate(kind, std::string(), listDate,
                                              facts.present ? std::optional<DateValue>(facts.lastWritten) : std::nullopt);
    const bool releasedSize = facts.present && facts.size == side->size;
    const EntryDecision decided = WithSideFile(byDate, side->repair, [&] { return releasedSize; });
    return decided.needed ? side->size : 0;
}

UpdatePlan::UpdatePlan(std::size_t entries)
    : count_(entries), slots_(std::make_unique<std::atomic<std::uint64_t>[]>(entries)) {
    for (std::size_t i = 0; i < count_; ++i) slots_[i].store(kNotPlanned, std::memory_order_relaxed);
}

void UpdatePlan::Plan(std::size_t entry, std::uint64_t bytes) {
    if (entry >= count_) return;
    if (bytes >= kDecided) bytes = kDecided - 1;  // no size is that large; the marks stay marks
    // The total first, then the slot: the run that decides the entry at
    // once takes the bytes away again only once they are in.
    undecided_ += bytes;
    std::uint64_t expected = kNotPlanned;
    if (slots_[entry].compare_exchange_strong(expected, bytes)) {
        ++covered_;
        return;
    }
    undecided_ -= bytes;  // planned or decided before: counted once
}

void UpdatePlan::Decided(std::size_t entry) {
    if (entry >= count_) return;
    const std::uint64_t was = slots_[entry].exchange(kDecided);
    if (was == kDecided) return;
    if (was == kNotPlanned) ++covered_;
    else undecided_ -= was;
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < kMiB) return Grouped((bytes + 1023) / 1024) + " KB";  // a few bytes are 1 KB, not 0
    return MegabytesText(bytes) + " MB";
}

std::string RateText(std::uint64_t bytesPerSecond) {
    // A slow link reads as slow ("623 KB/s"), not as "0.6 MB/s".
    if (bytesPerSecond >= 1000 * 1024) return MegabytesText(bytesPerSecond) + " MB/s";
    return Grouped(bytesPerSecond / 1024) + " KB/s";
}

std::string WholeUpdateFigures(std::uint64_t done, std::uint64_t total, std::uint64_t bytesPerSecond) {
    if (total == 0) return {};
    if (done > total) done = total;  // a body longer than its side file says fails; until then no "13 of 12"
    std::string text = " ";
    if (total < kMiB) text += Grouped((done + 512) / 1024) + " of " + Grouped((total + 512) / 1024) + " KB";
    else text += MegabytesText(done) + " of " + MegabytesText(total) + " MB";
    if (bytesPerSecond > 0) text += ", " + RateText(bytesPerSecond);
    if (bytesPerSecond > 0 && done < total) text += ", " + TimeLeftText(total - done, bytesPerSecond);
    return text;
}

std::string EntriesFigures(std::int32_t lineIndex, std::size_t entries, std::uint64_t arrived,
                           std::uint64_t bytesPerSecond) {
    std::string text = " " + Grouped(static_cast<std::uint64_t>(lineIndex < 0 ? 0 : lineIndex)) + " of " +
                       Grouped(entries) + " files";
    if (arrived > 0) text += ", " + SizeText(arrived);
    if (bytesPerSecond > 0) text += ", " + RateText(bytesPerSecond);
    return text;
}

std::uint32_t SteadyShare::Of(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return shown_;
    if (done > total) done = total;
    // Whole only when all is done; the step below it otherwise.
    std::uint32_t share = done == total ? kWhole
                                        : static_cast<std::uint32_t>(static_cast<double>(done) / static_cast<double>(total) *
                                                                     kWhole);
    if (share >= kWhole && done < total) share = kWhole - 1;
    if (share > shown_) shown_ = share;
    return shown_;
}

std::string SummaryText(const UpdateSummary& s) {
    const std::uint64_t tenths = (s.ms + 50) / 100;
    std::string text = Grouped(s.entriesLooked) + " entries looked at, " + Grouped(s.filesFetched) + " files fetched, " +
                       Grouped(s.networkBytes) + " bytes over the network (" + SizeText(s.networkBytes) + "), " +
                       Grouped(s.reusedBytes) + " bytes reused from old copies, " + Grouped(s.keptBytes) +
                       " bytes kept from cut bodies, " + std::to_string(tenths / 10) + "." +
                       std::to_string(tenths % 10) + " s";
    if (s.ms > 0 && s.networkBytes > 0) text += ", " + RateText(s.networkBytes * 1000 / s.ms) + " on average";
    return text;
}

}  // namespace vt::launcher
