#pragma once

#include <string>

#include "base/Geometry.h"

namespace snapora {

// Modifier flags of RegisterHotKey.
enum HotKeyModifier : unsigned { MOD_ALT_ = 1, MOD_CONTROL_ = 2, MOD_SHIFT_ = 4 };

class HotKeys {
public:
    virtual ~HotKeys() = default;
    // System-wide keys delivered as WM_HOTKEY to `window`.
    virtual bool Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) = 0;
    virtual void Unregister(NativeWindow window, int id) = 0;
    // The keyboard's own name of a key (its scan code's GetKeyNameText); empty
    // when the key has no scan code.
    virtual std::string KeyNameText(unsigned virtualKey) = 0;
};

}  // namespace snapora
