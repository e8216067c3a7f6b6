// What an update run works with: the settings, the window's transfer
// component, the window itself (through UpdateRunView) and the log. The run
// goes on a thread of its own so that the window stays responsive; it reaches
// the window only through the view.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "launcher/rules/update_progress.h"
#include "launcher/rules/update_rules.h"
#include "launcher/rules/side_file.h"
#include "launcher/win/fetch/fetch_pool.h"
#include "launcher/win/run/hash_cache.h"
#include "launcher/win/fetch/internet_transfer.h"
#include "platform/win/program_log.h"

namespace vt::launcher {

class UpdateRunView {
public:
    virtual ~UpdateRunView() = default;
    virtual void SetStatus(const std::string& text) = 0;      // txtStatus
    virtual void Navigate(const std::string& address) = 0;    // Browser, waits until told
    // The last status text with a fetch's figures after it: shown, but not
    // logged (it changes a few times a second).
    virtual void ShowProgress(const std::string& text) { SetStatus(text); }
    // The whole update's share so far (`done` of `total`, which only rises):
    // the taskbar button's bar, where there is a taskbar.
    virtual void ShowTotalProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

struct RunContext {
    const LauncherSettings& settings;
    TransferTimeouts timeouts;  // of every fetch of the run
    UpdateRunView& view;
    win::ProgramLog& log;
    // Why the last run ended as it did, when a fetch or the side file ended
    // it (what its ENDING line says after the code); written once, as the
    // run ends. The steps hand it up to the ending; nothing else writes it.
    std::string lastFailure = {};
    // What the run's fetches cost, for its SUMMARY line: tallied as each
    // fetch is taken back (Finish), the entries by the run.
    UpdateSummary summary = {};
};

// How a fetch ended at its one end: its file in place, or why not.
struct Finished {
    bool inPlace = false;
    std::string why = {};  // "<url>: <error>" when not in place
    explicit operator bool() const { return inPlace; }
};

// The probe page and the patch list are read whole (update_rules.h).
inline constexpr std::uint64_t kPageAndListCap = kMaxListBytes;

// Where the side file is fetched to; read and removed at once.
inline constexpr char kSideFileName[] = "NEWUPDATE.VTSUMS";

// The FETCH line of the log: URL, status, bytes, time, attempts, how much was
// continued and waited for, and why it failed.
std::string FetchLogLine(const std::string& url, const std::string& fileName, const FetchOutcome& outcome);

// The one end of every fetch of a run (the probe, the list, the side file,
// each entry): the file put in its target's place, the FETCH line, and then
// the digest remembered (when the side file vouched for the body and there is
// a cache), or why it failed for the ending's log line.
Finished Finish(RunContext& context, PoolFetch& fetch, HashCache* hashes = nullptr);

// One fetch through the pool, waited for and finished.
Finished FetchNow(RunContext& context, FetchPool& pool, FetchRequest request);

}  // namespace vt::launcher
