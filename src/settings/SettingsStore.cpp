#include "settings/SettingsStore.h"

namespace snapora {

std::string SettingsStore::ReadSettingString(const std::string& name, const std::string& fallback) {
    return registry_.ReadString(SettingsKey, name).value_or(fallback);
}

void SettingsStore::WriteSettingString(const std::string& name, const std::string& text) {
    registry_.WriteString(SettingsKey, name, text);  // a key that can't be written is skipped
}

bool SettingsStore::ReadSettingBool(const std::string& name, bool fallback) {
    std::string text = ReadSettingString(name, "");
    if (text.empty()) return fallback;
    return text == "true";
}

void SettingsStore::WriteSettingBool(const std::string& name, bool flag) {
    WriteSettingString(name, flag ? "true" : "false");
}

}  // namespace snapora
