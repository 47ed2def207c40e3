#pragma once

#include <optional>
#include <string>

#include "base/Geometry.h"

namespace snapora {

class Shell {
public:
    virtual ~Shell() = default;
    // Hands a document or web address to the shell's "open" verb.
    virtual void Open(NativeWindow owner, const std::string& address) = 0;
    // The special folder's path (SHGetSpecialFolderLocation; 7 is Startup)
    // with a trailing backslash, or empty when the shell can't name it.
    virtual std::string SpecialFolderPath(int folder) = 0;
    // Writes a shortcut file through IShellLinkA and IPersistFile; throws when
    // the shell's link object can't be created.
    virtual void CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                                 const std::string& workingDirectory, int showCommand, const std::string& iconFile,
                                 int iconIndex) = 0;
    // The shell's folder browser owned by `owner`: the chosen folder, or nothing.
    virtual std::optional<std::string> BrowseForFolder(NativeWindow owner, const std::string& prompt) = 0;
};

}  // namespace snapora
