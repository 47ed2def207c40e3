#include "platform/win32/Win32HotKeys.h"

#include "platform/win32/Text.h"

#include <windows.h>

namespace snapora {

bool Win32HotKeys::Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) {
    return RegisterHotKey(reinterpret_cast<HWND>(window), id, modifiers, virtualKey) != 0;
}

void Win32HotKeys::Unregister(NativeWindow window, int id) { UnregisterHotKey(reinterpret_cast<HWND>(window), id); }

}  // namespace snapora

namespace snapora {

std::string Win32HotKeys::KeyNameText(unsigned virtualKey) {
    UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    if (scanCode == 0) return {};
    wchar_t name[256] = {};
    int length = GetKeyNameTextW(LONG(scanCode << 16), name, 256);
    return Narrow(std::wstring_view(name, size_t(length > 0 ? length : 0)));
}

}  // namespace snapora
