#include "platform/win32/Win32HotKeys.h"

#include <windows.h>

namespace snapora {

bool Win32HotKeys::Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) {
    return RegisterHotKey(reinterpret_cast<HWND>(window), id, modifiers, virtualKey) != 0;
}

void Win32HotKeys::Unregister(NativeWindow window, int id) { UnregisterHotKey(reinterpret_cast<HWND>(window), id); }

}  // namespace snapora
