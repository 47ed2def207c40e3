#pragma once
// Screenshot, session and account names. One alphabet for all of them, so a
// name can stand in an address, a file listing or a page without escaping
// tricks: ASCII letters and digits, '_' and '-', and the German letters
// ä ö ü Ä Ö Ü ß. No dot (so "NAME.jpg" is always the raw picture), no slash,
// no backslash, no '~' (session pages), no control character.

#include <optional>
#include <string>
#include <string_view>

namespace snapora::server {

inline constexpr std::size_t MaxNameLength = 40;  // characters, not bytes
inline constexpr std::size_t MinUserNameLength = 3;
inline constexpr std::size_t MaxUserNameLength = 32;

// The name as it will be kept (UTF-8): surrounding blanks and control
// characters removed, inner blanks turned into '_' as the program's own
// proposals do; nullopt when it is empty, too long or has a character
// outside the alphabet.
std::optional<std::string> CleanName(std::string_view utf8, std::size_t maxLength = MaxNameLength);
std::optional<std::string> CleanUserName(std::string_view utf8);

// A fresh default name: 10 characters from 32 lower-case letters and digits
// without the look-alikes (no l, o, 0, 1), 50 random bits from libsodium.
std::string RandomScreenshotName();
// For a session name another owner holds: the name (shortened when needed),
// '-' and a fresh default name, at most MaxNameLength characters in all.
std::string SessionNameVariant(std::string_view name);

// Random bytes as lower-case hex, for tokens and file keys.
std::string RandomHex(std::size_t bytes);

}  // namespace snapora::server
