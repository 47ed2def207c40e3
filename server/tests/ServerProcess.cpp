#include "ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

namespace snapora::server::testing {

ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& input, int timeoutMs) {
    char outputPath[] = "/tmp/snapora-program-XXXXXX";
    int output = ::mkstemp(outputPath);
    int in[2];
    if (output < 0 || ::pipe(in) != 0) throw std::runtime_error("RunProgram");
    std::vector<std::string> argv = {SNAPORA_SERVER_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    int pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::close(in[1]);
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::signal(SIGPIPE, SIG_IGN);  // a program that ends without reading its input must not end the test
    const bool written = input.empty() || ::write(in[1], input.data(), input.size()) == ssize_t(input.size());
    ::close(in[1]);
    ProgramRun run;
    for (int waited = 0;; waited += 10) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (waited >= timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(output);
    run.output = ReadFile(outputPath) + (written ? "" : "\n(its input could not be written)");
    ::unlink(outputPath);
    return run;
}

ServerProcess::ServerProcess(const std::string& dataDir, std::vector<std::string> extra, long fileSizeLimit) {
    const std::string portFile = dataDir + ".port";
    logFile_ = dataDir + ".log";
    ::unlink(portFile.c_str());
    std::vector<std::string> arguments = {SNAPORA_SERVER_EXE, "--listen", "127.0.0.1:0", "--data", dataDir,
                                          "--port-file", portFile};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        if (fileSizeLimit > 0) {
            rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
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

}  // namespace snapora::server::testing
