#pragma once
// The program sends Windows-1252 bytes; the server keeps and shows UTF-8.

#include <string>
#include <string_view>

namespace snapora::server {

std::string Utf8From1252(std::string_view bytes);
// Characters without a Windows-1252 form become '?'.
std::string Cp1252FromUtf8(std::string_view utf8);
bool IsValidUtf8(std::string_view bytes);
// Browsers send UTF-8; a raw address typed elsewhere may carry Windows-1252.
std::string Utf8FromEither(std::string_view bytes);

}  // namespace snapora::server
