#include "launcher/rules/entry_decision.h"

namespace vt::launcher {

EntryDecision DecideByDate(StampKind kind, const std::string& stamp, DateValue listDate,
                           std::optional<DateValue> lastWritten) {
    EntryDecision decision;
    decision.kind = kind;
    switch (kind) {
        case StampKind::Always:
            decision.needed = true;
            decision.why = "fetched on every run";
            return decision;
        case StampKind::Unreadable:
            decision.why = "stamp \"" + stamp + "\" cannot be read, not fetched";
            return decision;
        case StampKind::Date:
            break;
    }
    if (!lastWritten) {
        decision.needed = true;
        decision.why = "missing";
        return decision;
    }
    decision.needed = *lastWritten < listDate;
    decision.why = decision.needed ? "older than its stamp" : "up to date";
    return decision;
}

EntryDecision WithSideFile(EntryDecision byDate, bool repairAllowed, const std::function<bool()>& matches) {
    if (byDate.needed && byDate.kind == StampKind::Always) {
        if (matches()) {
            byDate.needed = false;
            byDate.why = "fetched on every run, but it matches the side file";
        }
    } else if (!byDate.needed && repairAllowed && byDate.kind == StampKind::Date) {
        if (!matches()) {
            byDate.needed = true;
            byDate.repairing = true;
            byDate.why = "up to date by its stamp, but it differs from the side file: repairing";
        }
    }
    return byDate;
}

}  // namespace vt::launcher
