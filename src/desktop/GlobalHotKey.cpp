#include "desktop/GlobalHotKey.h"

namespace snapora {

unsigned HotKeyModifiers(std::uint16_t shortcut) {
    unsigned modifiers = 0;
    if (shortcut & 0x2000) modifiers |= MOD_SHIFT_;
    if (shortcut & 0x8000) modifiers |= MOD_ALT_;
    if (shortcut & 0x4000) modifiers |= MOD_CONTROL_;
    return modifiers;
}

TGlobalHotKey::TGlobalHotKey(MessageWindows& windows, HotKeys& hotKeys) : hotKeys_(hotKeys) {
    window_ = windows.Create([this](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) {
        if (message == WM_HOTKEY_ && OnHotKey) OnHotKey();
        return false;  // every message goes on to the default handling too
    });
}

TGlobalHotKey::~TGlobalHotKey() { Unregister(); }

void TGlobalHotKey::Register() {
    if (registered_ || loading_) return;
    unsigned code = key_ & 0x1FFF;
    registered_ = hotKeys_.Register(window_->Handle(), 0, HotKeyModifiers(key_), code & 0xFF);
}

void TGlobalHotKey::Unregister() {
    if (!registered_) return;
    hotKeys_.Unregister(window_->Handle(), 0);
    registered_ = false;
}

void TGlobalHotKey::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled)
        Register();
    else
        Unregister();
}

void TGlobalHotKey::SetKey(std::uint16_t key) {
    if (key == key_) return;
    key_ = key;
    Unregister();
    if (enabled_) Register();
}

void TGlobalHotKey::Loaded() {
    loading_ = false;
    if (enabled_) Register();
}

}  // namespace snapora
