// A lock that one process of the session holds by name (a named mutex), for
// "one of these at a time": the first to ask holds it until it ends, however
// it ends (the system frees the mutex with the process). Later askers learn
// that it is held and should leave what it guards alone.
#pragma once

#include <string>

#include "platform/win/handles.h"

namespace vt::win {

class NamedLock {
public:
    // `name` with its namespace ("Local\..." for this session) and no other
    // backslash. Not held when the system could not make the mutex either.
    explicit NamedLock(const std::string& name);
    bool Held() const { return held_; }

private:
    UniqueKernelHandle mutex_;
    bool held_ = false;
};

}  // namespace vt::win
