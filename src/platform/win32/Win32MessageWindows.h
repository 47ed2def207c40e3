#pragma once
// Hidden windows with a handler for their messages.
//
// They are zero-size, never shown WS_POPUP top-level windows (with
// WS_EX_TOOLWINDOW, so they can never gain a task bar button) rather than
// message-only ones: the notification area's callbacks, TaskbarCreated and
// the session end messages reach top-level windows only.

#include "platform/MessageWindows.h"

namespace snapora {

// Create windows on the UI thread and destroy them there; their messages come
// from that thread's message loop. A handler must not destroy its own window.
class Win32MessageWindows final : public MessageWindows {
public:
    std::unique_ptr<HiddenWindow> Create(MessageHandler handler) override;
};

}  // namespace snapora
