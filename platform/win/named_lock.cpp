#include "platform/win/named_lock.h"

#include "platform/win/text_codes.h"

namespace vt::win {

NamedLock::NamedLock(const std::string& name) {
    // Created not owned: the mutex's existence is the lock, so it never has
    // to be released, and an ended holder never leaves it abandoned.
    mutex_.reset(::CreateMutexW(nullptr, FALSE, Wide(name).c_str()));
    held_ = mutex_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace vt::win
