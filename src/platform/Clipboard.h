#pragma once

#include <string>

namespace snapora {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void SetText(const std::string& text) = 0;
};

}  // namespace snapora
