// An owned event (CreateEvent) with its verbs, so that no caller handles a
// raw event handle: made, set, waited for, closed with its owner.
#pragma once

#include <windows.h>

#include "platform/win/handles.h"

namespace vt::win {

class Event {
public:
    enum class Reset { Manual, Auto };  // Auto: one waiter is let through, and the event is clear again
    explicit Event(Reset reset) : handle_(::CreateEventW(nullptr, reset == Reset::Manual, FALSE, nullptr)) {}

    // False when the system could not make it (no handles left).
    explicit operator bool() const noexcept { return static_cast<bool>(handle_); }
    void Set() const noexcept { ::SetEvent(handle_.get()); }
    void Clear() const noexcept { ::ResetEvent(handle_.get()); }
    // True when it was set within `ms` (INFINITE: however long it takes).
    bool Wait(DWORD ms = INFINITE) const noexcept { return ::WaitForSingleObject(handle_.get(), ms) == WAIT_OBJECT_0; }

private:
    UniqueKernelHandle handle_;
};

}  // namespace vt::win
