#pragma once

#include <string>

namespace snapora {

class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // Takes the named mutex; false when another instance holds it.
    virtual bool Acquire(const std::string& name) = 0;
    virtual void Release() = 0;
    // Brings the running instance's window, found by its title's start, to the front.
    virtual void ActivateRunningInstance(const std::string& titlePrefix) = 0;
};

}  // namespace snapora
