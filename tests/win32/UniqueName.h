#pragma once
// Names no earlier or parallel test run has used, for registry keys and files.

#include <windows.h>

#include <random>
#include <string>

namespace snapora::testing {

inline std::string UniqueName(const std::string& prefix) {
    std::random_device random;
    return prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(random());
}

}  // namespace snapora::testing
