// The files below a release folder with their last-write times in local time.
#pragma once

#include <string>
#include <vector>

#include "tools/vtlist/list_make.h"

namespace vt::vtlist {

// Throws std::runtime_error naming the folder when it cannot be read.
std::vector<ReleaseFile> ScanReleaseFolder(const std::string& folder);

// The present moment in local time as a DateValue.
double NowAsDateValue();

}  // namespace vt::vtlist
