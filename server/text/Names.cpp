#include "text/Names.h"

#include <sodium.h>

#include <vector>

namespace snapora::server {

namespace {

bool IsNameCharacter(std::string_view c) {
    if (c.size() == 1) {
        char b = c[0];
        return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '-';
    }
    static constexpr std::string_view German[] = {"ä", "ö", "ü", "Ä", "Ö", "Ü", "ß"};
    for (std::string_view g : German)
        if (c == g) return true;
    return false;
}

// Splits UTF-8 into characters; an invalid byte stands alone (and is refused later).
std::vector<std::string_view> Characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < s.size();) {
        unsigned char lead = static_cast<unsigned char>(s[at]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
        if (at + length > s.size()) length = 1;
        out.push_back(s.substr(at, length));
        at += length;
    }
    return out;
}

}  // namespace

std::optional<std::string> CleanName(std::string_view utf8, std::size_t maxLength) {
    std::size_t begin = 0, end = utf8.size();
    while (begin < end && static_cast<unsigned char>(utf8[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(utf8[end - 1]) <= 32) --end;
    std::vector<std::string_view> characters = Characters(utf8.substr(begin, end - begin));
    if (characters.empty() || characters.size() > maxLength) return std::nullopt;
    std::string name;
    for (std::string_view c : characters) {
        if (c == " ") c = "_";
        if (!IsNameCharacter(c)) return std::nullopt;
        name += c;
    }
    return name;
}

std::optional<std::string> CleanUserName(std::string_view utf8) {
    std::optional<std::string> name = CleanName(utf8, MaxUserNameLength);
    if (name && Characters(*name).size() < MinUserNameLength) return std::nullopt;
    return name;
}

std::string RandomScreenshotName() {
    static constexpr char Alphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";
    static_assert(sizeof Alphabet - 1 == 32);
    std::string name;
    for (int i = 0; i < 10; ++i) name += Alphabet[randombytes_uniform(32)];
    return name;
}

std::string SessionNameVariant(std::string_view name) {
    const std::string suffix = "-" + RandomScreenshotName();
    std::string kept;
    std::size_t characters = 0;
    for (std::string_view c : Characters(name)) {
        if (++characters > MaxNameLength - suffix.size()) break;
        kept += c;
    }
    return kept + suffix;
}

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    randombytes_buf(raw.data(), raw.size());
    std::string hex(bytes * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), raw.data(), raw.size());
    hex.pop_back();
    return hex;
}

}  // namespace snapora::server
