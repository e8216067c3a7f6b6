// Runs the game and waits until its process has ended.
#pragma once

#include <string>

namespace vt::starter {

// Starts `"command" parameter` minimised (show-window code 2) in the folder of
// `command`, where a game looks for its files, then waits without a time-out
// until that process ends. Processes it starts in turn are not waited for.
// Throws a Failure naming the program when it cannot be started.
void StartAndWait(const std::string& command, const std::string& parameter);

}  // namespace vt::starter
