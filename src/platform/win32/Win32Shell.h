#pragma once

#include "platform/Shell.h"

namespace snapora {

// Shortcuts go through IShellLinkW with widened texts: the program's
// Windows-1252 texts stay exact whatever the system's ANSI code page.
class Win32Shell final : public Shell {
public:
    void Open(NativeWindow owner, const std::string& address) override;
    std::string SpecialFolderPath(int folder) override;
    void CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                         const std::string& workingDirectory, int showCommand, const std::string& iconFile,
                         int iconIndex) override;
    std::optional<std::string> BrowseForFolder(NativeWindow owner, const std::string& prompt) override;
};

}  // namespace snapora
