// DownloadFile: fetch one URL and replace a local file with exactly what was
// fetched. The body is streamed into "<file>.vtpart" beside the target, and
// only a complete, good fetch replaces the target: the temporary file is
// flushed to the disk, then moved over the target in one step (write-through).
// On every failure the old file stays as it was, bytes and attributes, and the
// temporary file is gone. No folder is created.
//
// The temporary name carries no process id, so that the next run finds what a
// stopped run (Quit, a launch, a killed process) left beside a file and
// removes it (RemoveLeftoverParts). Two launchers at once in one folder do not
// share one: the second cannot open it and its fetch fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "launcher/win/internet_transfer.h"

namespace vt::launcher {

inline constexpr char kPartSuffix[] = ".vtpart";

// A body with no announced length stops (and fails) before the volume's free
// space falls below this.
inline constexpr std::uint64_t kFreeSpaceReserve = 64ull * 1024 * 1024;

// The file-system steps of a download, in order, for a test to check that the
// temporary file is flushed before it replaces the target.
using DownloadSteps = std::vector<std::string>;

bool DownloadFile(InternetTransfer& Download, const std::string& Url, const std::string& FileName,
                  FetchOutcome* outcome = nullptr, std::uint64_t maxBytes = kNoBodyCap, DownloadSteps* steps = nullptr);

// Removes every "*.vtpart" that a stopped run left in `folder` (ending in a
// backslash) and returns how many went. One listing of the folder: under
// Wine, asking for one missing name costs a scan of the whole folder, so a
// question per entry would make a long list quadratic.
int RemoveLeftoverParts(const std::string& folder);

}  // namespace vt::launcher
