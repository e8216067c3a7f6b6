#include "launcher/win/fetch/leftover_sweep.h"

#include <windows.h>

#include <set>

#include "launcher/win/fetch/part_file.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {

LeftoverSweep RemoveLeftoverParts(const std::string& folder, bool keepResumable) {
    std::set<std::string> parts, records;  // names as listed; paired with each other by FileNameKey
    for (const char* suffix : {kPartSuffix, kResumeSuffix}) {
        WIN32_FIND_DATAW entry;
        win::UniqueFindHandle search(::FindFirstFileW(win::PathW((folder + "*" + suffix)).c_str(), &entry));
        if (!search) continue;
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                (suffix == kPartSuffix ? parts : records).insert(win::Narrow(entry.cFileName));
        } while (::FindNextFileW(search.get(), &entry));
    }
    LeftoverSweep sweep;
    std::set<std::string> keptRecords;  // FileNameKey: a record spelt in another case than its part is its part's
    for (const std::string& part : parts) {
        const std::string stem = part.substr(0, part.size() - (sizeof kPartSuffix - 1));
        const std::string record = stem + kResumeSuffix;
        if (keepResumable && UsableResumeRecord(folder + part, folder + record)) {
            ++sweep.kept;
            sweep.keptTargets.push_back(folder + stem);
            keptRecords.insert(win::FileNameKey(record));
            continue;
        }
        win::DeleteClearingAttributes(folder + part);
        if (win::ReadFileFacts(folder + part, true)) {  // still there: a fetch is writing it, its record stays too
            keptRecords.insert(win::FileNameKey(record));
            continue;
        }
        ++sweep.removed;
    }
    for (const std::string& record : records)
        if (!keptRecords.count(win::FileNameKey(record))) win::DeleteClearingAttributes(folder + record);
    return sweep;
}

}  // namespace vt::launcher
