#pragma once
// Key combinations as the settings store them: a virtual key in the low byte
// and 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.

#include <cstdint>
#include <functional>
#include <string>

namespace snapora {

enum ShortcutModifier : unsigned { smShift = 1, smAlt = 2, smCtrl = 4 };
enum ShortcutFlag : std::uint16_t { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000 };
inline constexpr std::uint16_t DefaultShortcut = 0x4023;  // Ctrl+End

std::uint16_t ShortcutValue(unsigned key, unsigned modifiers);
// Shift, Ctrl or Alt themselves (0x10, 0x11, 0x12).
bool IsModifierKey(unsigned key);
void SplitShortcut(std::uint16_t shortcut, unsigned& key, unsigned& modifiers);
// Enter, Esc and Tab alone, and Shift+Tab: the keys that work a dialog. They
// are never captured as a shortcut and never registered system-wide.
bool IsDialogKey(unsigned key, unsigned modifiers);
bool IsDialogKeyShortcut(std::uint16_t shortcut);
// Whether a stored shortcut may be registered for the whole system: not a
// dialog key, and a real key, not Shift, Ctrl or Alt by itself.
bool IsUsableShortcut(std::uint16_t shortcut);

// The last combination the capture field accepted, shared with the main window.
struct ShortcutCapture {
    std::uint16_t& alternativeShortcut;
    unsigned shortcutKey = 0;
    unsigned shortcutModifiers = 0;
};

// The German text of a combination; stores it as the last one accepted unless
// the text is "(Kein)", and as the alternative shortcut unless its key is
// Shift, Ctrl or Alt itself. Letters and digits 1..9 without Ctrl or Alt get Alt.
std::string FormatShortcut(unsigned key, unsigned modifiers, ShortcutCapture& capture,
                           const std::function<std::string(unsigned)>& systemKeyName);

}  // namespace snapora
