// One file's body from its sources into its partial file: the mirrors in
// turn, the server of WEBPATH=, a partial update from the old copy, a
// stopped run's bytes continued.
#pragma once

#include "launcher/win/fetch/fetch_request.h"
#include "launcher/win/fetch/internet_transfer.h"
#include "launcher/win/fetch/part_file.h"

namespace vt::launcher {

// The body of `request` into `part`, flushed to the disk: everything but
// putting it in place. Built from the old copy and fetched ranges where the
// side file gives a block index (block_patch.h), else fetched whole,
// continuing what a stopped run left when it can.
FetchOutcome FetchToPart(InternetTransfer& transfer, PartFile& part, const FetchRequest& request);

// FetchToPart from the request's sources: the mirrors in turn when it has
// them (a source that fails the fetch for a reason of its own is set aside
// and the next one tried), else its URL.
FetchOutcome FetchFromSources(InternetTransfer& transfer, PartFile& part, const FetchRequest& request);

}  // namespace vt::launcher
