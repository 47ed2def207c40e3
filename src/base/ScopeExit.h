#pragma once
// Runs a step when the scope ends, however it ends: by return or by exception.

#include <utility>

namespace snapora {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F step) : step_(std::move(step)) {}
    ~ScopeExit() { step_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F step_;
};

}  // namespace snapora
