// The alternative-shortcut component on real hidden windows and RegisterHotKey.

#include <gtest/gtest.h>

#include <windows.h>

#include "MessagePump.h"
#include "desktop/GlobalHotKey.h"
#include "platform/win32/Win32HotKeys.h"
#include "platform/win32/Win32MessageWindows.h"

namespace snapora {

TEST(Win32GlobalHotKey, RegistersItsCombinationAndRaisesOnHotKey) {
    Win32MessageWindows windows;
    Win32HotKeys hotKeys;
    TGlobalHotKey key(windows, hotKeys);
    int presses = 0;
    key.OnHotKey = [&] { ++presses; };
    key.SetKey(0x6000 | 0x7B);  // Shift+Ctrl+F12: unlikely to be taken
    ASSERT_TRUE(key.Registered());
    HWND window = reinterpret_cast<HWND>(key.WindowHandle());
    // The same combination is refused to anyone else while the component holds it.
    EXPECT_FALSE(RegisterHotKey(nullptr, 77, MOD_SHIFT | MOD_CONTROL, VK_F12));

    PostMessageW(window, WM_HOTKEY, 0, MAKELPARAM(MOD_SHIFT | MOD_CONTROL, VK_F12));
    testing::PumpUntil([&] { return presses == 1; });
    EXPECT_EQ(presses, 1);

    key.SetEnabled(false);
    EXPECT_FALSE(key.Registered());
    EXPECT_TRUE(RegisterHotKey(nullptr, 77, MOD_SHIFT | MOD_CONTROL, VK_F12));  // free again
    UnregisterHotKey(nullptr, 77);
}

}  // namespace snapora
