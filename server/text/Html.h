#pragma once
// Escaping for the pages: every text from outside goes through one of these.

#include <string>
#include <string_view>

namespace snapora::server {

// For element content and quoted attribute values.
std::string EscapeHtml(std::string_view utf8);
// A JSON string literal, quotes included; '<' '>' '&' escaped as well.
std::string JsonString(std::string_view utf8);
// Percent-encodes everything but unreserved ASCII, for a path segment or query value.
std::string UrlEncode(std::string_view bytes);

}  // namespace snapora::server
