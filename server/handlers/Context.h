#pragma once
// Everything a handler may use: settings, the store, the login throttle, the
// change board, the clock and the thumbnail maker. main.cpp builds one; tests build their own.

#include <cstdint>
#include <functional>
#include <string>

#include "auth/LoginThrottle.h"
#include "events/ChangeBoard.h"
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
};

}  // namespace snapora::server
