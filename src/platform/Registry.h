#pragma once
// String values under HKEY_CURRENT_USER.

#include <optional>
#include <string>

namespace snapora {

class Registry {
public:
    virtual ~Registry() = default;
    virtual bool KeyExists(const std::string& key) = 0;
    // The text of a string value (REG_SZ); nothing when the key or the value is
    // missing or the value holds another type. Never creates the key.
    virtual std::optional<std::string> ReadString(const std::string& key, const std::string& name) = 0;
    // Creates the key when missing; false when the key or value could not be written.
    virtual bool WriteString(const std::string& key, const std::string& name, const std::string& text) = 0;
    // Deletes the key with all its values (nothing when it doesn't exist).
    virtual void DeleteKey(const std::string& key) = 0;
    // Opens the key, creating it when missing, and deletes one value.
    virtual void DeleteValue(const std::string& key, const std::string& name) = 0;
};

}  // namespace snapora
