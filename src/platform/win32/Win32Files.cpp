#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "platform/win32/Text.h"

namespace snapora {

namespace {

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces.
constexpr std::size_t kMaxChunk = 1u << 30;

class FileReadStream final : public ReadStream {
public:
    explicit FileReadStream(HANDLE file) : file_(file) {}
    ~FileReadStream() override { CloseHandle(file_); }
    FileReadStream(const FileReadStream&) = delete;
    FileReadStream& operator=(const FileReadStream&) = delete;

    std::uint64_t Size() const override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(file_, &size) ? std::uint64_t(size.QuadPart) : 0;
    }

    std::size_t Read(void* buffer, std::size_t count) override {
        std::size_t total = 0;
        auto* out = static_cast<char*>(buffer);
        while (total < count) {
            DWORD read = 0;
            DWORD wanted = DWORD(std::min(count - total, kMaxChunk));
            if (!ReadFile(file_, out + total, wanted, &read, nullptr) || read == 0) break;
            total += read;
        }
        return total;
    }

private:
    HANDLE file_;
};

}  // namespace

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

bool Win32Files::WriteFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        DWORD written = 0;
        DWORD wanted = DWORD(std::min(bytes.size() - done, kMaxChunk));
        ok = ::WriteFile(file, bytes.data() + done, wanted, &written, nullptr) && written == wanted;
        done += written;
    }
    // A full disk may only show when the data is flushed on closing.
    ok = CloseHandle(file) && ok;
    return ok;
}

std::unique_ptr<ReadStream> Win32Files::OpenForReading(const std::string& path) {
    // Sharing reads only: others may read along, but nobody may change the file
    // while it is being read.
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("Die Datei " + path + " kann nicht gelesen werden.");
    return std::make_unique<FileReadStream>(file);
}

}  // namespace snapora
