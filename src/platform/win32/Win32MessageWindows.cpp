#include "platform/win32/Win32MessageWindows.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

namespace snapora {

namespace {

constexpr wchar_t kHiddenWindowClass[] = L"SnaporaHiddenWindow";

class Win32HiddenWindow final : public HiddenWindow {
public:
    Win32HiddenWindow(MessageWindows& owner, MessageHandler handler);
    ~Win32HiddenWindow() override;
    Win32HiddenWindow(const Win32HiddenWindow&) = delete;
    Win32HiddenWindow& operator=(const Win32HiddenWindow&) = delete;

    NativeWindow Handle() const override { return reinterpret_cast<NativeWindow>(window_); }
    bool StartTimer(unsigned id, unsigned milliseconds) override {
        return SetTimer(window_, id, milliseconds, nullptr) != 0;
    }
    void StopTimer(unsigned id) override { KillTimer(window_, id); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    MessageWindows& owner_;
    // Shared with a message being handled, so the handler may destroy its window.
    std::shared_ptr<MessageHandler> handler_;
    HWND window_ = nullptr;
};

void RegisterHiddenWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHiddenWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Fensterklasse konnte nicht registriert werden.");
}

Win32HiddenWindow::Win32HiddenWindow(MessageWindows& owner, MessageHandler handler)
    : owner_(owner), handler_(std::make_shared<MessageHandler>(std::move(handler))) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterHiddenWindowClass(instance, Procedure);
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kHiddenWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, this);
    if (!window_) throw std::runtime_error("Nachrichtenfenster konnte nicht erzeugt werden.");
}

Win32HiddenWindow::~Win32HiddenWindow() {
    // The handler's owner is being torn down: the messages of the window's
    // destruction go to the default procedure only.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

bool Win32HiddenWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    std::shared_ptr<MessageHandler> handler = handler_;  // alive even if the handler destroys the window
    if (!*handler) return false;
    std::intptr_t handled = 0;
    if (!owner_.Deliver(*handler, message, wParam, lParam, handled)) return false;
    result = LRESULT(handled);
    return true;
}

LRESULT CALLBACK Win32HiddenWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32HiddenWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->Dispatch(message, wParam, lParam, result)) return result;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<HiddenWindow> Win32MessageWindows::Create(MessageHandler handler) {
    return std::make_unique<Win32HiddenWindow>(*this, std::move(handler));
}

}  // namespace snapora
