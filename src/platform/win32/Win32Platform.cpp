#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include "platform/win32/Text.h"

namespace snapora {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (true) {
        while (i < commandLine.size() && unsigned(std::uint8_t(commandLine[i])) <= ' ') ++i;
        if (i >= commandLine.size()) break;
        std::string part;
        bool quoted = false;
        for (; i < commandLine.size(); ++i) {
            char c = commandLine[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && std::uint8_t(c) <= ' ') {
                break;
            } else {
                part += c;
            }
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

std::vector<std::string> Win32Process::Parameters() {
    std::vector<std::string> parameters = SplitCommandLine(Narrow(GetCommandLineW()));
    // The command line's first word may be a bare or relative name; the module
    // path is the program's full path.
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    if (parameters.empty())
        parameters.push_back(Narrow(path));
    else
        parameters[0] = Narrow(path);
    return parameters;
}

void Win32Process::ExitNow(int code) { ExitProcess(UINT(code)); }

Win32Platform::~Win32Platform() {
    // Bitmaps own their sections; only the process-wide pointer to us must go.
    if (&CurrentPixelMemorySource() == &dibSource) SetPixelMemorySource(nullptr);
}

void Win32Platform::UseDibPixels() { SetPixelMemorySource(&dibSource); }

}  // namespace snapora
