#pragma once
// The notification area of the task bar (Shell_NotifyIconA) and the few
// window services the tray icon component needs around it.

#include <cstdint>
#include <string>

#include "base/Geometry.h"

namespace snapora {

using IconHandle = std::uintptr_t;  // an HICON; 0 is none

enum NotifyIconMessage : int { NIM_ADD_ = 0, NIM_MODIFY_ = 1, NIM_DELETE_ = 2 };
enum NotifyIconFlags : std::uint32_t { NIF_MESSAGE_ = 1, NIF_ICON_ = 2, NIF_TIP_ = 4 };

// The fields of NOTIFYICONDATAA the component fills. `cbSize` picks the
// layout: the shell's first one (tip of 64 bytes) or its version 5 one (tip of
// 128 bytes, with state fields); the platform maps them onto its own sizes.
struct NotifyIconRecord {
    bool version5 = false;
    NativeWindow window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    IconHandle icon = 0;
    std::string tip;  // at most 63 or 127 bytes; only meaningful with NIF_TIP
    std::uint32_t state = 0, stateMask = 0;
};

class NotificationArea {
public:
    virtual ~NotificationArea() = default;
    virtual bool NotifyIcon(NotifyIconMessage message, const NotifyIconRecord& record) = 0;
    // The major version of the system's shell32.dll from its version resource; 0 when unknown.
    virtual int ShellMajorVersion() = 0;
    // Record sizes of NOTIFYICONDATAA on this platform: first layout and version 5 layout.
    virtual std::uint32_t RecordSize(bool version5) = 0;

    virtual IconHandle ApplicationIcon() = 0;    // a copy the caller destroys
    virtual IconHandle StockIcon(int id) = 0;     // LoadIcon(nullptr, id): shared, never destroyed
    virtual IconHandle CopyIcon(IconHandle icon) = 0;  // a copy the caller destroys
    virtual void DestroyIcon(IconHandle icon) = 0;
    virtual Point CursorPosition() = 0;
    virtual void SetForegroundWindow(NativeWindow window) = 0;
    // ShowWindow on the application's task bar window (SW_HIDE 0, SW_SHOW 5, SW_RESTORE 9).
    virtual void ShowTaskbarWindow(int command) = 0;
};

}  // namespace snapora
