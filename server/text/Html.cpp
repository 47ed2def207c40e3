#include "text/Html.h"

#include <cstdio>

namespace snapora::server {

std::string EscapeHtml(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            case '\0': out += "\xEF\xBF\xBD"; break;  // U+FFFD: no NUL in a page
            default: out += c;
        }
    }
    return out;
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || c == '<' || c == '>' || c == '&') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string UrlEncode(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~') {
            out += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", b);
            out += escaped;
        }
    }
    return out;
}

}  // namespace snapora::server
