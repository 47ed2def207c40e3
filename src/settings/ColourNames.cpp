#include "settings/ColourNames.h"

#include <cstdio>

namespace snapora {

namespace {

struct NamedColour {
    const char* name;
    Colour value;
};

constexpr NamedColour BasicColours[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000},   {"clOlive", 0x008080},
    {"clNavy", 0x800000},  {"clPurple", 0x800080}, {"clTeal", 0x808000},    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},   {"clLime", 0x00FF00},    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},  {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},   {"clWhite", 0xFFFFFF},
};

// In the order of their system colour index.
constexpr const char* SystemColourNames[] = {
    "clScrollBar",  "clBackground",    "clActiveCaption",  "clInactiveCaption",     "clMenu",
    "clWindow",     "clWindowFrame",   "clMenuText",       "clWindowText",          "clCaptionText",
    "clActiveBorder", "clInactiveBorder", "clAppWorkSpace", "clHighlight",          "clHighlightText",
    "clBtnFace",    "clBtnShadow",     "clGrayText",       "clBtnText",             "clInactiveCaptionText",
    "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",        "clInfoText",            "clInfoBk",
};

template <class F>
void ForEachName(F f) {
    for (const NamedColour& c : BasicColours) f(c.name, c.value);
    for (int i = 0; i < int(std::size(SystemColourNames)); ++i) f(SystemColourNames[i], SystemColour(i));
    f("clNone", clNone);
}

}  // namespace

std::string ColourToText(Colour colour) {
    std::string name;
    ForEachName([&](const char* n, Colour value) {
        if (name.empty() && value == colour) name = n;
    });
    if (!name.empty()) return name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%08X", unsigned(colour));
    return hex;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
        if (digit < 0) return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL) return std::nullopt;
    }
    // Hexadecimal covers the whole unsigned range, as colours need; decimal is signed 32-bit.
    if (base == 10 && value > (negative ? 0x80000000LL : 0x7FFFFFFFLL)) return std::nullopt;
    if (base == 16 && value > 0x7FFFFFFFLL) value -= 0x100000000LL;
    return negative ? -value : value;
}

std::optional<Colour> TextToColour(std::string_view text) {
    std::optional<Colour> found;
    ForEachName([&](const char* n, Colour value) {
        if (!found && text == n) found = value;
    });
    if (found) return found;
    if (auto number = ParseInteger(text)) return Colour(std::uint32_t(*number));
    return std::nullopt;
}

}  // namespace snapora
