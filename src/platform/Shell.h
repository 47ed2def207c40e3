#pragma once

#include <string>

#include "base/Geometry.h"

namespace snapora {

class Shell {
public:
    virtual ~Shell() = default;
    // Hands a document or web address to the shell's "open" verb.
    virtual void Open(NativeWindow owner, const std::string& address) = 0;
};

}  // namespace snapora
