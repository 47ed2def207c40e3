// snapora-server: wires the store, the handlers and the HTTP adapter together,
// and runs until SIGTERM or SIGINT; or runs one of the operator's commands.

#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <mutex>
#include <optional>
#include <algorithm>

#include "auth/Passwords.h"
#include "config/Options.h"
#include "handlers/Router.h"
#include "http/HttpServer.h"
#include "imaging/ThumbnailMaker.h"
#include "metrics/Metrics.h"
#include "ops/Backup.h"
#include "ops/Migrate.h"
#include "ops/Retention.h"
#include "store/SqliteStore.h"
#include "store/postgres/PgChangeRelay.h"
#include "store/postgres/PostgresStore.h"
#include "text/Names.h"
#include "tools/OperatorCommands.h"

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

// One line of standard input; on a terminal asked for twice, without echo.
std::optional<std::string> ReadPassword() {
    auto line = [](const char* prompt) -> std::optional<std::string> {
        const bool terminal = ::isatty(0);
        termios saved{};
        if (terminal) {
            std::cerr << prompt << std::flush;
            ::tcgetattr(0, &saved);
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            ::tcsetattr(0, TCSANOW, &quiet);
        }
        std::string text;
        const bool read = bool(std::getline(std::cin, text));
        if (terminal) {
            ::tcsetattr(0, TCSANOW, &saved);
            std::cerr << "\n";
        }
        if (!read) return std::nullopt;
        return text;
    };
    std::optional<std::string> password = line("Password: ");
    if (password && ::isatty(0) && line("Password again: ") != password) return std::nullopt;
    return password;
}

// "account ..." and "screenshot ...": on the store beside the running server.
int OperatorMain(const std::string& object, const std::vector<std::string>& rest) {
    std::vector<std::string> arguments = {object};
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    OperatorCommand command = ParseOperatorCommand(arguments);
    if (command.error.empty() && command.dataDir.empty() && command.database.empty()) {
        ParsedOptions configured = ParseOptions({"--config", command.configFile});  // the store it names
        command.error = configured.error;
        command.dataDir = configured.options.dataDir;
        command.database = configured.options.database;
    }
    if (!command.error.empty()) {
        std::cerr << "snapora-server: " << command.error << "\nTry 'snapora-server --help'.\n";
        return 2;
    }
    try {
        if (!command.database.empty()) {
            // Nothing is uploaded here: its staging folder is a temporary one.
            std::string staging = std::filesystem::temp_directory_path().string() + "/snapora-operator-XXXXXX";
            if (!::mkdtemp(staging.data())) throw std::runtime_error("cannot make a temporary folder");
            int status = 0;
            {
                PostgresStore store(command.database, staging, 2);
                status = RunOperatorCommand(command, store, ReadPassword, std::cout, std::cerr);
            }
            std::filesystem::remove_all(staging);
            return status;
        }
        SqliteStore store(command.dataDir, SqliteStore::Opening::Beside);
        return RunOperatorCommand(command, store, ReadPassword, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "snapora-server: " << error.what() << "\n";
        return 1;
    }
}

// "snapora-server NAME ...": tools for the operator beside the server itself.
struct Subcommand {
    const char* name;
    int (*run)(const std::vector<std::string>& arguments);
};
constexpr Subcommand Subcommands[] = {
    {"backup", RunBackup},
    {"restore", RunRestore},
    {"migrate", RunMigrate},
    {"account", [](const std::vector<std::string>& rest) { return OperatorMain("account", rest); }},
    {"screenshot", [](const std::vector<std::string>& rest) { return OperatorMain("screenshot", rest); }},
};

// The metrics listener: a second, small HTTP server on the operator's address,
// with a change board of its own (it keeps no event streams).
std::unique_ptr<HttpServer> StartMetrics(const Options& options, Context& context, Metrics& metrics,
                                         ChangeBoard& ownBoard) {
    HttpLimits limits;
    limits.listenSocket = Listen(options.metricsAddress, options.metricsPort).fd;
    limits.threads = 1;
    limits.maxConnections = 16;
    limits.maxConnectionsPerAddress = 16;
    limits.maxUpload = 1024;
    limits.stagingFolder = context.store.StagingFolder();
    auto render = [&context, &metrics, dataDir = options.dataDir] {
        StoreTotals totals = context.store.Totals();
        return metrics.Render(
            MetricsNow{totals.screenshots, totals.bytes, context.board.Subscribers(), FreeDiskBytes(dataDir)});
    };
    // Scrapes come every few seconds: only the server's own complaints go to the log.
    auto log = [](const std::string& line) {
        if (line.rfind("snapora-server:", 0) == 0) LogLine(line);
    };
    return std::make_unique<HttpServer>(limits, [render](const Request& request) { return MetricsPage(request, render); },
                                        ownBoard, log);
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGXFSZ, SIG_IGN);  // a file that may grow no further is a failed write, not the end
    for (const Subcommand& subcommand : Subcommands)
        if (argc > 1 && std::string(argv[1]) == subcommand.name) {
            StartCrypto();
            return subcommand.run(std::vector<std::string>(argv + 2, argv + argc));
        }

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

    // Every thread inherits the blocked stop signals; only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        StartCrypto();
        DummyHash();  // made now, so that the first unknown name does not take twice as long
        std::filesystem::create_directories(options.dataDir);
        ChangeBoard board;  // before the relay, which leaves it when it goes
        std::unique_ptr<Store> storeKept;
        std::unique_ptr<PgChangeRelay> relay;
        std::string keptIn = "data in " + options.dataDir;
        if (options.database.empty()) {
            auto sqlite = std::make_unique<SqliteStore>(options.dataDir);
            PictureFolder::Recovery recovery = sqlite->Recover();
            if (recovery.stagedRemoved > 0)
                LogLine("snapora-server: removed " + std::to_string(recovery.stagedRemoved) +
                        " unfinished upload(s) left by an earlier run");
            for (const std::string& file : recovery.quarantined)
                LogLine("snapora-server: no record names pictures/" + file + "; moved it to " + options.dataDir +
                        "/quarantine/");
            storeKept = std::move(sqlite);
        } else {
            // A connection for every thread that may ask at once: those serving connections, the two pools
            // (pictures, passwords) and the thumbnails' two, and one for the operator's metrics.
            const HttpLimits pools;
            const unsigned connections = options.threads + pools.picturePool.threads + pools.passwordPool.threads + 3;
            auto postgres = std::make_unique<PostgresStore>(options.database, options.dataDir, connections);
            if (postgres->RemovedAtStart() > 0)
                LogLine("snapora-server: removed " + std::to_string(postgres->RemovedAtStart()) +
                        " unfinished upload(s) left by an earlier run");
            if (const std::size_t open = postgres->Pool().Fill(); open < connections)
                LogLine("snapora-server: the database took only " + std::to_string(open) + " of " +
                        std::to_string(connections) + " connections; raise its max_connections");
            relay = std::make_unique<PgChangeRelay>(options.database, postgres->Pool(), board, LogLine);
            keptIn = "records and pictures in the " + PgDescribe(options.database);
            storeKept = std::move(postgres);
        }
        Store& store = *storeKept;
        LoginThrottle throttle(store);
        ThumbnailMaker thumbnails(store, 2);
        Metrics metrics;
        ServerSettings settings;
        settings.latestVersion = options.latestVersion;
        settings.maxUpload = options.maxUpload;
        settings.sessionIdle = options.sessionIdle;
        settings.registrationOpen = options.registrationOpen;
        settings.quotaAccountBytes = options.quotaAccount;
        settings.quotaAnonymousBytes = options.quotaAnonymous;
        settings.minFreeBytes = options.minFree;
        settings.downloadsDir = options.downloadsDir.empty() ? options.dataDir + "/downloads" : options.downloadsDir;
        Context context{settings, store, throttle, board, [] { return std::int64_t(std::time(nullptr)); },
                        store.Setting("secret", RandomHex(32)), thumbnails};

        ListeningSocket socket = Listen(options.listenAddress, options.listenPort);
        const std::string listening = options.listenAddress + ":" + std::to_string(socket.port);
        context.settings.publicHost = options.publicHost.empty() ? listening : options.publicHost;

        HttpLimits limits;
        limits.listenSocket = socket.fd;
        limits.threads = options.threads;
        limits.maxConnections = options.maxConnections;
        limits.maxConnectionsPerAddress = options.maxPerAddress;
        limits.timeoutSeconds = options.timeoutSeconds;
        limits.watch.headSeconds = options.headTimeoutSeconds;
        limits.watch.minBodyRate = options.minBodyRate;
        limits.streams.total = options.maxStreams;
        limits.streams.perAddress = std::min(limits.streams.perAddress, options.maxStreams);
        limits.streams.perTopic = std::min(limits.streams.perTopic, options.maxStreams);
        limits.streamLifetimeSeconds = options.streamLifetimeSeconds;
        limits.maxUpload = options.maxUpload;
        limits.stagingFolder = store.StagingFolder();
        limits.behindProxy = options.behindProxy;
        if (!options.tlsCert.empty()) {
            limits.tlsCertificatePem = ReadTextFile(options.tlsCert);
            limits.tlsKeyPem = ReadTextFile(options.tlsKey);
            context.settings.publicScheme = "https";
        }
        HttpServer server(limits,
                          [&context, &metrics](const Request& request) {
                              return Finally(HandleRequest(context, request), [&metrics, &request](Response& response) {
                                  metrics.Count(request, response);
                              });
                          },
                          board, LogLine);
        ChangeBoard metricsBoard;
        std::unique_ptr<HttpServer> metricsServer;
        if (!options.metricsAddress.empty()) {
            metricsServer = StartMetrics(options, context, metrics, metricsBoard);
            LogLine("snapora-server: metrics on http://" + options.metricsAddress + ":" +
                    std::to_string(metricsServer->Port()) + "/metrics");
        }
        std::unique_ptr<Periodic> retention;
        if (options.keepDays > 0) {
            const int keepDays = options.keepDays;
            retention = std::make_unique<Periodic>(std::chrono::minutes(10), [&context, keepDays] {
                try {
                    SweepResult swept = SweepOldScreenshots(context, keepDays);
                    if (swept.screenshots > 0 || swept.sessions > 0)
                        LogLine("snapora-server: deleted " + std::to_string(swept.screenshots) +
                                " screenshot(s) older than " + std::to_string(keepDays) + " days and " +
                                std::to_string(swept.sessions) + " empty session(s)");
                } catch (const std::exception& error) {
                    LogLine(std::string("snapora-server: deleting old screenshots failed: ") + error.what());
                }
            });
        }

        if (!options.portFile.empty() && !WritePortFile(options.portFile, listening))
            LogLine("snapora-server: cannot write " + options.portFile);
        LogLine("snapora-server: listening on " + listening + ", addresses " + context.settings.publicScheme + "://" + context.settings.publicHost +
                "/NAME, " + keptIn);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        LogLine(std::string("snapora-server: ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT") + ", stopping");
        retention.reset();
        if (metricsServer) metricsServer->Stop(1);
        server.Stop(10);
        LogLine("snapora-server: stopped");
    } catch (const std::exception& error) {
        LogLine(std::string("snapora-server: ") + error.what());
        return 1;
    }
    return 0;
}
