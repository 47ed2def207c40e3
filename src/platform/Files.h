#pragma once
// Files and folders, by Windows-1252 paths.

#include <cstdint>
#include <string>

namespace snapora {

class Files {
public:
    virtual ~Files() = default;
    // The user's temp directory, always with a trailing backslash.
    virtual std::string TempDirectory() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    virtual bool Delete(const std::string& path) = 0;
    // Size in bytes, 0 when there is no such file.
    virtual std::uint64_t Size(const std::string& path) = 0;
};

}  // namespace snapora
