#pragma once
// The command line of snapora-server.

#include <cstdint>
#include <string>
#include <vector>

namespace snapora::server {

struct Options {
    enum class Command { Serve, Migrate } command = Command::Serve;
    std::string listenAddress = "127.0.0.1";
    int listenPort = 18080;
    std::string publicHost;    // empty: the listen address and port
    std::string dataDir = "snapora-data";
    std::string database;      // a libpq connection string; empty: SQLite in the data folder
    std::string downloadsDir;  // empty: DATA/downloads
    std::uint64_t maxUpload = 5 * 1024 * 1024;
    std::int64_t sessionIdle = 2 * 60 * 60;
    std::string latestVersion = "4.2";
    unsigned threads = 4;
    unsigned maxConnections = 512;
    unsigned timeoutSeconds = 30;
    std::string portFile;
    bool behindProxy = false;
    std::string tlsCert;  // PEM files: both given, the server speaks HTTPS itself
    std::string tlsKey;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line was fine
};

ParsedOptions ParseOptions(const std::vector<std::string>& arguments);
std::string HelpText();

}  // namespace snapora::server
