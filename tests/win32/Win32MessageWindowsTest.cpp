// Hidden windows against a real (Wine) window system.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "MessagePump.h"
#include "platform/win32/Win32HotKeys.h"
#include "platform/win32/Win32MessageWindows.h"

namespace snapora {
namespace {

using snapora::testing::PumpFor;
using snapora::testing::PumpUntil;

struct Seen {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// Records the messages of one kind and handles them.
MessageHandler Recording(unsigned kind, std::vector<Seen>& seen, std::intptr_t answer = 0) {
    return [kind, &seen, answer](unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                                 std::intptr_t& result) {
        if (message != kind) return false;
        seen.push_back({message, wParam, lParam});
        result = answer;
        return true;
    };
}

HWND HandleOf(const HiddenWindow& window) { return reinterpret_cast<HWND>(window.Handle()); }

TEST(Win32MessageWindows, WindowIsAHiddenZeroSizeTopLevelWindow) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_USER, seen));
    HWND handle = HandleOf(*window);
    ASSERT_TRUE(IsWindow(handle));
    EXPECT_FALSE(IsWindowVisible(handle));
    EXPECT_EQ(GetAncestor(handle, GA_PARENT), GetDesktopWindow());  // not message-only
    EXPECT_EQ(GetWindow(handle, GW_OWNER), nullptr);
    RECT area{};
    GetWindowRect(handle, &area);
    EXPECT_EQ(area.right - area.left, 0);
    EXPECT_EQ(area.bottom - area.top, 0);
    EXPECT_TRUE(GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindowThreadProcessId(handle, nullptr), GetCurrentThreadId());
}

TEST(Win32MessageWindows, PostedHotKeyReachesTheHandler) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_HOTKEY, seen));
    ASSERT_TRUE(PostMessageW(HandleOf(*window), WM_HOTKEY, 3, MAKELPARAM(MOD_SHIFT, VK_SNAPSHOT)));
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0].wParam, 3u);
    EXPECT_EQ(seen[0].lParam, MAKELPARAM(MOD_SHIFT, VK_SNAPSHOT));
}

TEST(Win32MessageWindows, HandledMessagesAnswerWithTheHandlersResult) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_USER + 7, seen, 1234));
    EXPECT_EQ(SendMessageW(HandleOf(*window), WM_USER + 7, 1, 2), 1234);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, 1u);
    EXPECT_EQ(seen[0].lParam, 2);
}

TEST(Win32MessageWindows, UnhandledMessagesGoToTheDefaultProcedure) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_USER, seen));
    ASSERT_TRUE(SetWindowTextW(HandleOf(*window), L"Titel"));
    EXPECT_EQ(SendMessageW(HandleOf(*window), WM_GETTEXTLENGTH, 0, 0), 5);
}

TEST(Win32MessageWindows, ExceptionsStayInsideTheWindowProcedure) {
    Win32MessageWindows windows;
    int calls = 0;
    auto window = windows.Create([&](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t& result) {
        if (message != WM_USER + 1) return false;
        ++calls;
        result = 99;
        throw std::runtime_error("Fehler im Handler");
    });
    EXPECT_EQ(SendMessageW(HandleOf(*window), WM_USER + 1, 0, 0), 0);  // the default procedure's answer
    EXPECT_EQ(calls, 1);
    window = windows.Create([](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) -> bool {
        if (message == WM_USER + 2) throw 17;
        return false;
    });
    EXPECT_EQ(SendMessageW(HandleOf(*window), WM_USER + 2, 0, 0), 0);
}

TEST(Win32MessageWindows, TimerTicksUntilStopped) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_TIMER_, seen));
    window->StartTimer(5, 20);
    ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen[0].message, unsigned(WM_TIMER));
    EXPECT_EQ(seen[0].wParam, 5u);
    window->StopTimer(5);
    PumpFor(30);  // a tick queued before stopping may still arrive
    seen.clear();
    PumpFor(150);
    EXPECT_TRUE(seen.empty());
}

TEST(Win32MessageWindows, DestroyingTheObjectDestroysTheWindowWithoutCallingTheHandler) {
    Win32MessageWindows windows;
    std::vector<unsigned> messages;
    auto window = windows.Create([&](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) {
        messages.push_back(message);
        return false;
    });
    HWND handle = HandleOf(*window);
    messages.clear();
    window.reset();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_TRUE(messages.empty());
}

TEST(Win32MessageWindows, EachWindowHasItsOwnHandler) {
    Win32MessageWindows windows;
    std::vector<Seen> first, second;
    auto one = windows.Create(Recording(WM_USER, first));
    auto two = windows.Create(Recording(WM_USER, second));
    SendMessageW(HandleOf(*two), WM_USER, 2, 0);
    EXPECT_TRUE(first.empty());
    ASSERT_EQ(second.size(), 1u);
}

TEST(Win32MessageWindows, HotKeysRegisterOnAHiddenWindow) {
    Win32MessageWindows windows;
    std::vector<Seen> seen;
    auto window = windows.Create(Recording(WM_HOTKEY, seen));
    Win32HotKeys hotKeys;
    // A combination nobody else uses.
    const unsigned modifiers = MOD_CONTROL_ | MOD_ALT_ | MOD_SHIFT_;
    ASSERT_TRUE(hotKeys.Register(window->Handle(), 41, modifiers, VK_F9));
    hotKeys.Unregister(window->Handle(), 41);
    // Free again once unregistered.
    ASSERT_TRUE(hotKeys.Register(window->Handle(), 41, modifiers, VK_F9));
    hotKeys.Unregister(window->Handle(), 41);
}

}  // namespace
}  // namespace snapora
