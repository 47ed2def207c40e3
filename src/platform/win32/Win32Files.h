#pragma once

#include "platform/Files.h"

namespace snapora {

class Win32Files final : public Files {
public:
    std::string TempDirectory() override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override;
    std::uint64_t Size(const std::string& path) override;
    bool WriteFile(const std::string& path, const std::string& bytes) override;
    std::unique_ptr<ReadStream> OpenForReading(const std::string& path) override;
};

}  // namespace snapora
