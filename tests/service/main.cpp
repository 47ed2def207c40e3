// snapora-test-service: the local test web service as a program of its own,
// for the end-to-end tests (native build only).
//
//   snapora-test-service --port-file FILE [--port N] [--record-dir DIR]
//                        [--reply-file PATH:FILE ...]
//
// Writes "127.0.0.1:PORT\n" to FILE once it listens. With --record-dir, every
// request is saved as DIR/NNNN.req (the raw bytes) and DIR/NNNN.body (the body
// alone), NNNN counting from 0001; the .body file appears first, both are
// renamed into place whole. --reply-file answers requests whose target starts
// with PATH from FILE, read again for every request: the first line is the
// status code, the rest the body byte for byte. While FILE is missing or empty
// the built-in reply is used. Runs until SIGTERM or SIGINT, then exits 0.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TestService.h"

using snapora::testing::RecordedRequest;
using snapora::testing::Reply;
using snapora::testing::TestService;

namespace {

int Usage(const char* why) {
    std::cerr << "snapora-test-service: " << why << "\n"
              << "usage: snapora-test-service --port-file FILE [--port N] [--record-dir DIR]"
                 " [--reply-file PATH:FILE ...]\n";
    return 2;
}

bool ReadWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

// Writes beside the target, then renames, so readers never see half a file.
bool WriteWhole(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::optional<Reply> ReplyFromFile(const std::string& file) {
    std::string text;
    if (!ReadWhole(file, text) || text.empty()) return std::nullopt;
    std::size_t nl = text.find('\n');
    std::string statusLine = text.substr(0, nl);
    Reply reply;
    reply.body = nl == std::string::npos ? "" : text.substr(nl + 1);
    char* end = nullptr;
    long status = std::strtol(statusLine.c_str(), &end, 10);
    if (end == statusLine.c_str() || status < 100 || status > 999) {
        reply.status = 500;
        reply.body = "bad reply file " + file + ": first line must be the status code";
    } else {
        reply.status = static_cast<int>(status);
    }
    return reply;
}

}  // namespace

int main(int argc, char** argv) {
    std::string portFile, recordDir;
    int port = 0;
    std::vector<std::pair<std::string, std::string>> replyFiles;  // path prefix, file
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            Usage("a local stand-in for the Snapora web service");
            return 0;
        } else if (arg == "--port-file") {
            const char* v = value();
            if (!v) return Usage("--port-file needs a file");
            portFile = v;
        } else if (arg == "--port") {
            const char* v = value();
            if (!v) return Usage("--port needs a number");
            port = std::atoi(v);
        } else if (arg == "--record-dir") {
            const char* v = value();
            if (!v) return Usage("--record-dir needs a directory");
            recordDir = v;
        } else if (arg == "--reply-file") {
            const char* v = value();
            std::string given = v ? v : "";
            std::size_t colon = given.find(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == given.size())
                return Usage("--reply-file needs PATH:FILE");
            replyFiles.emplace_back(given.substr(0, colon), given.substr(colon + 1));
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }
    if (portFile.empty()) return Usage("--port-file is required");

    // Block the stop signals before any thread starts, so every thread
    // inherits the mask and sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        TestService service(port);
        if (!recordDir.empty()) {
            service.OnRecorded([recordDir](const RecordedRequest& request) {
                char name[32];
                std::snprintf(name, sizeof name, "/%04d", request.sequence);
                const std::string base = recordDir + name;
                if (!WriteWhole(base + ".body", request.body) || !WriteWhole(base + ".req", request.raw))
                    std::cerr << "snapora-test-service: cannot write " << base << ".*\n";
            });
        }
        for (const auto& [prefix, file] : replyFiles)
            service.SetDefaultProvider(prefix, [file = file](const RecordedRequest&) { return ReplyFromFile(file); });

        if (!WriteWhole(portFile, service.HostAndPort() + "\n")) {
            std::cerr << "snapora-test-service: cannot write " << portFile << "\n";
            return 1;
        }
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& error) {
        std::cerr << "snapora-test-service: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
