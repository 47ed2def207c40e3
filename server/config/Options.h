#pragma once
// The command line of snapora-server.

#include <cstdint>
#include <string>
#include <vector>

namespace snapora::server {

struct Options {
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

    // Abuse limits: what one address may hold or take.
    unsigned maxPerAddress = 16;          // connections (behind a proxy: requests at once) per address
    unsigned headTimeoutSeconds = 10;     // a request head must be complete within this
    std::uint64_t minBodyRate = 4096;     // bytes per second a request body must average
    unsigned maxStreams = 256;            // open session-page event streams in all
    unsigned streamLifetimeSeconds = 300; // then the browser reconnects
    bool registrationOpen = true;         // --registration open|closed
    std::uint64_t quotaAccount = 500ull * 1024 * 1024;    // upload bytes a day per account
    std::uint64_t quotaAnonymous = 100ull * 1024 * 1024;  // upload bytes a day per address without account
    std::uint64_t minFree = 512ull * 1024 * 1024;         // free bytes the data folder keeps
    // Operations: the configuration file, retention and the metrics listener.
    std::string configFile;      // read before the command line, which overrides it
    int keepDays = 0;            // screenshots older than this many days are deleted; 0 keeps them for ever
    std::string metricsAddress;  // empty: no metrics listener
    int metricsPort = 0;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line was fine
};

// The command line. "--config FILE" anywhere in it reads FILE first: one
// "name = value" per line with the options' names without their dashes
// ("keep-days = 30", "behind-proxy = yes"), blank lines and # comments; the
// command line overrides it. An error in the file names the file and line.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);
std::string HelpText();

}  // namespace snapora::server
