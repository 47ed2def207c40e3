#pragma once
// The real operating system services, owned together for the composition root.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/DibPixels.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32HotKeys.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32SingleInstance.h"

namespace snapora {

class Win32Process final : public Process {
public:
    std::vector<std::string> Parameters() override;
    void ExitNow(int code) override;
};

// Splits a command line the classic way: blanks separate, double quotes group
// and vanish, backslashes are plain characters (so "C:\dir\" stays a path).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

class Win32Platform {
public:
    Win32Platform() = default;
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform View() { return platform; }
    // Makes every bitmap created from now on a DIB section with a GDI canvas.
    void UseDibPixels();

    Win32Desktop desktop;
    Win32Files files;
    Win32Shell shell;
    Win32HotKeys hotKeys;
    Win32SingleInstance instance;
    Win32Process process;
    DibPixelSource dibSource;
    // Declared after the services it refers to.
    Platform platform{desktop, files, shell, hotKeys, instance, process};
};

}  // namespace snapora
