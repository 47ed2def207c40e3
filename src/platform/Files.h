#pragma once
// Files and folders, by Windows-1252 paths.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ReadStream.h"

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
    // Creates or replaces a file with these bytes; false when that failed.
    virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
    // Opens a file for reading with writers locked out; throws when it can't.
    virtual std::unique_ptr<ReadStream> OpenForReading(const std::string& path) = 0;
};

}  // namespace snapora
