#pragma once

#include <string>
#include <vector>

namespace snapora {

class Process {
public:
    virtual ~Process() = default;
    // The command line's parameters, index 0 being the program's path.
    virtual std::vector<std::string> Parameters() = 0;
    // The full path of the running executable.
    virtual std::string ExecutablePath() = 0;
    // The bytes of one of the program's own data resources; empty when missing.
    virtual std::string ProgramResource(const std::string& name) = 0;
    // Ends the process at once, without unwinding (Windows is shutting down).
    virtual void ExitNow(int code) = 0;
    // The calling thread's scheduling priority, a SetThreadPriority value (-15 ... 15).
    virtual void SetCurrentThreadPriority(int priority) = 0;
};

}  // namespace snapora
