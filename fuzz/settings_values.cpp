// Fuzz target: the settings' values as the registry hands them back: numbers,
// colours, the alternative shortcut and the scrambled account fields. Every
// text is read; whatever a read gives, writing it and reading that again
// gives the same.
// fuzz-sources: src/settings/ColourNames.cpp src/settings/Scrambler.cpp src/settings/Shortcut.cpp

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/ColourNames.h"
#include "settings/Scrambler.h"
#include "settings/Shortcut.h"

using namespace snapora;

namespace {

// A broken expectation is a finding: say which one.
#define EXPECT(condition)                                                          \
    do {                                                                           \
        if (!(condition)) {                                                        \
            std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                          \
        }                                                                          \
    } while (false)

// Decimal texts against the standard library's reading of them.
void Number(const std::string& text) {
    const std::optional<std::int64_t> value = ParseInteger(text);
    if (value) {
        EXPECT(*value >= -0x80000000LL && *value <= 0x80000000LL);
        if (*value <= 0x7FFFFFFFLL) EXPECT(ParseInteger(std::to_string(*value)) == value);
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
    EXPECT(value.has_value() == fits);
    if (fits) EXPECT(*value == reference);
}

void Colours(const std::string& text, std::uint32_t any) {
    if (auto colour = TextToColour(text)) EXPECT(TextToColour(ColourToText(*colour)) == colour);
    const std::string written = ColourToText(Colour(any));
    EXPECT(TextToColour(written) == Colour(any));
    const bool named = written.compare(0, 2, "cl") == 0;
    const bool hex = written.size() == 9 && written[0] == '$' &&
                     written.find_first_not_of("0123456789ABCDEF", 1) == std::string::npos;
    EXPECT(named || hex);
}

void Shortcut(const std::string& text, std::uint16_t any) {
    // What the store writes: the value in decimal; read back and cut to 16 bits.
    EXPECT(ParseInteger(std::to_string(any)) == std::int64_t(any));
    unsigned key = 0, modifiers = 0;
    SplitShortcut(any, key, modifiers);
    EXPECT(key == (any & 0xFFu));
    EXPECT(ShortcutValue(key, modifiers) == (any & 0xE0FF));
    std::uint16_t captured = 0;
    ShortcutCapture capture{captured};
    const std::string shown = FormatShortcut(key, modifiers, capture, nullptr);
    EXPECT(!shown.empty());
    if (shown != "(Kein)") {
        unsigned key2 = 0, modifiers2 = 0;
        SplitShortcut(captured, key2, modifiers2);
        EXPECT(key2 == key && capture.shortcutKey == key && capture.shortcutModifiers == modifiers2);
    }
    if (auto value = ParseInteger(text)) IsDialogKeyShortcut(std::uint16_t(*value));
}

void Scrambled(const std::string& text, std::uint32_t seed) {
    const std::string stored = ScrambleText(text, seed, false);
    const std::string read = ScrambleText(text, seed, true);
    EXPECT(stored.size() == text.size() && read.size() == text.size());
    EXPECT(ScrambleText(stored, seed, true) == text);
    EXPECT(ScrambleText(read, seed, false) == text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]), s = static_cast<unsigned char>(stored[i]);
        if (c < 32 || c > 122)
            EXPECT(s == c);
        else
            EXPECT(s >= 32 && s <= 122);
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
