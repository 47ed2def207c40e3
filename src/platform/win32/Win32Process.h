#pragma once
// The running program: its command line, its path, its resources and its end.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Process.h"

namespace snapora {

class Win32Process final : public Process {
public:
    std::vector<std::string> Parameters() override;
    std::string ExecutablePath() override;
    std::string ProgramResource(const std::string& name) override;
    void ExitNow(int code) override;
    void SetCurrentThreadPriority(int priority) override;
};

// One of the program's own cursors (a CURSOR resource of the executable, such
// as the editor's "Pen"); nullptr when there is none. The system owns it:
// never destroy it.
HCURSOR LoadProgramCursor(std::string_view name);

// Splits a command line the classic way: blanks separate, double quotes group
// and vanish, backslashes are plain characters (so a quoted folder ending in a
// backslash stays a path).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace snapora
