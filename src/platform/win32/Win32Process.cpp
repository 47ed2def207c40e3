#include "platform/win32/Win32Process.h"

#include <windows.h>

#include "platform/win32/Text.h"

namespace snapora {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (true) {
        while (i < commandLine.size() && std::uint8_t(commandLine[i]) <= ' ') ++i;
        if (i >= commandLine.size()) break;
        std::string part;
        bool quoted = false;
        for (; i < commandLine.size(); ++i) {
            char c = commandLine[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && std::uint8_t(c) <= ' ')
                break;
            else
                part += c;
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        // A full buffer means the path may have been cut.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::vector<std::string> Win32Process::Parameters() {
    std::vector<std::string> parameters = SplitCommandLine(Narrow(GetCommandLineW()));
    // The command line's first word may be a bare or relative name; the module
    // path is the program's full path.
    std::string path = ExecutablePath();
    if (parameters.empty())
        parameters.push_back(std::move(path));
    else
        parameters[0] = std::move(path);
    return parameters;
}

std::string Win32Process::ExecutablePath() { return Narrow(ModulePath()); }

void Win32Process::ExitNow(int code) { ExitProcess(UINT(code)); }

void Win32Process::SetCurrentThreadPriority(int priority) { SetThreadPriority(GetCurrentThread(), priority); }

std::string Win32Process::ProgramResource(const std::string& name) {
    HRSRC found = FindResourceW(nullptr, Widen(name).c_str(), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);  // module resources need no freeing
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
}

HCURSOR LoadProgramCursor(std::string_view name) {
    if (name.empty()) return nullptr;
    return LoadCursorW(GetModuleHandleW(nullptr), Widen(name).c_str());
}

}  // namespace snapora
