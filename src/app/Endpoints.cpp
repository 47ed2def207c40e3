#include "app/Endpoints.h"

#include <cctype>

#include "platform/Registry.h"
#include "settings/SettingsStore.h"

namespace snapora {

namespace {

bool HostAllowed(std::string_view host) {
    if (host.empty()) return false;
    std::string_view name = host;
    if (auto colon = host.rfind(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        std::string_view port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5) return false;
        long value = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return false;
    }
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

WebHost BuildSetting(const char* text) {
    if (auto parsed = ParseWebHost(text)) return *parsed;
    return WebHost{"http", text};
}

}  // namespace

std::optional<WebHost> ParseWebHost(std::string_view text) {
    WebHost result;
    std::string lower;
    for (char c : text.substr(0, 8)) lower += char(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("https://", 0) == 0) {
        result.scheme = "https";
        text.remove_prefix(8);
    } else if (lower.rfind("http://", 0) == 0) {
        text.remove_prefix(7);
    } else if (text.find("://") != std::string_view::npos) {
        return std::nullopt;  // another scheme
    }
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    if (!HostAllowed(text)) return std::nullopt;
    result.host = std::string(text);
    return result;
}

Endpoints::Endpoints() : service(BuildSetting(SNAPORA_SERVICE_HOST)), website(BuildSetting(SNAPORA_WEBSITE_HOST)) {}

Endpoints Endpoints::ForThisUser(Registry& registry) {
    Endpoints endpoints;
    if (auto text = registry.ReadString(SettingsKey, ServiceUrlValue))
        if (auto service = ParseWebHost(*text)) {
            endpoints.service = *service;
            endpoints.website = *service;
        }
    return endpoints;
}

}  // namespace snapora
