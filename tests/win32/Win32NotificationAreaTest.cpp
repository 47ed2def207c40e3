// The notification area and the window services around the tray icon.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "MessagePump.h"
#include "platform/win32/NotifyIconData.h"
#include "platform/win32/Win32MessageWindows.h"
#include "platform/win32/Win32NotificationArea.h"

namespace snapora {
namespace {

using snapora::testing::PumpFor;

// ---- The record Shell_NotifyIconA receives ---------------------------------

TEST(Win32NotifyIconData, RecordSizesAreTheSdksFirstAndVersion5Sizes) {
    Win32NotificationArea area;
    EXPECT_EQ(area.RecordSize(false), NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(area.RecordSize(true), NOTIFYICONDATAA_V2_SIZE);
    // The 32-bit sizes are 88 and 488; pointers of 8 bytes move the fields.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(area.RecordSize(false), 104u);
        EXPECT_EQ(area.RecordSize(true), 504u);
    }
}

NotifyIconRecord FullRecord(bool version5) {
    NotifyIconRecord record;
    record.version5 = version5;
    record.window = 0x1234;
    record.id = 7;
    record.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.callbackMessage = WM_USER + 3;
    record.icon = 0x5678;
    record.tip = "Snapora – Größe";
    record.state = 1;
    record.stateMask = 3;
    return record;
}

bool ZeroFrom(const NOTIFYICONDATAA& data, size_t offset) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&data);
    for (size_t i = offset; i < sizeof data; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

TEST(Win32NotifyIconData, FirstLayoutCarriesTheFieldsAndNothingAfterTheTip) {
    NOTIFYICONDATAA data = NotifyIconData(FullRecord(false));
    EXPECT_EQ(data.cbSize, NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(data.hWnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(data.uID, 7u);
    EXPECT_EQ(data.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(data.uCallbackMessage, UINT(WM_USER + 3));
    EXPECT_EQ(data.hIcon, reinterpret_cast<HICON>(0x5678));
    EXPECT_STREQ(data.szTip, "Snapora – Größe");
    EXPECT_EQ(data.dwState, 0u);
    EXPECT_EQ(data.dwStateMask, 0u);
    EXPECT_TRUE(ZeroFrom(data, NOTIFYICONDATAA_V1_SIZE));
}

TEST(Win32NotifyIconData, Version5LayoutCarriesTheState) {
    NOTIFYICONDATAA data = NotifyIconData(FullRecord(true));
    EXPECT_EQ(data.cbSize, NOTIFYICONDATAA_V2_SIZE);
    EXPECT_EQ(data.dwState, 1u);
    EXPECT_EQ(data.dwStateMask, 3u);
    EXPECT_STREQ(data.szTip, "Snapora – Größe");
    EXPECT_TRUE(ZeroFrom(data, offsetof(NOTIFYICONDATAA, szInfo)));
}

TEST(Win32NotifyIconData, TipIsCutToTheLayoutsRoom) {
    NotifyIconRecord record = FullRecord(false);
    record.tip = std::string(200, 'x');
    NOTIFYICONDATAA first = NotifyIconData(record);
    EXPECT_EQ(std::strlen(first.szTip), 63u);
    EXPECT_TRUE(ZeroFrom(first, offsetof(NOTIFYICONDATAA, szTip) + 63));
    record.version5 = true;
    NOTIFYICONDATAA version5 = NotifyIconData(record);
    EXPECT_EQ(std::strlen(version5.szTip), 127u);
    EXPECT_EQ(version5.szTip[127], '\0');
}

TEST(Win32NotifyIconData, TipIsLeftOutWithoutTheTipFlag) {
    NotifyIconRecord record = FullRecord(true);
    record.flags = NIF_ICON;
    NOTIFYICONDATAA data = NotifyIconData(record);
    EXPECT_EQ(data.szTip[0], '\0');
}

// ---- The shell -------------------------------------------------------------

// The notification area under Wine. Without a tray of the X desktop Wine
// shows its icons in a small window of its own, "Wine System Tray".
class NotifyIconTest : public ::testing::Test {
protected:
    NotifyIconTest()
        : window(windows.Create([this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                                       std::intptr_t&) {
              if (message != kCallback) return false;
              callbacks.push_back({wParam, lParam});
              return true;
          })),
          icon(area.ApplicationIcon()) {}
    ~NotifyIconTest() override { area.DestroyIcon(icon); }

    static constexpr unsigned kCallback = WM_USER + 1;

    NotifyIconRecord Record(bool version5, std::uint32_t id) {
        NotifyIconRecord record;
        record.version5 = version5;
        record.window = window->Handle();
        record.id = id;
        record.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        record.callbackMessage = kCallback;
        record.icon = icon;
        record.tip = "Snapora";
        return record;
    }

    struct Callback {
        std::uintptr_t id;
        std::intptr_t mouseMessage;
    };

    Win32MessageWindows windows;
    std::vector<Callback> callbacks;
    std::unique_ptr<HiddenWindow> window;
    Win32NotificationArea area;
    IconHandle icon;
};

TEST_F(NotifyIconTest, AddModifyAndDeleteSucceedInBothLayouts) {
    NotifyIconRecord first = Record(false, 1);
    NotifyIconRecord version5 = Record(true, 2);
    ASSERT_TRUE(area.NotifyIcon(NIM_ADD_, first));
    ASSERT_TRUE(area.NotifyIcon(NIM_ADD_, version5));
    PumpFor(50);
    for (NotifyIconRecord* record : {&first, &version5}) {
        record->tip = "Snapora – Upload läuft";
        EXPECT_TRUE(area.NotifyIcon(NIM_MODIFY_, *record));
        record->flags = NIF_ICON;
        record->icon = area.StockIcon(32516);  // IDI_INFORMATION
        EXPECT_TRUE(area.NotifyIcon(NIM_MODIFY_, *record));
    }
    PumpFor(50);
    EXPECT_TRUE(area.NotifyIcon(NIM_DELETE_, first));
    EXPECT_TRUE(area.NotifyIcon(NIM_DELETE_, version5));
    // Gone: a second delete has nothing to delete.
    EXPECT_FALSE(area.NotifyIcon(NIM_DELETE_, first));
}

TEST_F(NotifyIconTest, ModifyingAnIconThatWasNeverAddedFailsAsADirectCallDoes) {
    NotifyIconRecord record = Record(false, 9);
    NOTIFYICONDATAA direct = NotifyIconData(record);
    const bool expected = Shell_NotifyIconA(NIM_MODIFY, &direct) != FALSE;
    EXPECT_FALSE(expected);
    EXPECT_EQ(area.NotifyIcon(NIM_MODIFY_, record), expected);
}

TEST_F(NotifyIconTest, ClickOnTheIconReachesTheHiddenWindowAsItsCallbackMessage) {
    NotifyIconRecord record = Record(true, 4);
    ASSERT_TRUE(area.NotifyIcon(NIM_ADD_, record));
    PumpFor(100);
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (!tray || !IsWindowVisible(tray)) {
        area.NotifyIcon(NIM_DELETE_, record);
        GTEST_SKIP() << "no Wine System Tray window to click in";
    }
    // The only icon sits at the left of the tray window's client area.
    POINT origin{0, 0};
    ClientToScreen(tray, &origin);
    RECT client{};
    GetClientRect(tray, &client);
    const POINT onIcon{origin.x + GetSystemMetrics(SM_CXSMICON) / 2 + 2, origin.y + client.bottom / 2};
    // Each icon is a child window of the tray window.
    if (GetAncestor(WindowFromPoint(onIcon), GA_ROOT) != tray) {
        area.NotifyIcon(NIM_DELETE_, record);
        FAIL() << "another window covers Wine's tray window";
    }
    SetCursorPos(onIcon.x, onIcon.y);
    PumpFor(20);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
    const bool released = snapora::testing::PumpUntil([&] {
        for (const Callback& callback : callbacks)
            if (callback.mouseMessage == WM_LBUTTONUP) return true;
        return false;
    });
    EXPECT_TRUE(area.NotifyIcon(NIM_DELETE_, record));
    ASSERT_TRUE(released);
    for (const Callback& callback : callbacks) EXPECT_EQ(callback.id, 4u);
}

// ---- Icons, cursor, windows --------------------------------------------------

TEST(Win32NotificationArea, ShellMajorVersionComesFromShell32sVersionResource) {
    Win32NotificationArea area;
    const int version = area.ShellMajorVersion();
    std::printf("[ info     ] shell32.dll major version: %d\n", version);
    EXPECT_GE(version, 5);
}

TEST(Win32NotificationArea, ApplicationIconIsACopyOfItsOwn) {
    Win32NotificationArea area;
    IconHandle first = area.ApplicationIcon();
    IconHandle second = area.ApplicationIcon();
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(first), &info));
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    area.DestroyIcon(first);
    area.DestroyIcon(second);
    area.DestroyIcon(0);
}

TEST(Win32NotificationArea, CopyIconGivesAnIconOfItsOwn) {
    Win32NotificationArea area;
    const IconHandle stock = area.StockIcon(32512);
    const IconHandle copy = area.CopyIcon(stock);
    ASSERT_NE(copy, 0u);
    EXPECT_NE(copy, stock);
    area.DestroyIcon(copy);
    EXPECT_EQ(area.StockIcon(32512), stock);  // the shared one lives on
    EXPECT_EQ(area.CopyIcon(0), 0u);
}

TEST(Win32NotificationArea, StockIconsAreTheSystemsSharedOnes) {
    Win32NotificationArea area;
    EXPECT_EQ(area.StockIcon(32512), reinterpret_cast<IconHandle>(LoadIconW(nullptr, IDI_APPLICATION)));
    EXPECT_NE(area.StockIcon(32515), 0u);  // IDI_WARNING
}

TEST(Win32NotificationArea, CursorPositionIsTheScreenPosition) {
    Win32NotificationArea area;
    ASSERT_TRUE(SetCursorPos(123, 87));
    PumpFor(20);
    EXPECT_EQ(area.CursorPosition(), (Point{123, 87}));
}

const wchar_t* FormClass() {
    static const wchar_t* name = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"SnaporaTaskbarTestForm";
        RegisterClassW(&windowClass);
        return windowClass.lpszClassName;
    }();
    return name;
}

// Away from the top left corner, where Wine's tray window sits.
HWND CreateForm(const wchar_t* windowClass, DWORD style, DWORD exStyle, HWND owner = nullptr,
                const wchar_t* title = L"Snapora", POINT at = {600, 600}) {
    return CreateWindowExW(exStyle, windowClass, title, style, at.x, at.y, 200, 100, owner, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class Window {
public:
    Window(const wchar_t* windowClass, DWORD style, DWORD exStyle, HWND owner = nullptr)
        : handle_(CreateForm(windowClass, style, exStyle, owner)) {}
    ~Window() {
        if (handle_) DestroyWindow(handle_);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    HWND Get() const { return handle_; }

private:
    HWND handle_;
};

// The task bar window is the calling thread's: a thread of its own keeps
// the windows other tests leave on the main thread out of the way.
template <typename Test>
void OnOwnThread(Test test) {
    std::thread(test).join();
}

TEST(Win32NotificationArea, TaskbarWindowIsTheThreadsUnownedFormAmongOthers) {
    OnOwnThread([] {
        Win32MessageWindows windows;
        auto hidden = windows.Create([](unsigned, std::uintptr_t, std::intptr_t, std::intptr_t&) { return false; });
        EXPECT_EQ(TaskbarWindow(), 0u);  // hidden windows are tool windows

        Window main(FormClass(), WS_OVERLAPPEDWINDOW, 0);
        Window owned(FormClass(), WS_OVERLAPPEDWINDOW, 0, main.Get());
        Window tool(FormClass(), WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW);
        Window system(L"STATIC", WS_POPUP | WS_CAPTION, 0);  // a class of user32's, like a message box's
        ASSERT_TRUE(main.Get() && owned.Get() && tool.Get() && system.Get());
        EXPECT_EQ(TaskbarWindow(), reinterpret_cast<NativeWindow>(main.Get()));
    });
}

TEST(Win32NotificationArea, AnOwnedAppWindowCountsAsTaskbarWindow) {
    OnOwnThread([] {
        Window owner(FormClass(), WS_POPUP, WS_EX_TOOLWINDOW);
        Window app(FormClass(), WS_POPUP, WS_EX_APPWINDOW, owner.Get());
        EXPECT_EQ(TaskbarWindow(), reinterpret_cast<NativeWindow>(app.Get()));
    });
}

TEST(Win32NotificationArea, OtherThreadsWindowsAreNotTheTaskbarWindow) {
    Window main(FormClass(), WS_POPUP, 0);
    OnOwnThread([] { EXPECT_EQ(TaskbarWindow(), 0u); });
}

// Wine without a window manager waits two seconds when a window that was
// once active leaves the screen; these windows are never activated.
TEST(Win32NotificationArea, ShowTaskbarWindowShowsAndHidesTheMainWindow) {
    OnOwnThread([] {
        Win32NotificationArea area;
        area.ShowTaskbarWindow(SW_SHOWNOACTIVATE);  // no window: nothing happens
        Window main(FormClass(), WS_POPUP, 0);
        Window owned(FormClass(), WS_POPUP, 0, main.Get());
        area.ShowTaskbarWindow(SW_SHOWNOACTIVATE);
        PumpFor(20);
        EXPECT_TRUE(IsWindowVisible(main.Get()));
        EXPECT_FALSE(IsWindowVisible(owned.Get()));
        area.ShowTaskbarWindow(SW_HIDE);
        EXPECT_FALSE(IsWindowVisible(main.Get()));
    });
}

TEST(Win32NotificationArea, AMinimizedAndHiddenMainWindowComesBackRestored) {
    OnOwnThread([] {
        Win32NotificationArea area;
        Window main(FormClass(), WS_POPUP, 0);
        ShowWindow(main.Get(), SW_SHOWMINNOACTIVE);
        PumpFor(20);
        ASSERT_TRUE(IsIconic(main.Get()));
        area.ShowTaskbarWindow(SW_HIDE);  // as the tray icon does when the program is minimized
        EXPECT_FALSE(IsWindowVisible(main.Get()));
        area.ShowTaskbarWindow(SW_SHOWNOACTIVATE);  // restores, as SW_SHOW and SW_RESTORE do on a click
        PumpFor(20);
        EXPECT_TRUE(IsWindowVisible(main.Get()));
        EXPECT_FALSE(IsIconic(main.Get()));
        area.ShowTaskbarWindow(SW_HIDE);
    });
}

TEST(Win32NotificationArea, SetForegroundWindowFrontsTheWindow) {
    // Windows that were active stay for the process's lifetime: taking them
    // off the screen would wait for a window manager.
    static const HWND first = CreateForm(FormClass(), WS_POPUP | WS_VISIBLE, 0, nullptr, L"Vordergrund 1");
    static const HWND second = CreateForm(FormClass(), WS_POPUP | WS_VISIBLE, 0, nullptr, L"Vordergrund 2");
    Win32NotificationArea area;
    PumpFor(50);
    area.SetForegroundWindow(reinterpret_cast<NativeWindow>(first));
    PumpFor(50);
    EXPECT_EQ(GetForegroundWindow(), first);
    area.SetForegroundWindow(reinterpret_cast<NativeWindow>(second));
    PumpFor(50);
    EXPECT_EQ(GetForegroundWindow(), second);
}

}  // namespace
}  // namespace snapora
