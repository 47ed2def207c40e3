#pragma once
// Colours in the settings: by name when they have one, else "$" and eight hex digits.

#include <optional>
#include <string>
#include <string_view>

#include "base/Colour.h"

namespace snapora {

std::string ColourToText(Colour colour);
// A name of the table or a number; nothing for any other text.
std::optional<Colour> TextToColour(std::string_view text);

// A whole number as the settings write it: decimal, or hexadecimal after "$"
// or "0x"; nothing when the text is no number or doesn't fit 32 bits.
std::optional<std::int64_t> ParseInteger(std::string_view text);

}  // namespace snapora
