#pragma once
// The operating system's services, as the program sees them. The composition
// root hands in the real ones (platform/win32) or the fakes (platform/fake).

#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/MessageWindows.h"
#include "platform/NotificationArea.h"
#include "platform/Registry.h"
#include "platform/HotKeys.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"

namespace snapora {

struct Platform {
    Desktop& desktop;
    Files& files;
    Shell& shell;
    HotKeys& hotKeys;
    SingleInstance& instance;
    Process& process;
    Clipboard& clipboard;
    Dialogs& dialogs;
    Clock& clock;
    Registry& registry;
    MessageWindows& messageWindows;
    NotificationArea& notificationArea;
};

}  // namespace snapora
