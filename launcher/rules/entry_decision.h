// Whether an entry's file is fetched: the date rule, then the side file's
// word on it. Both are pure: the run looks at the local file once and asks
// for its digest only when the answer can change the decision.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "launcher/rules/date_value.h"
#include "launcher/rules/patch_entry.h"

namespace vt::launcher {

struct EntryDecision {
    bool needed = false;
    StampKind kind = StampKind::Unreadable;
    std::string why;         // for the log
    bool repairing = false;  // up to date by its stamp, fetched because it is not what was released
};

// The date rule: "immer" is always fetched, an unreadable stamp never; a
// dated entry is fetched when its file is missing (`lastWritten` nothing) or
// was last written strictly before the stamp.
EntryDecision DecideByDate(StampKind kind, const std::string& stamp, DateValue listDate,
                           std::optional<DateValue> lastWritten);

// With a side-file entry for it: "immer" whose file already matches is not
// fetched again, and a file up to date by its stamp that differs is repaired
// unless the entry is kept ("keep": `repairAllowed` false). `matches` reads
// the file's digest; it is called only when its answer can change the
// decision.
EntryDecision WithSideFile(EntryDecision byDate, bool repairAllowed, const std::function<bool()>& matches);

}  // namespace vt::launcher
