#pragma once
// The task bar's notification area through Shell_NotifyIconA, and the window
// services around the tray icon.

#include "platform/NotificationArea.h"

namespace snapora {

class Win32NotificationArea final : public NotificationArea {
public:
    bool NotifyIcon(NotifyIconMessage message, const NotifyIconRecord& record) override;
    int ShellMajorVersion() override;
    std::uint32_t RecordSize(bool version5) override;

    IconHandle ApplicationIcon() override;
    IconHandle StockIcon(int id) override;
    IconHandle CopyIcon(IconHandle icon) override;
    void DestroyIcon(IconHandle icon) override;
    Point CursorPosition() override;
    void SetForegroundWindow(NativeWindow window) override;
    // Hides or shows TaskbarWindow(); nothing when there is none. Call it on
    // the UI thread, as the tray icon's handlers run.
    void ShowTaskbarWindow(int command) override;
};

// The calling thread's top-level window the task bar gives a button for:
// WS_EX_APPWINDOW, or without owner and not a tool window (shown or not). On
// the UI thread that is the main form, the UI backend making every other form
// its owned window. Only windows of classes the executable registered count,
// so the system's windows (IME, message boxes) never do; the first one the
// system lists wins. 0 when there is none.
NativeWindow TaskbarWindow();

}  // namespace snapora
