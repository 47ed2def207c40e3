#include "platform/win32/Win32Files.h"

#include <windows.h>

#include "platform/win32/Text.h"

namespace snapora {

std::string Win32Files::TempDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = GetTempPathW(DWORD(buffer.size()), buffer.data());
    if (length > buffer.size()) {  // too small: the answer is the size needed
        buffer.assign(length, L'\0');
        length = GetTempPathW(DWORD(buffer.size()), buffer.data());
    }
    buffer.resize(length <= buffer.size() ? length : 0);
    std::string path = Narrow(buffer);
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

bool Win32Files::FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::Move(const std::string& from, const std::string& to) {
    return MoveFileW(Widen(from).c_str(), Widen(to).c_str()) != 0;
}

bool Win32Files::Delete(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

std::uint64_t Win32Files::Size(const std::string& path) {
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(Widen(path).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace snapora
