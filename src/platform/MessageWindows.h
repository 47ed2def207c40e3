#pragma once
// Hidden windows that components own to receive messages: hot keys, the
// notification area's mouse reports, timers.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <functional>
#include <memory>

#include "base/Geometry.h"

namespace snapora {

// Sees every message of its window (and may destroy the window meanwhile); returns true when it handled one and set
// `result`, false to pass it on to the default window procedure.
using MessageHandler = std::function<bool(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                                          std::intptr_t& result)>;

enum : unsigned { WM_TIMER_ = 0x0113, WM_HOTKEY_ = 0x0312 };

class HiddenWindow {
public:
    virtual ~HiddenWindow() = default;  // destroys the window
    virtual NativeWindow Handle() const = 0;
    // WM_TIMER with this id every `milliseconds`, from the message loop; false
    // when the system has no timer left. Starting a running timer restarts its period.
    virtual bool StartTimer(unsigned id, unsigned milliseconds) = 0;
    virtual void StopTimer(unsigned id) = 0;
};

class MessageWindows {
public:
    virtual ~MessageWindows() = default;

    // The program's general error handler: what a hidden window's handler
    // throws (a capture from the tray, say) is shown there and the program goes on.
    std::function<void(const std::exception&)> OnException;
    // Runs a handler for one message; an exception ends up in OnException,
    // never in the system that delivered the message.
    bool Deliver(const MessageHandler& handler, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                 std::intptr_t& result);

    // A hidden top-level window of the UI thread (a zero-size child of the
    // desktop, or a tool window), alive as long as the returned object.
    virtual std::unique_ptr<HiddenWindow> Create(MessageHandler handler) = 0;
};

inline bool MessageWindows::Deliver(const MessageHandler& handler, unsigned message, std::uintptr_t wParam,
                                    std::intptr_t lParam, std::intptr_t& result) {
    auto report = [this](const std::exception& error) {
        try {
            if (OnException) OnException(error);
        } catch (...) {
            // Showing the error failed too; nothing sensible is left to do.
        }
    };
    try {
        return handler(message, wParam, lParam, result);
    } catch (const std::exception& error) {
        report(error);
    } catch (...) {
        report(std::runtime_error("Unbekannter Fehler."));
    }
    return false;
}

}  // namespace snapora
