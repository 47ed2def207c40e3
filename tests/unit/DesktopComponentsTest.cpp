// The alternative-shortcut component and the notification-area icon against
// the fake platform: registrations, records, adds and removes, animation,
// the pop-up sequence.

#include <gtest/gtest.h>

#include "desktop/GlobalHotKey.h"
#include "desktop/TrayNotifyIcon.h"
#include "platform/fake/FakePlatform.h"
#include "ui/Application.h"
#include "ui/Menu.h"
#include "ui/headless/HeadlessBackend.h"

namespace snapora {

class GlobalHotKey : public ::testing::Test {
protected:
    FakePlatform fake;
    TGlobalHotKey key{fake.messageWindows, fake.hotKeys};
    std::vector<FakeHotKeys::Key> Registered() { return fake.hotKeys.registered; }
    FakeHotKeys::Key On(unsigned modifiers, unsigned vk) { return {key.WindowHandle(), 0, modifiers, vk}; }
};

TEST_F(GlobalHotKey, KeyValuesBecomeModifiersAndTheLowByte) {
    struct Case {
        std::uint16_t key;
        unsigned modifiers, vk;
    } cases[] = {{16419, MOD_CONTROL_, 0x23}, {0xA041, MOD_SHIFT_ | MOD_ALT_, 0x41}, {0x1F41, 0, 0x41}, {0, 0, 0}};
    for (const Case& c : cases) {
        key.SetKey(c.key);
        EXPECT_EQ(Registered(), std::vector<FakeHotKeys::Key>{On(c.modifiers, c.vk)}) << c.key;
    }
}

TEST_F(GlobalHotKey, EnablingAndKeyChangesRegisterOnlyWhenNeeded) {
    key.SetEnabled(false);
    key.SetKey(0x4023);  // only stored
    EXPECT_TRUE(Registered().empty());
    key.SetEnabled(true);
    key.SetEnabled(true);  // registers once
    EXPECT_EQ(Registered().size(), 1u);
    size_t unregisters = fake.hotKeys.unregistered.size();
    key.SetKey(0x4023);  // the same value: nothing at all
    EXPECT_EQ(fake.hotKeys.unregistered.size(), unregisters);
    key.SetEnabled(false);
    key.SetEnabled(false);  // nothing registered: nothing to undo
    EXPECT_EQ(fake.hotKeys.unregistered.size(), unregisters + 1);
}

TEST_F(GlobalHotKey, HeldCombinationRegistersNothingAndRetriesOnChange) {
    fake.hotKeys.heldByOthers = {{MOD_CONTROL_, 0x23}};
    key.SetKey(0x4023);
    EXPECT_FALSE(key.Registered());
    key.SetKey(0x4024);
    EXPECT_TRUE(key.Registered());
}

TEST_F(GlobalHotKey, WmHotKeyRaisesTheEvent) {
    int presses = 0;
    key.OnHotKey = [&] { ++presses; };
    fake.messageWindows.Send(key.WindowHandle(), 0x0312, 7, 0);  // any identifier
    fake.messageWindows.Send(key.WindowHandle(), 0x0100, 0, 0);
    EXPECT_EQ(presses, 1);
}

class TrayIcon : public ::testing::Test {
protected:
    TTrayNotifyIcon& Make() {
        icon = std::make_unique<TTrayNotifyIcon>(app, owner, fake.notificationArea, fake.messageWindows,
                                                 fake.hotKeys);
        return *icon;
    }
    void Mouse(unsigned message) {
        fake.messageWindows.Send(icon->WindowHandle(), TTrayNotifyIcon::CallbackMessage, 0, message);
    }
    std::vector<NotifyIconMessage> Messages() {
        std::vector<NotifyIconMessage> m;
        for (auto& c : fake.notificationArea.calls) m.push_back(c.message);
        return m;
    }
    FakePlatform fake;
    HeadlessBackend backend;
    Application app{backend};
    Form& owner = app.CreateForm<Form>("Owner");
    std::unique_ptr<TTrayNotifyIcon> icon;
};

TEST_F(TrayIcon, RecordLayoutFollowsTheShellVersion) {
    std::string hint(100, 'h');
    for (int version : {4, 5}) {
        fake.notificationArea.shellVersion = version;
        auto& t = Make();
        t.SetShowHint(true);
        t.SetHint(hint);
        t.SetActive(true);
        const NotifyIconRecord& r = fake.notificationArea.calls.back().record;
        EXPECT_EQ(r.version5, version >= 5);
        EXPECT_EQ(r.tip, hint.substr(0, version >= 5 ? 100 : 63));
        EXPECT_EQ(r.flags, NIF_MESSAGE_ | NIF_ICON_ | NIF_TIP_);
        EXPECT_EQ(r.callbackMessage, 0x0809u);
        EXPECT_EQ(r.id, 0u);
        EXPECT_EQ(r.window, t.WindowHandle());
    }
    auto& t = Make();  // version 5: 127 characters pass whole, 128 lose the last one
    t.SetShowHint(true);
    t.SetHint(std::string(127, 'a'));
    EXPECT_EQ(t.Record().tip.size(), 127u);
    t.SetHint(std::string(128, 'b'));
    EXPECT_EQ(t.Record().tip, std::string(127, 'b'));
}

TEST_F(TrayIcon, WithoutShowHintNoTipIsWritten) {
    auto& t = Make();
    t.SetHint("Snapora");
    t.SetActive(true);
    EXPECT_EQ(t.Record().flags, NIF_MESSAGE_ | NIF_ICON_);
    EXPECT_EQ(t.Record().tip, "");
}

TEST_F(TrayIcon, AddModifyRemoveCounts) {
    auto& t = Make();
    t.SetActive(true);
    t.SetActive(true);   // one add
    t.SetHint("x");      // modify
    t.SetHint("x");      // same value: nothing
    t.SetShowHint(true);  // modify
    t.SetActive(false);  // remove
    t.SetHint("y");      // modify while not shown: sent, the shell refuses it
    EXPECT_EQ(Messages(), (std::vector<NotifyIconMessage>{NIM_ADD_, NIM_MODIFY_, NIM_MODIFY_, NIM_DELETE_,
                                                          NIM_MODIFY_}));
    t.SetActive(true);
    icon.reset();  // an active icon is removed at destruction
    EXPECT_EQ(Messages().back(), NIM_DELETE_);
}

TEST_F(TrayIcon, LoadingHoldsBackAddsAndModifies) {
    auto& t = Make();
    t.BeginLoading();
    t.SetActive(true);
    t.SetHint("Snapora");
    EXPECT_TRUE(fake.notificationArea.calls.empty());
    t.Loaded();
    EXPECT_EQ(Messages(), std::vector<NotifyIconMessage>{NIM_ADD_});
}

TEST_F(TrayIcon, IconChoice) {
    TImageList images{{0x71, 0x72, 0x73}};
    auto& t = Make();
    t.ImageList = &images;
    for (int index : {3, -1}) {  // outside the list: the stock icon
        t.SetImageIndex(index);
        EXPECT_EQ(t.Record().icon, IconHandle(32517)) << index;
    }
    t.SetImageIndex(1);
    EXPECT_EQ(fake.notificationArea.copiedIcons.back(), 0x72u);
    t.SetWinIcon(TIDI_Icons::idiQUESTION);
    EXPECT_EQ(fake.notificationArea.copiedIcons.back(), 0x72u);  // the image still wins
    t.SetImageIndex(-1);
    EXPECT_EQ(t.Record().icon, IconHandle(32514));
    t.SetUseAppIcon(true);
    EXPECT_NE(t.Record().icon, IconHandle(32514));
}

TEST_F(TrayIcon, AnimationStepsThroughTheImages) {
    TImageList images{{0x71, 0x72, 0x73}};
    auto& t = Make();
    t.ImageList = &images;
    t.SetActive(true);
    t.SetInterval(250);
    fake.notificationArea.copiedIcons.clear();
    t.SetAnimate(true);
    EXPECT_EQ(fake.messageWindows.timers[t.WindowHandle()][TTrayNotifyIcon::AnimationTimer], 250u);
    EXPECT_TRUE(fake.notificationArea.copiedIcons.empty());  // the first tick shows image 0
    auto tick = [&] { fake.messageWindows.Send(t.WindowHandle(), WM_TIMER_, TTrayNotifyIcon::AnimationTimer, 0); };
    for (int i = 0; i < 4; ++i) tick();
    EXPECT_EQ(fake.notificationArea.copiedIcons, (std::vector<IconHandle>{0x71, 0x72, 0x73, 0x71}));
    t.SetAnimate(false);
    EXPECT_EQ(fake.messageWindows.timers[t.WindowHandle()].count(TTrayNotifyIcon::AnimationTimer), 0u);
    t.SetAnimate(true);  // starts again at image 0
    fake.notificationArea.copiedIcons.clear();
    tick();
    EXPECT_EQ(fake.notificationArea.copiedIcons, std::vector<IconHandle>{0x71});
    t.SetUseAppIcon(true);  // the application's icon on every tick instead
    fake.notificationArea.copiedIcons.clear();
    tick();
    EXPECT_TRUE(fake.notificationArea.copiedIcons.empty());
}

TEST_F(TrayIcon, ClicksAndThePopupSequence) {
    auto& t = Make();
    std::vector<std::string> events;
    t.OnClick = [&] { events.push_back("click"); };
    t.OnDblClick = [&] { events.push_back("double"); };
    t.OnRightClick = [&](int x, int y) { events.push_back("right " + std::to_string(x) + "," + std::to_string(y)); };
    for (unsigned m : {0x0200u, 0x0201u, 0x0202u, 0x0203u, 0x0202u, 0x0207u, 0x0206u}) Mouse(m);
    EXPECT_EQ(events, (std::vector<std::string>{"click", "double", "click"}));

    // No menu: no foreground change, the event all the same.
    events.clear();
    Mouse(0x0205);
    EXPECT_TRUE(fake.notificationArea.foregrounds.empty());
    EXPECT_EQ(events, std::vector<std::string>{"right 1200,1000"});

    TPopupMenu menu("menu");
    std::vector<std::string> order;
    backend.OnPopupMenu = [&](TPopupMenu&, Point at) {
        order.push_back("menu at " + std::to_string(at.x));
        EXPECT_FALSE(fake.notificationArea.foregrounds.empty());  // the window came forward first
    };
    t.OnRightClick = [&](int, int) { order.push_back("event"); };
    t.PopupMenu = &menu;
    Mouse(0x0205);
    EXPECT_EQ(order, (std::vector<std::string>{"menu at 1200", "event"}));
    menu.AutoPopup = false;  // no menu shown, but still the foreground and the event
    order.clear();
    Mouse(0x0205);
    EXPECT_EQ(order, std::vector<std::string>{"event"});
    EXPECT_EQ(fake.notificationArea.foregrounds.size(), 2u);
}

TEST_F(TrayIcon, ShowOnClickRestoresTheApplicationFirst) {
    auto& t = Make();
    t.ShowOnClick = true;
    bool restoredBefore = false;
    t.OnClick = [&] { restoredBefore = fake.notificationArea.taskbarCommands == std::vector<int>{5, 9}; };
    Mouse(0x0202);
    EXPECT_TRUE(restoredBefore);
}

TEST_F(TrayIcon, OwnShortcutAndHideOnMinimize) {
    auto& t = Make();
    int shortcuts = 0;
    t.OnShortCut = [&] { ++shortcuts; };
    t.SetShortCut(0x6041);  // Shift+Ctrl+A
    EXPECT_TRUE(t.ShortCutRegistered());
    EXPECT_EQ(fake.hotKeys.registered.back(), (FakeHotKeys::Key{t.WindowHandle(), 0, MOD_SHIFT_ | MOD_CONTROL_, 0x41}));
    fake.messageWindows.Send(t.WindowHandle(), 0x0312, 0, 0);
    EXPECT_EQ(shortcuts, 1);
    t.SetShortCut(0);
    EXPECT_FALSE(t.ShortCutRegistered());
    EXPECT_TRUE(fake.hotKeys.registered.empty());

    int ownMinimizes = 0;
    app.OnMinimize = [&] { ++ownMinimizes; };
    t.SetHideAppOnMinimize(true);
    app.OnMinimize();
    EXPECT_EQ(ownMinimizes, 1);
    EXPECT_EQ(fake.notificationArea.taskbarCommands, std::vector<int>{0});
    t.SetHideAppOnMinimize(false);
    app.OnMinimize();
    EXPECT_EQ(ownMinimizes, 2);
    EXPECT_EQ(fake.notificationArea.taskbarCommands.size(), 1u);
}

}  // namespace snapora
