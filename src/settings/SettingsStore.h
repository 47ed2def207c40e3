#pragma once
// The program's options as string values under HKEY_CURRENT_USER\Software\Snapora.
// Each operation opens the key, does one thing and closes it again.

#include <string>

#include "platform/Registry.h"

namespace snapora {

inline constexpr const char* SettingsKey = "\\Software\\Snapora";

class SettingsStore {
public:
    explicit SettingsStore(Registry& registry) : registry_(registry) {}

    bool SettingsKeyExists() { return registry_.KeyExists(SettingsKey); }
    // The value's text, or `fallback` when it (or the key) is missing or not a string.
    std::string ReadSettingString(const std::string& name, const std::string& fallback);
    void WriteSettingString(const std::string& name, const std::string& text);
    // Flags: "true" or "false"; a missing or empty value gives the fallback,
    // any other text is true exactly when it is "true".
    bool ReadSettingBool(const std::string& name, bool fallback);
    void WriteSettingBool(const std::string& name, bool flag);
    void DeleteSettingsKey() { registry_.DeleteKey(SettingsKey); }
    void DeleteSettingValue(const std::string& name) { registry_.DeleteValue(SettingsKey, name); }

private:
    Registry& registry_;
};

}  // namespace snapora
