#pragma once

#include "platform/Shell.h"

namespace snapora {

class Win32Shell final : public Shell {
public:
    void Open(NativeWindow owner, const std::string& address) override;
};

}  // namespace snapora
