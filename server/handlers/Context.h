#pragma once
// Everything a handler may use: settings, the store, the login throttle, the
// change board, the clock and the thumbnail maker. main.cpp builds one; tests build their own.

#include <cstdint>
#include <functional>
#include <string>

#include "auth/LoginThrottle.h"
#include "events/ChangeBoard.h"
#include "http/Request.h"
#include "imaging/ThumbnailMaker.h"
#include "store/Store.h"

namespace snapora::server {

struct ServerSettings {
    std::string publicHost = "127.0.0.1:18080";  // host[:port] in the addresses handed out
    std::string publicScheme = "http";            // "https" when the server speaks TLS
    std::string latestVersion = "4.2";
    std::uint64_t maxUpload = 5 * 1024 * 1024;
    std::int64_t sessionIdle = 2 * 60 * 60;      // seconds without upload or login
    std::string downloadsDir;                     // the program's downloads; may be missing

    // What one account or address may take (see limits/RateLimits.h for the rest).
    bool registrationOpen = true;                               // closed: accounts only from the operator
    std::uint64_t quotaAccountBytes = 500ull * 1024 * 1024;     // uploads a day per account
    std::uint64_t quotaAnonymousBytes = 100ull * 1024 * 1024;   // uploads a day per address without account
    std::uint64_t minFreeBytes = 512ull * 1024 * 1024;          // the data folder keeps this much free
};

struct Context {
    ServerSettings settings;
    Store& store;
    LoginThrottle& throttle;
    ChangeBoard& board;
    std::function<std::int64_t()> clock;  // seconds since the epoch
    std::string secret;                   // the server's key for cookie hashes and form tokens
    ThumbnailMaker& thumbnails;

    std::int64_t Now() const { return clock(); }
    std::string AddressOf(const std::string& name) const {
        return settings.publicScheme + "://" + settings.publicHost + "/" + name;
    }
    // The address as the asking client should see it: https:// when it came over HTTPS.
    std::string AddressOf(const Request& request, const std::string& name) const {
        return (request.secure ? "https" : settings.publicScheme) + "://" + settings.publicHost + "/" + name;
    }
};

}  // namespace snapora::server
