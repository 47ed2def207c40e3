#pragma once
// String values under HKEY_CURRENT_USER through the registry API.

#include "platform/Registry.h"

namespace snapora {

// Key paths are relative to HKEY_CURRENT_USER ("Software\\Snapora"); a
// leading backslash is ignored. REG_EXPAND_SZ values read as their raw,
// unexpanded text, as REG_SZ values do; every other type reads as nothing.
class Win32Registry final : public Registry {
public:
    bool KeyExists(const std::string& key) override;
    std::optional<std::string> ReadString(const std::string& key, const std::string& name) override;
    bool WriteString(const std::string& key, const std::string& name, const std::string& text) override;
    void DeleteKey(const std::string& key) override;
    void DeleteValue(const std::string& key, const std::string& name) override;
};

}  // namespace snapora
