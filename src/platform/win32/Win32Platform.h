#pragma once
// The real operating system services, owned together for the composition root.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/DibPixels.h"
#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Process.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32HotKeys.h"
#include "platform/win32/Win32MessageWindows.h"
#include "platform/win32/Win32NotificationArea.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32SingleInstance.h"

namespace snapora {

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
