#pragma once

#include "platform/HotKeys.h"

namespace snapora {

class Win32HotKeys final : public HotKeys {
public:
    bool Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) override;
    void Unregister(NativeWindow window, int id) override;
    std::string KeyNameText(unsigned virtualKey) override;
};

}  // namespace snapora
