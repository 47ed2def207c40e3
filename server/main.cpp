// snapora-server: wires the store, the handlers and the HTTP adapter together,
// and runs until SIGTERM or SIGINT.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <mutex>

#include "auth/Passwords.h"
#include "config/Options.h"
#include "handlers/Router.h"
#include "http/HttpServer.h"
#include "store/SqliteStore.h"
#include "store/postgres/Migration.h"
#include "store/postgres/PgChangeRelay.h"
#include "store/postgres/PostgresStore.h"
#include "text/Names.h"

using namespace snapora::server;

namespace {

std::mutex logMutex;

void LogLine(const std::string& line) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
}

// Written beside the target and renamed, so a reader never sees half of it.
bool WritePortFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text << "\n";
        if (!out) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// A PEM file for TLS, whole; a missing or empty one stops the start.
std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) text.clear();
    if (text.empty()) throw std::runtime_error("cannot read " + path);
    return text;
}

// snapora-server migrate: the SQLite data folder into PostgreSQL, then the tally.
int Migrate(const Options& options) {
    try {
        StartCrypto();
        LogLine("snapora-server: copying " + options.dataDir + " into the " + PgDescribe(options.database));
        MigrationReport report = MigrateToPostgres(options.dataDir, options.database, [](const std::string& line) {
            LogLine("snapora-server: " + line);
        });
        for (const std::string& problem : report.problems) LogLine("snapora-server: PROBLEM: " + problem);
        LogLine("snapora-server: records: " + std::to_string(report.recordsCopied) + " copied, " +
                std::to_string(report.recordsPresent) + " already there; pictures: " +
                std::to_string(report.picturesCopied) + " copied, " + std::to_string(report.picturesPresent) +
                " already there, " + std::to_string(report.picturesVerified) +
                " checked by SHA-256 and alike; problems: " + std::to_string(report.problems.size()));
        return report.problems.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        LogLine(std::string("snapora-server: migrate: ") + error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "snapora-server: " << parsed.error << "\nTry 'snapora-server --help'.\n";
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::cout << HelpText();
        return 0;
    }
    if (options.command == Options::Command::Migrate) return Migrate(options);

    // Every thread inherits the blocked stop signals; only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        StartCrypto();
        std::filesystem::create_directories(options.dataDir);
        ChangeBoard board;  // before the relay, which leaves it when it goes
        std::unique_ptr<Store> storeKept;
        std::unique_ptr<PgChangeRelay> relay;
        int removedAtStart = 0;
        std::string keptIn = "data in " + options.dataDir;
        if (options.database.empty()) {
            auto sqlite = std::make_unique<SqliteStore>(options.dataDir);
            removedAtStart = sqlite->RemovedAtStart();
            storeKept = std::move(sqlite);
        } else {
            // A connection for each request thread, and two for pages and pictures streamed meanwhile.
            auto postgres = std::make_unique<PostgresStore>(options.database, options.dataDir, options.threads + 2);
            removedAtStart = postgres->RemovedAtStart();
            relay = std::make_unique<PgChangeRelay>(options.database, postgres->Pool(), board, LogLine);
            keptIn = "records and pictures in the " + PgDescribe(options.database);
            storeKept = std::move(postgres);
        }
        Store& store = *storeKept;
        if (removedAtStart > 0)
            LogLine("snapora-server: removed " + std::to_string(removedAtStart) +
                    " unfinished upload(s) left by an earlier run");
        LoginThrottle throttle;
        ServerSettings settings;
        settings.latestVersion = options.latestVersion;
        settings.maxUpload = options.maxUpload;
        settings.sessionIdle = options.sessionIdle;
        settings.downloadsDir = options.downloadsDir.empty() ? options.dataDir + "/downloads" : options.downloadsDir;
        Context context{settings, store, throttle, board, [] { return std::int64_t(std::time(nullptr)); },
                        store.Setting("secret", RandomHex(32))};

        ListeningSocket socket = Listen(options.listenAddress, options.listenPort);
        const std::string listening = options.listenAddress + ":" + std::to_string(socket.port);
        context.settings.publicHost = options.publicHost.empty() ? listening : options.publicHost;

        HttpLimits limits;
        limits.listenSocket = socket.fd;
        limits.threads = options.threads;
        limits.maxConnections = options.maxConnections;
        limits.maxConnectionsPerAddress = options.maxConnections;
        limits.timeoutSeconds = options.timeoutSeconds;
        limits.maxUpload = options.maxUpload;
        limits.stagingFolder = store.StagingFolder();
        limits.behindProxy = options.behindProxy;
        if (!options.tlsCert.empty()) {
            limits.tlsCertificatePem = ReadTextFile(options.tlsCert);
            limits.tlsKeyPem = ReadTextFile(options.tlsKey);
            context.settings.publicScheme = "https";
        }
        HttpServer server(limits, [&context](const Request& request) { return HandleRequest(context, request); },
                          board, LogLine);

        if (!options.portFile.empty() && !WritePortFile(options.portFile, listening))
            LogLine("snapora-server: cannot write " + options.portFile);
        LogLine("snapora-server: listening on " + listening + ", addresses " + context.settings.publicScheme + "://" + context.settings.publicHost +
                "/NAME, " + keptIn);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        LogLine(std::string("snapora-server: ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT") + ", stopping");
        server.Stop(10);
        LogLine("snapora-server: stopped");
    } catch (const std::exception& error) {
        LogLine(std::string("snapora-server: ") + error.what());
        return 1;
    }
    return 0;
}
