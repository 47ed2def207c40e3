#include "settings/Shortcut.h"

namespace snapora {

std::uint16_t ShortcutValue(unsigned key, unsigned modifiers) {
    if (key > 0xFF) return 0;
    unsigned value = key;
    if (modifiers & smShift) value += scShift;
    if (modifiers & smCtrl) value += scCtrl;
    if (modifiers & smAlt) value += scAlt;
    return std::uint16_t(value);
}

void SplitShortcut(std::uint16_t shortcut, unsigned& key, unsigned& modifiers) {
    key = shortcut & 0xFF;
    modifiers = 0;
    if (shortcut & scShift) modifiers |= smShift;
    if (shortcut & scCtrl) modifiers |= smCtrl;
    if (shortcut & scAlt) modifiers |= smAlt;
}

bool IsDialogKey(unsigned key, unsigned modifiers) {
    constexpr unsigned Tab = 0x09, Enter = 0x0D, Escape = 0x1B;
    if (modifiers == 0) return key == Tab || key == Enter || key == Escape;
    return modifiers == smShift && key == Tab;
}

bool IsDialogKeyShortcut(std::uint16_t shortcut) {
    unsigned key = 0, modifiers = 0;
    SplitShortcut(shortcut, key, modifiers);
    return IsDialogKey(key, modifiers);
}

namespace {

std::string KeyName(unsigned key, const std::function<std::string(unsigned)>& systemKeyName) {
    switch (key) {
        case 0x08: return "Rück";
        case 0x09: return "Tab";
        case 0x0D: return "Enter";
        case 0x1B: return "Esc";
        case 0x20: return "Leertaste";
        case 0x21: return "BildAuf";
        case 0x22: return "BildAb";
        case 0x23: return "Ende";
        case 0x24: return "Pos1";
        case 0x25: return "Left";
        case 0x26: return "Nach oben";
        case 0x27: return "Rechts";
        case 0x28: return "Nach unten";
        case 0x2D: return "Einfg";
        case 0x2E: return "Entf";
        default: break;
    }
    if ((key >= 0x30 && key <= 0x39) || (key >= 0x41 && key <= 0x5A)) return std::string(1, char(key));
    if (key >= 0x60 && key <= 0x69) return std::string(1, char('0' + key - 0x60));
    if (key >= 0x70 && key <= 0x87) return "F" + std::to_string(key - 0x6F);
    return systemKeyName ? systemKeyName(key) : std::string();
}

}  // namespace

bool IsModifierKey(unsigned key) { return key == 0x10 || key == 0x11 || key == 0x12; }

bool IsUsableShortcut(std::uint16_t shortcut) {
    return !IsDialogKeyShortcut(shortcut) && !IsModifierKey(shortcut & 0xFFu);
}

std::string FormatShortcut(unsigned key, unsigned modifiers, ShortcutCapture& capture,
                           const std::function<std::string(unsigned)>& systemKeyName) {
    // A plain letter or digit would steal typing everywhere: make it Alt+key.
    if (key >= 0x31 && key <= 0x5A && !(modifiers & (smAlt | smCtrl))) modifiers = smAlt;
    std::string text;
    if (modifiers & smShift) text += "Shift + ";
    if (modifiers & smCtrl) text += "Strg + ";
    if (modifiers & smAlt) text += "Alt + ";
    if (!IsModifierKey(key)) text += KeyName(key, systemKeyName);
    if (text.empty()) return "(Kein)";
    // Ctrl alone is no shortcut: it would be saved and registered at the next start.
    if (!IsModifierKey(key)) capture.alternativeShortcut = ShortcutValue(key, modifiers);
    capture.shortcutKey = key;
    capture.shortcutModifiers = modifiers;
    return text;
}

}  // namespace snapora
