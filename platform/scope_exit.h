// What must happen when a scope is left, by any road (a return, an
// exception): one small owner of it, instead of a guard struct written by
// hand each time. Not copyable or movable: it belongs to the scope.
#pragma once

#include <utility>

namespace vt {

template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void Dismiss() noexcept { armed_ = false; }  // the scope ended as it should: nothing to do

private:
    Action action_;
    bool armed_ = true;
};

}  // namespace vt
