#include "tools/vtlist/list_lint.h"

#include <cstdint>
#include <functional>
#include <unordered_map>

#include "platform/text.h"
#include "config/text_lines.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/update_rules.h"

namespace vt::vtlist {
namespace {

bool HasEdgeSpace(const std::string& field) { return !field.empty() && (field.front() == ' ' || field.back() == ' '); }

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// An LF not preceded by CR.
bool HasBareLf(std::string_view bytes) {
    for (std::size_t at = bytes.find('\n'); at != std::string_view::npos; at = bytes.find('\n', at + 1))
        if (at == 0 || bytes[at - 1] != '\r') return true;
    return false;
}

}  // namespace

namespace {

// The problems of one list as they are found, line by line.
class ListLinter {
public:
    ListLinter(launcher::DateValue now, const std::vector<std::string_view>& lines, bool keepEntries)
        : now_(now), lines_(lines), keepEntries_(keepEntries) {}

    void Add(int line, Severity severity, std::string text) {
        report_.problems.push_back({line, severity, std::move(text)});
    }
    // What concerns the file as a whole: its encoding marks, its line ends, its header.
    void Whole(std::string_view bytes);
    void Entry(int line, const std::string& text, bool last);
    ListReport Take() { return std::move(report_); }

private:
    // The fields of an entry that splits into three and stays inside the mod.
    void Fields(int line, const launcher::PatchEntry& entry);
    void Stamp(int line, const launcher::PatchEntry& entry);

    // The line that first wrote the local path `key` (WindowsNameKey), or 0.
    int FirstWriter(const std::string& key, int line);

    launcher::DateValue now_;
    const std::vector<std::string_view>& lines_;  // the whole list, header first
    const bool keepEntries_;
    ListReport report_;
    // The first line of each local path, by a 64-bit hash of its key: a
    // string of each path would cost the list's size again several times.
    // Lines whose keys share a hash are told apart by their keys.
    std::unordered_multimap<std::uint64_t, int> seenLocal_;
};

std::string KeyOfLine(std::string_view lineText) {
    std::string entryText(lineText);
    for (char& c : entryText)
        if (c == '/') c = '\\';
    const auto entry = launcher::SplitPatchEntry(entryText);
    return entry ? launcher::WindowsNameKey(entry->LocalPath) : std::string();
}

int ListLinter::FirstWriter(const std::string& key, int line) {
    const std::uint64_t hash = std::hash<std::string>{}(key);
    const auto [from, to] = seenLocal_.equal_range(hash);
    for (auto it = from; it != to; ++it)
        if (KeyOfLine(lines_[static_cast<std::size_t>(it->second) - 1]) == key) return it->second;
    seenLocal_.emplace(hash, line);
    return 0;
}

void ListLinter::Whole(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom)
        Add(1, Severity::Warning, "a byte-order mark opens the header line (harmless: the header is never read)");
    if (HasBareLf(bytes))
        Add(1, Severity::Warning,
            "some lines end in LF alone: this launcher reads them, but older launchers read a line "
            "only up to CR, so they take such a list for one line and fetch nothing (CR LF suits every launcher)");
    launcher::DateValue ignored = 0;
    if (const auto header = launcher::SplitPatchEntry(lines_[0]);
        header && launcher::ClassifyStamp(header->Stamp, ignored) != launcher::StampKind::Unreadable)
        Add(1, Severity::Warning, "the first line looks like an entry, but it is the header and is never read");
}

void ListLinter::Entry(int line, const std::string& text, bool last) {
    if (text.empty()) {
        Add(line, Severity::Error,
            std::string(last ? "blank last line (the file ends in two line ends)" : "blank line") +
                ": the launcher ends every update with E4 here");
        return;
    }
    const auto entry = launcher::SplitPatchEntry(text);
    if (!entry) {
        std::size_t bars = 0;
        for (char c : text) bars += c == '|';
        Add(line, Severity::Error,
            std::to_string(bars + 1) + " fields instead of 3 (RemotePath|LocalPath|Stamp): E4 for every player");
        return;
    }
    if (const std::optional<std::string> problem = launcher::LocalNameProblem(entry->LocalPath)) {
        Add(line, Severity::Error, "the local path \"" + entry->LocalPath + "\": " + *problem + ": the launcher refuses it, E4");
        return;
    }
    if (!launcher::IsSafeEntry(*entry)) {
        Add(line, Severity::Error,
            "the local path \"" + entry->LocalPath +
                "\" leaves the mod's folders (a drive, UNC or \"..\" too far): the launcher refuses it, E4");
        return;
    }
    if (!IsValidUtf8(text))
        Add(line, Severity::Warning,
            "not UTF-8: each player's launcher reads this line in its own Windows code page, which differs by "
            "region (vtlist make writes UTF-8)");
    Fields(line, *entry);
    Stamp(line, *entry);
    if (const int first = FirstWriter(launcher::WindowsNameKey(entry->LocalPath), line))
        Add(line, Severity::Warning,
            "the local path \"" + entry->LocalPath + "\" is also on line " + std::to_string(first) +
                ": both fetch into the same file");
    if (keepEntries_) report_.entries.push_back({line, entry->RemotePath});
}

void ListLinter::Fields(int line, const launcher::PatchEntry& entry) {
    if (entry.RemotePath.empty() || entry.LocalPath.empty() || entry.LocalPath.back() == '\\')
        Add(line, Severity::Error, "an empty server path or a local path that names no file: the fetch fails, E4");
    if (HasEdgeSpace(entry.RemotePath))
        Add(line, Severity::Warning, "a space at the edge of the server path \"" + entry.RemotePath + "\" is part of it");
    if (HasEdgeSpace(entry.LocalPath))
        Add(line, Severity::Warning, "a space at the edge of the local path \"" + entry.LocalPath + "\" is part of it");
}

void ListLinter::Stamp(int line, const launcher::PatchEntry& entry) {
    launcher::DateValue date = 0;
    switch (launcher::ClassifyStamp(entry.Stamp, date)) {
        case launcher::StampKind::Unreadable:
            Add(line, Severity::Error,
                "the stamp \"" + entry.Stamp +
                    "\" cannot be read (needs year month day hour minute, or immer): the file is never fetched");
            break;
        case launcher::StampKind::Date:
            // vtlist make rounds a time with seconds up to the next minute: a
            // stamp up to a minute ahead is a fresh file's.
            if (date > now_ + 1.0 / (24 * 60))
                Add(line, Severity::Warning,
                    "the stamp \"" + entry.Stamp + "\" lies in the future: every run fetches the file until then");
            break;
        case launcher::StampKind::Always:
            break;
    }
}

}  // namespace

ListReport LintPatchList(std::string_view bytes, launcher::DateValue now, bool keepEntries) {
    const std::vector<std::string_view> lines = TextLineViews(bytes);
    ListLinter linter(now, lines, keepEntries);
    if (lines.empty()) {
        linter.Add(0, Severity::Warning, "the list is empty: nothing is ever fetched");
        return linter.Take();
    }
    linter.Whole(bytes);
    // Each entry as PatchListEntries makes it ("/" turned into "\"), one at a time.
    std::string entry;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        entry.assign(lines[i]);
        for (char& c : entry)
            if (c == '/') c = '\\';
        linter.Entry(static_cast<int>(i + 1), entry, i + 1 == lines.size());
    }
    return linter.Take();
}

std::vector<Problem> LintStartPage(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom)
        return {{1, Severity::Error,
                 "a byte-order mark stands before the marker: every player gets E12 (save it without BOM)"}};
    if (!launcher::BeginsWithLauncherMarker(SplitTextLines(bytes)))
        return {{1, Severity::Error,
                 std::string("the page does not begin with ") + launcher::kLauncherMarker + ": every player gets E12"}};
    return {};
}

int CountErrors(const std::vector<Problem>& problems) {
    int errors = 0;
    for (const Problem& p : problems) errors += p.severity == Severity::Error;
    return errors;
}

}  // namespace vt::vtlist
