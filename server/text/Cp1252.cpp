#include "text/Cp1252.h"

#include <array>
#include <cstdint>

namespace snapora::server {

namespace {

// 0x80..0x9F; 0 marks the five unassigned bytes, which keep their C1 code point.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t CodePointOf(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && HighControls[byte - 0x80] != 0) return HighControls[byte - 0x80];
    return byte;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `at`; returns its length, 0 when malformed.
std::size_t DecodeUtf8(std::string_view s, std::size_t at, char32_t& c) {
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = b(at);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > s.size()) return 0;
    c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(at + i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b(at + i) & 0x3F);
    }
    static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;  // overlong, surrogate
    return length;
}

}  // namespace

std::string Utf8From1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(b)));
    return out;
}

std::string Cp1252FromUtf8(std::string_view utf8) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t c = 0;
        std::size_t length = DecodeUtf8(utf8, at, c);
        if (length == 0) {
            out += '?';
            ++at;
            continue;
        }
        at += length;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += char(c);
            continue;
        }
        char mapped = '?';
        for (unsigned i = 0; i < HighControls.size(); ++i)
            if (HighControls[i] == c || (HighControls[i] == 0 && c == 0x80 + i)) mapped = char(0x80 + i);
        out += mapped;
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        std::size_t length = DecodeUtf8(bytes, at, c);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string Utf8FromEither(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Utf8From1252(bytes);
}

}  // namespace snapora::server
