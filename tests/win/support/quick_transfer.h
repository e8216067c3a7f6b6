// Short time-outs for tests against the local test server, so stall cases are
// quick; the retry rules and everything else are the product's.
#pragma once

#include "launcher/win/fetch/internet_transfer.h"

namespace vt::test {

inline launcher::TransferTimeouts QuickTimeouts() {
    launcher::TransferTimeouts t;
    t.connectMs = 3000;
    t.receiveMs = 1500;
    t.firstBackoffMs = 50;
    return t;
}

}  // namespace vt::test
