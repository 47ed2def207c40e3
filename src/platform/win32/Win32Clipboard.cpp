#include "platform/win32/Win32Clipboard.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/Text.h"

namespace snapora {

namespace {

// The clipboard wants an owner window; a message-only one is enough and,
// having no screen presence, costs nothing to create.
class ClipboardOwner {
public:
    ClipboardOwner()
        : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr)) {}
    ~ClipboardOwner() {
        if (window_) DestroyWindow(window_);
    }
    ClipboardOwner(const ClipboardOwner&) = delete;
    ClipboardOwner& operator=(const ClipboardOwner&) = delete;
    HWND Get() const { return window_; }

private:
    HWND window_;
};

// Another program may hold the clipboard for a moment; try a few times.
bool OpenClipboardPatiently(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner)) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

void Win32Clipboard::SetText(const std::string& text) {
    std::wstring wide = Widen(text);
    ClipboardOwner owner;
    if (!OpenClipboardPatiently(owner.Get())) return;
    EmptyClipboard();
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, wide.c_str(), bytes);
            GlobalUnlock(memory);
            // On success the clipboard owns the memory.
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

}  // namespace snapora
