#include "platform/win32/Text.h"

#include <windows.h>

#include <climits>

namespace snapora {

namespace {

constexpr UINT kWindows1252 = 1252;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code page converter treats each half of a surrogate pair on its own and
// would yield two replacement characters; one code point must give one '?'.
std::wstring WithSurrogatesReplaced(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (IsHighSurrogate(c)) {
            if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
            out.push_back(L'?');
        } else if (IsLowSurrogate(c)) {
            out.push_back(L'?');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::wstring Widen(std::string_view cp1252) {
    if (cp1252.empty() || cp1252.size() > size_t(INT_MAX)) return {};
    int length = MultiByteToWideChar(kWindows1252, 0, cp1252.data(), int(cp1252.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring out(size_t(length), L'\0');
    MultiByteToWideChar(kWindows1252, 0, cp1252.data(), int(cp1252.size()), out.data(), length);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty() || utf16.size() > size_t(INT_MAX)) return {};
    std::wstring text = WithSurrogatesReplaced(utf16);
    // Without WC_NO_BEST_FIT_CHARS Windows replaces letters it lacks by bare
    // look-alikes (e.g. L-stroke by 'L'), silently changing the text.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char replacement[] = "?";
    int length = WideCharToMultiByte(kWindows1252, flags, text.data(), int(text.size()), nullptr, 0,
                                     replacement, nullptr);
    if (length <= 0) return std::string(text.size(), '?');
    std::string out(size_t(length), '\0');
    WideCharToMultiByte(kWindows1252, flags, text.data(), int(text.size()), out.data(), length, replacement,
                        nullptr);
    return out;
}

}  // namespace snapora
