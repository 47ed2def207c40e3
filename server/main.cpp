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
#include "store/SqliteStore.h"
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

int OperatorMain(const std::vector<std::string>& arguments) {
    OperatorCommand command = ParseOperatorCommand(arguments);
    if (!command.error.empty()) {
        std::cerr << "snapora-server: " << command.error << "\nTry 'snapora-server --help'.\n";
        return 2;
    }
    try {
        StartCrypto();
        SqliteStore store(command.dataDir, false);
        return RunOperatorCommand(command, store, ReadPassword, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "snapora-server: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    signal(SIGXFSZ, SIG_IGN);  // a file that may grow no further is a failed write, not the end
    if (IsOperatorCommand(arguments)) return OperatorMain(arguments);
    ParsedOptions parsed = ParseOptions(arguments);
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
        SqliteStore store(options.dataDir);
        PictureFolder::Recovery recovery = store.Recover();
        if (recovery.stagedRemoved > 0)
            LogLine("snapora-server: removed " + std::to_string(recovery.stagedRemoved) +
                    " unfinished upload(s) left by an earlier run");
        for (const std::string& file : recovery.quarantined)
            LogLine("snapora-server: no record names pictures/" + file + "; moved it to " + options.dataDir +
                    "/quarantine/");
        LoginThrottle throttle(store);
        ChangeBoard board;
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
                        store.Setting("secret", RandomHex(32))};

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
        HttpServer server(limits, [&context](const Request& request) { return HandleRequest(context, request); },
                          board, LogLine);

        if (!options.portFile.empty() && !WritePortFile(options.portFile, listening))
            LogLine("snapora-server: cannot write " + options.portFile);
        LogLine("snapora-server: listening on " + listening + ", addresses " + context.settings.publicScheme + "://" + context.settings.publicHost +
                "/NAME, data in " + options.dataDir);

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
