#pragma once
// Byte-string helpers. All program texts are Windows-1252 bytes in std::string.

#include <string>
#include <string_view>

namespace snapora {

// The text before the first separator, or the whole text when it doesn't occur.
std::string TextBefore(std::string_view text, std::string_view separator);
// The text after the first separator, or empty when it doesn't occur.
std::string TextAfter(std::string_view text, std::string_view separator);
// Case-sensitive prefix test; false when the text is shorter than the prefix.
bool StartsWith(std::string_view text, std::string_view prefix);

// Lower case for Windows-1252 text: ASCII letters, the accented capitals
// (umlauts included) and the few capitals in the 0x8A..0x9F range.
std::string LowerCase1252(std::string_view text);
// Without leading and trailing blanks and control characters (bytes up to 32).
std::string TrimControls(std::string_view text);
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace snapora
