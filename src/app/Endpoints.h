#pragma once
// Where the program's web service and web site live. The build says where
// (SNAPORA_SERVICE_HOST, SNAPORA_WEBSITE_HOST); the optional registry value
// ServiceURL ("https://host[:port]" or "http://...") points one installation
// elsewhere without rebuilding.

#include <optional>
#include <string>
#include <string_view>

namespace snapora {

class Registry;

// A web address without a path: its scheme ("http" or "https") and host[:port].
struct WebHost {
    std::string scheme = "http";
    std::string host;
    std::string Address() const { return scheme + "://" + host; }  // no trailing slash
    bool Secure() const { return scheme == "https"; }
};

// "http://host[:port]", "https://host[:port]" (a trailing slash allowed) or a
// bare "host[:port]" (plain HTTP); nothing for anything else.
std::optional<WebHost> ParseWebHost(std::string_view text);

// The registry value that overrides the build's service address.
inline constexpr const char* ServiceUrlValue = "ServiceURL";

struct Endpoints {
    Endpoints();  // the build's
    WebHost service;
    WebHost website;

    std::string ServiceAddress() const { return service.Address(); }
    std::string WebsiteAddress() const { return website.Address(); }
    // Screenshot addresses read "<scheme>://<suffix>/<name>"; the name follows the suffix.
    std::string DomainSuffix() const { return service.host; }

    // The build's addresses, or the service that ServiceURL names (which then
    // serves the web site's pages too). A value that is no address is ignored.
    static Endpoints ForThisUser(Registry& registry);
};

}  // namespace snapora
