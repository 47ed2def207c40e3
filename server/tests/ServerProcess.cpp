#include "ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

namespace snapora::server::testing {

ServerProcess::ServerProcess(const std::string& dataDir, std::vector<std::string> extra) {
    const std::string portFile = dataDir + ".port";
    logFile_ = dataDir + ".log";
    ::unlink(portFile.c_str());
    std::vector<std::string> arguments = {SNAPORA_SERVER_EXE, "--listen", "127.0.0.1:0", "--data", dataDir,
                                          "--port-file", portFile};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        int log = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(log, 2);
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 100 && port_ == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string text = ReadFile(portFile);
        if (!text.empty()) port_ = std::stoi(text.substr(text.rfind(':') + 1));
    }
    if (port_ == 0) throw std::runtime_error("snapora-server did not start: " + Log());
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0 && Wait(0) == -1) {
        ::kill(pid_, SIGKILL);
        Wait(5000);
    }
}

void ServerProcess::Signal(int signal) { ::kill(pid_, signal); }

int ServerProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    for (int waited = 0;; waited += 10) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (waited >= timeoutMs) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string ServerProcess::Log() const { return ReadFile(logFile_); }

std::pair<int, std::string> RunServerCommand(std::vector<std::string> arguments, const std::string& outputFile) {
    arguments.insert(arguments.begin(), SNAPORA_SERVER_EXE);
    std::fflush(stdout);  // or the child would write the test's buffered output once more
    pid_t pid = ::fork();
    if (pid == 0) {
        FILE* out = std::freopen(outputFile.c_str(), "w", stdout);
        if (!out || ::dup2(::fileno(stdout), 2) < 0) ::_exit(126);
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(outputFile)};
}

}  // namespace snapora::server::testing
