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
#include "platform/win32/Win32MessageWindows.h"
#include "platform/win32/Win32NotificationArea.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32SingleInstance.h"

namespace snapora {

class Win32Process final : public Process {
public:
    std::vector<std::string> Parameters() override;
    std::string ExecutablePath() override;
    void ExitNow(int code) override;
};

// Splits a command line the classic way: blanks separate, double quotes group
// and vanish, backslashes are plain characters (so a quoted folder ending in a
// backslash stays a path).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

class Win32Clipboard final : public Clipboard {
public:
    // Stores the text as Unicode; Windows derives the ANSI forms from it.
    void SetText(const std::string& text) override;
};

class Win32Dialogs final : public Dialogs {
public:
    std::optional<std::string> SaveFile(NativeWindow owner, const SaveDialogOptions& options) override;
};

// "description|pattern|..." as the common dialogs want it: parts ended by
// zeros, the whole by one more.
std::wstring DialogFilter(std::string_view filter);

class Win32Clock final : public Clock {
public:
    LocalTime Now() override;
};

class Win32Platform {
public:
    Win32Platform() = default;
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform& View() { return platform; }
    // Makes every bitmap created from now on a DIB section with a GDI canvas.
    void UseDibPixels();

    Win32Desktop desktop;
    Win32Files files;
    Win32Shell shell;
    Win32HotKeys hotKeys;
    Win32SingleInstance instance;
    Win32Process process;
    Win32Clipboard clipboard;
    Win32Dialogs dialogs;
    Win32Clock clock;
    Win32Registry registry;
    Win32MessageWindows messageWindows;
    Win32NotificationArea notificationArea;
    DibPixelSource dibSource;
    // Declared after the services it refers to.
    Platform platform{desktop, files, shell, hotKeys, instance, process,
                      clipboard, dialogs, clock, registry, messageWindows, notificationArea};
};

}  // namespace snapora
