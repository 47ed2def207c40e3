#include "base/Strings.h"

namespace snapora {

std::string TextBefore(std::string_view text, std::string_view separator) {
    auto at = text.find(separator);
    return std::string(at == std::string_view::npos ? text : text.substr(0, at));
}

std::string TextAfter(std::string_view text, std::string_view separator) {
    auto at = text.find(separator);
    if (at == std::string_view::npos) return {};
    return std::string(text.substr(at + separator.size()));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

namespace {
unsigned char LowerByte(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Agrave..Thorn, not the multiplication sign
    switch (c) {
        case 0x8A: return 0x9A;  // S caron
        case 0x8C: return 0x9C;  // OE
        case 0x8E: return 0x9E;  // Z caron
        case 0x9F: return 0xFF;  // Y diaeresis
        default: return c;
    }
}
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string LowerCase1252(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(LowerByte(static_cast<unsigned char>(c)));
    return out;
}

std::string TrimControls(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlankOrControl(text[begin])) ++begin;
    while (end > begin && IsBlankOrControl(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace snapora
