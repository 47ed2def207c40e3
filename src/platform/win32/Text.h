#pragma once
// Program texts are Windows-1252 bytes; Windows wants UTF-16. These two
// functions are the only crossing between them.

#include <string>
#include <string_view>

namespace snapora {

std::wstring Widen(std::string_view cp1252);
// Characters Windows-1252 cannot hold become one '?' each, surrogate pairs included.
std::string Narrow(std::wstring_view utf16);

}  // namespace snapora
