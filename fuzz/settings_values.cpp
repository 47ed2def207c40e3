// Fuzz target: the settings' values as the registry hands them back: numbers,
// colours, the alternative shortcut and the scrambled account fields. Every
// text is read; whatever a read gives, writing it and reading that again
// gives the same.
// fuzz-sources: src/settings/ColourNames.cpp src/settings/Scrambler.cpp src/settings/Shortcut.cpp

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "FuzzExpect.h"
#include "settings/ColourNames.h"
#include "settings/Scrambler.h"
#include "settings/Shortcut.h"

using namespace snapora;

namespace {

// Decimal texts against the standard library's reading of them.
void Number(const std::string& text) {
    const std::optional<std::int64_t> value = ParseInteger(text);
    if (value) {
        FUZZ_EXPECT(*value >= -0x80000000LL && *value <= 0x80000000LL);
        if (*value <= 0x7FFFFFFFLL) FUZZ_EXPECT(ParseInteger(std::to_string(*value)) == value);
    }
    // A sign, then decimal digits only.
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return;
    long long reference = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), reference);
    if (negative) reference = -reference;
    const bool fits = error == std::errc() && end == digits.data() + digits.size() && reference >= -0x80000000LL &&
                      reference <= 0x7FFFFFFFLL;
    FUZZ_EXPECT(value.has_value() == fits);
    if (fits) FUZZ_EXPECT(*value == reference);
}

void Colours(const std::string& text, std::uint32_t any) {
    if (auto colour = TextToColour(text)) FUZZ_EXPECT(TextToColour(ColourToText(*colour)) == colour);
    const std::string written = ColourToText(Colour(any));
    FUZZ_EXPECT(TextToColour(written) == Colour(any));
    const bool named = written.compare(0, 2, "cl") == 0;
    const bool hex = written.size() == 9 && written[0] == '$' &&
                     written.find_first_not_of("0123456789ABCDEF", 1) == std::string::npos;
    FUZZ_EXPECT(named || hex);
}

void Shortcut(const std::string& text, std::uint16_t any) {
    // What the store writes: the value in decimal; read back and cut to 16 bits.
    FUZZ_EXPECT(ParseInteger(std::to_string(any)) == std::int64_t(any));
    unsigned key = 0, modifiers = 0;
    SplitShortcut(any, key, modifiers);
    FUZZ_EXPECT(key == (any & 0xFFu));
    FUZZ_EXPECT(ShortcutValue(key, modifiers) == (any & 0xE0FF));
    std::uint16_t captured = 0;
    ShortcutCapture capture{captured};
    const std::string shown = FormatShortcut(key, modifiers, capture, nullptr);
    FUZZ_EXPECT(!shown.empty());
    if (shown != "(Kein)" && IsModifierKey(key)) {
        // Shift, Ctrl or Alt by itself is shown but never becomes the shortcut.
        FUZZ_EXPECT(captured == 0 && capture.shortcutKey == key);
    } else if (shown != "(Kein)") {
        unsigned key2 = 0, modifiers2 = 0;
        SplitShortcut(captured, key2, modifiers2);
        FUZZ_EXPECT(key2 == key && capture.shortcutKey == key && capture.shortcutModifiers == modifiers2);
        FUZZ_EXPECT(IsUsableShortcut(captured) == !IsDialogKeyShortcut(captured));
    }
    if (auto value = ParseInteger(text)) IsUsableShortcut(std::uint16_t(*value));
}

void Scrambled(const std::string& text, std::uint32_t seed) {
    const std::string stored = ScrambleText(text, seed, false);
    const std::string read = ScrambleText(text, seed, true);
    FUZZ_EXPECT(stored.size() == text.size() && read.size() == text.size());
    FUZZ_EXPECT(ScrambleText(stored, seed, true) == text);
    FUZZ_EXPECT(ScrambleText(read, seed, false) == text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]), s = static_cast<unsigned char>(stored[i]);
        if (c < 32 || c > 122)
            FUZZ_EXPECT(s == c);
        else
            FUZZ_EXPECT(s >= 32 && s <= 122);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::uint32_t any = data.ConsumeIntegral<std::uint32_t>();
    const std::string text = data.ConsumeRemainingBytesAsString();
    Number(text);
    Colours(text, any);
    Shortcut(text, std::uint16_t(any));
    Scrambled(text, any);
    return 0;
}
