// A window for update runs whose tests look at the log and the files, not at
// what the player would see.
#pragma once

#include <string>

#include "launcher/win/run/update_run.h"

namespace vt::test {

class NullView : public launcher::UpdateRunView {
public:
    void SetStatus(const std::string&) override {}
    void Navigate(const std::string&) override {}
};

}  // namespace vt::test
