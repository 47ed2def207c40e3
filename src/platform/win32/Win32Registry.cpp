#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/win32/Text.h"

namespace snapora {

namespace {

class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY Get() const { return key_; }
    HKEY* Receive() { return &key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring KeyPath(const std::string& key) {
    size_t start = 0;
    while (start < key.size() && key[start] == '\\') ++start;
    return Widen(std::string_view(key).substr(start));
}

bool OpenExisting(const std::string& key, REGSAM access, OpenKey& opened) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, access, opened.Receive()) == ERROR_SUCCESS;
}

bool OpenOrCreate(const std::string& key, REGSAM access, OpenKey& opened) {
    return RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                           nullptr, opened.Receive(), nullptr) == ERROR_SUCCESS;
}

// The registry keeps whatever bytes were stored: a string value may lack its
// terminating zero or have an odd length. Only whole characters up to the
// first zero count.
std::wstring TextOf(const std::vector<BYTE>& bytes) {
    const size_t characters = bytes.size() / sizeof(wchar_t);
    std::wstring text(characters, L'\0');
    if (characters) std::memcpy(text.data(), bytes.data(), characters * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

}  // namespace

bool Win32Registry::KeyExists(const std::string& key) {
    OpenKey opened;
    const LSTATUS status =
        RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, KEY_QUERY_VALUE, opened.Receive());
    // A key we may not read is still there.
    return status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
}

std::optional<std::string> Win32Registry::ReadString(const std::string& key, const std::string& name) {
    OpenKey opened;
    if (!OpenExisting(key, KEY_READ, opened)) return std::nullopt;
    const std::wstring valueName = Widen(name);
    std::vector<BYTE> bytes;
    // Another program may grow the value between asking its size and reading it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(opened.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        bytes.assign(size, 0);
        const LSTATUS status =
            RegQueryValueExW(opened.Get(), valueName.c_str(), nullptr, &type, bytes.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        bytes.resize(size);
        return Narrow(TextOf(bytes));
    }
    return std::nullopt;
}

bool Win32Registry::WriteString(const std::string& key, const std::string& name, const std::string& text) {
    OpenKey opened;
    if (!OpenOrCreate(key, KEY_SET_VALUE, opened)) return false;
    const std::wstring wide = Widen(text);
    const DWORD bytes = DWORD((wide.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(opened.Get(), Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          bytes) == ERROR_SUCCESS;
}

void Win32Registry::DeleteKey(const std::string& key) {
    const std::wstring path = KeyPath(key);
    // An empty path names HKEY_CURRENT_USER itself, whose whole contents
    // RegDeleteTreeW would wipe.
    if (path.empty()) return;
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

void Win32Registry::DeleteValue(const std::string& key, const std::string& name) {
    OpenKey opened;
    if (!OpenOrCreate(key, KEY_SET_VALUE, opened)) return;
    RegDeleteValueW(opened.Get(), Widen(name).c_str());
}

}  // namespace snapora
