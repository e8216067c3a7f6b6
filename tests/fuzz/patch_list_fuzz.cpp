// libFuzzer target: arbitrary bytes as a patch list, and as a stamp. Every
// line goes through the launcher's own entry rules; the checks below are the
// promises the rest of the launcher builds on.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/text_lines.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/update_rules.h"

using namespace vt;
using namespace vt::launcher;

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// The OLE dates around 1 January 100 and 31 December 9999, 23:59. Before the
// epoch a time of day makes the value more negative (-657434.5 is noon of
// 1 January 100), so the lowest value lies just above -657435.
constexpr double kFirstDate = -657435.0;
constexpr double kLastDate = 2958466.0;

void CheckStamp(const std::string& stamp) {
    DateValue value = -1e300;
    const bool read = ParseListDate(stamp, value);
    if (!read) {
        Require(value == -1e300);  // written only on success
        return;
    }
    Require(std::isfinite(value) && value > kFirstDate && value < kLastDate);
    DateValue again = 0;
    Require(ParseListDate(" " + stamp + " ", again) && again == value);  // blanks around do not matter
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckStamp(bytes);

    for (const std::string& line : PatchListEntries(SplitTextLines(bytes))) {
        Require(line.find('/') == std::string::npos && line.find('\r') == std::string::npos);
        const auto entry = SplitPatchEntry(line);
        if (!entry) continue;
        for (const std::string* field : {&entry->RemotePath, &entry->LocalPath, &entry->Stamp})
            Require(field->find('|') == std::string::npos && field->find('\t') == std::string::npos);
        if (IsSafeEntry(*entry)) Require(entry->LocalPath.find(':') == std::string::npos && !entry->UncLocalPath);
        const std::string folders = EntryFolderPath("C:\\VT\\", entry->LocalPath);
        Require(folders.empty() || (folders.rfind("C:\\VT\\", 0) == 0 && folders.back() == '\\'));
        DateValue date = 0;
        ClassifyStamp(entry->Stamp, date);
        CheckStamp(entry->Stamp);
    }
    return 0;
}
