// DownloadFile: fetch one URL and replace a local file with exactly what was
// fetched. The body is streamed into a temporary file beside the target, and
// only a complete, good fetch replaces the target, in one step: on every
// failure the old file stays as it was, bytes and attributes, and the
// temporary file is gone. No folder is created.
#pragma once

#include <string>

#include "launcher/win/internet_transfer.h"

namespace vt::launcher {

bool DownloadFile(InternetTransfer& Download, const std::string& Url, const std::string& FileName,
                  FetchOutcome* outcome = nullptr);

}  // namespace vt::launcher
