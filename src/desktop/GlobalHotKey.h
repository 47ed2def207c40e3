#pragma once
// One system-wide key combination on a hidden window of its own, raising
// OnHotKey whenever the user presses it, whichever program has the focus.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/HotKeys.h"
#include "platform/MessageWindows.h"

namespace snapora {

class TGlobalHotKey {
public:
    TGlobalHotKey(MessageWindows& windows, HotKeys& hotKeys);
    ~TGlobalHotKey();

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    std::uint16_t Key() const { return key_; }
    void SetKey(std::uint16_t key);
    // While the owner's stored properties are set nothing registers; the end
    // of that registers when enabled.
    void BeginLoading() { loading_ = true; }
    void Loaded();

    bool Registered() const { return registered_; }
    NativeWindow WindowHandle() const { return window_->Handle(); }
    std::function<void()> OnHotKey;

private:
    void Register();
    void Unregister();

    HotKeys& hotKeys_;
    std::unique_ptr<HiddenWindow> window_;
    bool enabled_ = true;
    std::uint16_t key_ = 0;
    bool registered_ = false;
    bool loading_ = false;
};

// RegisterHotKey's modifiers for a shortcut value (Shift 4, Alt 1, Ctrl 2).
unsigned HotKeyModifiers(std::uint16_t shortcut);

}  // namespace snapora
