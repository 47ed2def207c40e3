#pragma once
// The built snapora-server as a child process on a free loopback port.

#include <string>
#include <vector>

namespace snapora::server::testing {

struct ProgramRun {
    int status = -1;     // exit status, or 128 + signal; -1 when it had to be killed
    std::string output;  // standard output and standard error
};
// snapora-server with these arguments, `input` on its standard input, waited for.
ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& input = "", int timeoutMs = 20000);

class ServerProcess {
public:
    // Starts it with --listen 127.0.0.1:0 --data DATA and the extra options; waits until it listens.
    // fileSizeLimit > 0: no file it writes may grow beyond that many bytes (a disk that is full).
    ServerProcess(const std::string& dataDir, std::vector<std::string> extra = {}, long fileSizeLimit = 0);
    ~ServerProcess();  // SIGKILL if still running

    int Port() const { return port_; }
    void Signal(int signal);
    // The exit status (or 128 + signal); -1 if it did not end within timeoutMs.
    int Wait(int timeoutMs);
    std::string Log() const;  // its standard error so far

private:
    int pid_ = -1;
    int port_ = 0;
    std::string logFile_;
};

}  // namespace snapora::server::testing
