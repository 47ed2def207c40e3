// The capture road against the fake desktop: triggers, the gate, the grab
// over every monitor layout and the active-window cut.

#include "ProgramFixture.h"

namespace snapora {

class CaptureFlow : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Main().Show();
    }
    // A key press, and the worker it starts runs to its end.
    void PressPrint() {
        Dispatch(101);
        Main().WaitForWorker();
    }
    void PressShiftPrint() {
        Dispatch(102);
        Main().WaitForWorker();
    }
    void Dispatch(int id) {
        std::intptr_t result = -1;
        ASSERT_TRUE(Main().Dispatch(WM_HOTKEY_, std::uintptr_t(id), 0, result));
    }
    // Whether the picture holds exactly the screen area `screen`.
    ::testing::AssertionResult HoldsScreenArea(const Rect& screen) {
        const Bitmap& b = State().ScreenshotBitmap;
        if (b.Width() != screen.Width() || b.Height() != screen.Height())
            return ::testing::AssertionFailure() << "size " << b.Width() << "x" << b.Height();
        for (Point p : {Point{0, 0}, Point{b.Width() - 1, 0}, Point{0, b.Height() - 1},
                        Point{b.Width() - 1, b.Height() - 1}, Point{b.Width() / 2, b.Height() / 2}})
            if (b.Pixel(p.x, p.y) != FakeDesktop::ScreenColour(screen.left + p.x, screen.top + p.y))
                return ::testing::AssertionFailure() << "pixel " << p.x << "," << p.y;
        return ::testing::AssertionSuccess();
    }
};

TEST_F(CaptureFlow, PrintCutsTheForegroundWindow) {
    fake.desktop.foregroundRect = {100, 50, 500, 350};
    PressPrint();
    EXPECT_TRUE(HoldsScreenArea({100, 50, 500, 350}));
    EXPECT_EQ(http.SentRequests().size(), 1u);
    EXPECT_EQ(fake.desktop.grabs, (std::vector<Rect>{{0, 0, 1280, 1024}}));
}

TEST_F(CaptureFlow, PrintWithoutActiveWindowOptionKeepsTheWholeScreen) {
    Main().ActiveWindowCheckBox.Click();
    EXPECT_FALSE(State().ActiveWindowOnly);
    PressPrint();
    EXPECT_TRUE(HoldsScreenArea({0, 0, 1280, 1024}));
}

TEST_F(CaptureFlow, ShiftPrintForcesTheWindowCutOnlyForItsCapture) {
    Main().ActiveWindowCheckBox.SetChecked(false);
    PressShiftPrint();
    EXPECT_TRUE(HoldsScreenArea({100, 50, 500, 350}));
    EXPECT_FALSE(State().ActiveWindowOnly);
}

TEST_F(CaptureFlow, TrayMenuItemKeepsTheWholeGrab) {
    ASSERT_TRUE(Main().ActiveWindowCheckBox.Checked());
    Main().Screenshotauslsen1.Click();
    Main().WaitForWorker();
    EXPECT_FALSE(State().TriggeredFromMenu);
    EXPECT_TRUE(HoldsScreenArea({0, 0, 1280, 1024}));
}

TEST_F(CaptureFlow, MaximizedWindowLosesItsFrame) {
    fake.desktop.monitors = {{0, 0, 1920, 1080}};
    fake.desktop.foregroundRect = {-8, -8, 1928, 1048};
    PressPrint();
    EXPECT_TRUE(HoldsScreenArea({0, 0, 1920, 1040}));
}

TEST_F(CaptureFlow, GrabSpansEveryMonitorLayout) {
    Main().ActiveWindowCheckBox.SetChecked(false);
    struct Layout {
        std::vector<Rect> monitors;
        Rect grab;
    } layouts[] = {
        {{{0, 0, 1280, 1024}}, {0, 0, 1280, 1024}},
        {{{0, 0, 1280, 1024}, {1280, 0, 3200, 1080}}, {0, 0, 3200, 1024}},
        {{{0, 0, 1280, 1024}, {-1920, 0, 0, 1080}}, {-1920, 0, 1280, 1024}},
    };
    for (const Layout& l : layouts) {
        fake.desktop.monitors = l.monitors;
        fake.desktop.grabs.clear();
        PressPrint();
        EXPECT_EQ(fake.desktop.grabs, std::vector<Rect>{l.grab});
        EXPECT_TRUE(HoldsScreenArea(l.grab));
    }
}

TEST_F(CaptureFlow, WindowCutFollowsTheGrabWhenAMonitorLiesLeft) {
    // Screen x = -1920 is the grab's column 0: the window's own pixels must arrive.
    fake.desktop.monitors = {{0, 0, 1280, 1024}, {-1920, 0, 0, 1024}};
    struct Case {
        Rect window, expected;
    } cases[] = {
        {{100, 50, 500, 350}, {100, 50, 500, 350}},           // on the primary monitor
        {{-1500, 100, -1000, 400}, {-1500, 100, -1000, 400}},  // on the left monitor
        {{-1928, -8, 8, 1032}, {-1920, 0, 0, 1024}},           // maximized on the left monitor
        {{-8, -8, 1288, 1032}, {0, 0, 1280, 1024}},            // maximized on the primary monitor
    };
    for (const Case& c : cases) {
        fake.desktop.foregroundRect = c.window;
        PressPrint();
        EXPECT_TRUE(HoldsScreenArea(c.expected)) << c.window.left << "," << c.window.top;
    }
}

TEST_F(CaptureFlow, CaptureFillsTheStateAndTheResultPage) {
    fake.desktop.foregroundTitle = "Rechnung (Kopie) [2].pdf - Reader";
    http.HoldNext();  // look at the window while the upload runs
    Dispatch(101);
    WaitUntilHeld();
    EXPECT_EQ(Main().RenameEdit.Text(), "reader");
    EXPECT_EQ(State().OutputMode, omUpload);
    EXPECT_EQ(State().TempFileName, fake.files.tempDirectory + "screen.jpg");
    EXPECT_EQ(State().Description, "");
    EXPECT_FALSE(State().UploadDone);
    EXPECT_EQ(Main().Label1.Caption(), "Warte auf Antwort vom Server...");  // the body went out
    EXPECT_EQ(Main().Notebook1.PageIndex(), 1);
    EXPECT_TRUE(Main().ProgressBar1.Visible());
    EXPECT_TRUE(Main().RenameEdit.Focused());
    EXPECT_TRUE(Main().RenameButton.Default());
    EXPECT_EQ(fake.desktop.forcedWindows.back(), backend.LastActivePopup());
    http.Release();
    Main().WaitForWorker();
}

TEST_F(CaptureFlow, LocalSaveStaysOnTheInstructionsPage) {
    Main().SaveLocalCheckBox.SetChecked(true);
    PressPrint();
    EXPECT_EQ(State().OutputMode, omSaveLocally);
    EXPECT_EQ(Main().Notebook1.PageIndex(), 0);
}

TEST_F(CaptureFlow, MinimizedMainWindowComesBackForTheResult) {
    Main().SetWindowState(WindowState::Minimized);
    Main().Hide();
    PressPrint();
    EXPECT_TRUE(Main().Visible());
    EXPECT_EQ(Main().GetWindowState(), WindowState::Normal);
}

TEST_F(CaptureFlow, TriggerWhileNotReadyIsDroppedWithoutReset) {
    http.HoldNext();  // the upload is still running
    Dispatch(101);
    WaitUntilHeld();
    ASSERT_FALSE(State().ReadyForCapture);
    Main().Label1.SetCaption("Screenshot wird zum Server übertragen...");
    size_t grabs = fake.desktop.grabs.size();

    Dispatch(101);
    Dispatch(102);
    Main().Screenshotauslsen1.Click();
    EXPECT_EQ(fake.desktop.grabs.size(), grabs);
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wird zum Server übertragen...");
    EXPECT_EQ(Main().Notebook1.PageIndex(), 1);
    EXPECT_FALSE(Main().EditCheckBox.Enabled());
    http.Release();
    Main().WaitForWorker();
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(CaptureFlow, FailedGrabReopensTheGateForTheErrorHandler) {
    fake.desktop.grabFails = true;
    std::intptr_t r;
    EXPECT_THROW(Main().Dispatch(WM_HOTKEY_, 101, 0, r), std::runtime_error);
    EXPECT_TRUE(State().ReadyForCapture);
    EXPECT_TRUE(Main().EditCheckBox.Enabled());
    fake.desktop.grabFails = false;
    PressPrint();
    EXPECT_EQ(http.SentRequests().size(), 1u);
}

// A capture that fails from the alternative shortcut or the tray menu reaches
// the general error handler; the forced values end with the failed capture.
TEST_F(CaptureFlow, FailuresFromHiddenWindowsReachTheErrorHandler) {
    fake.desktop.grabFails = true;
    fake.messageWindows.Send(Main().HotKeyControl1.WindowHandle(), WM_HOTKEY_, 0, 0);
    Main().TrayIcon.SetActive(true);
    backend.OnPopupMenu = [&](TPopupMenu&, Point) { Main().Screenshotauslsen1.Click(); };
    fake.messageWindows.Send(Main().TrayIcon.WindowHandle(), TTrayNotifyIcon::CallbackMessage, 0, 0x0205);
    ASSERT_EQ(backend.Messages.size(), 2u);
    for (const auto& message : backend.Messages) EXPECT_EQ(message.text, "Der Bildschirm konnte nicht gelesen werden.");
    EXPECT_FALSE(State().TriggeredFromMenu);

    Main().ActiveWindowCheckBox.SetChecked(false);
    std::intptr_t r;
    EXPECT_THROW(Main().Dispatch(WM_HOTKEY_, 102, 0, r), std::runtime_error);
    EXPECT_FALSE(State().ActiveWindowOnly);
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(CaptureFlow, OptionsStayLockedUntilTheWorkerEnds) {
    auto enabled = [&] {
        std::vector<bool> states;
        for (TCheckBox* box : {&Main().EditCheckBox, &Main().ActiveWindowCheckBox, &Main().SaveLocalCheckBox,
                               &Main().SessionModeCheckBox, &Main().SaveOptionsCheckBox})
            states.push_back(box->Enabled());
        return states;
    };
    http.HoldNext();
    Dispatch(101);
    WaitUntilHeld();
    EXPECT_EQ(enabled(), std::vector<bool>(5, false));
    http.Release();
    Main().WaitForWorker();
    EXPECT_EQ(enabled(), std::vector<bool>(5, true));
}

TEST_F(CaptureFlow, LockOptionsWalksTheFiveBoxesInOrder) {
    std::vector<std::string> order;
    struct Spy : ControlPeer {
        std::vector<std::string>& order;
        Control& control;
        Spy(std::vector<std::string>& o, Control& c) : order(o), control(c) {}
        void Update(Change what) override {
            if (what == Change::Enabled) order.push_back(control.Name());
        }
        NativeWindow Handle() const override { return 0; }
    };
    TMainForm& m = Main();
    std::vector<std::unique_ptr<Spy>> spies;
    for (TCheckBox* box : {&m.SaveOptionsCheckBox, &m.SessionModeCheckBox, &m.SaveLocalCheckBox,
                           &m.ActiveWindowCheckBox, &m.EditCheckBox}) {
        spies.push_back(std::make_unique<Spy>(order, *box));
        box->AttachPeer(spies.back().get());
    }
    m.LockOptions(true);
    EXPECT_EQ(order, (std::vector<std::string>{"EditCheckBox", "ActiveWindowCheckBox", "SaveLocalCheckBox",
                                               "SessionModeCheckBox", "SaveOptionsCheckBox"}));
    for (TCheckBox* box : {&m.SaveOptionsCheckBox, &m.SessionModeCheckBox, &m.SaveLocalCheckBox,
                           &m.ActiveWindowCheckBox, &m.EditCheckBox})
        box->AttachPeer(nullptr);
}

TEST_F(CaptureFlow, FormFirstShowResetsTheDisplayAndOpensTheGate) {
    PressPrint();
    TMainForm& m = Main();
    m.SetCaption("Snapora 4.2   [Session: x]");
    m.Label1.SetCaption("alt");
    m.ProgressBar1.SetPosition(70);
    m.ProgressBar1.Hide();
    m.DisplayURLEdit.SetText("http://x/y");
    m.RenameButton.Hide();
    m.LockOptions(true);
    State().ReadyForCapture = false;

    m.FormFirstShow();
    EXPECT_EQ(m.Caption(), "Snapora 4.2");
    EXPECT_TRUE(State().ReadyForCapture);
    EXPECT_EQ(m.Notebook1.PageIndex(), 0);
    EXPECT_TRUE(m.Page1.Visible());
    EXPECT_FALSE(m.Page2.Visible());
    EXPECT_EQ(m.Label1.Caption(), "");
    EXPECT_EQ(m.ProgressBar1.Position(), 0);
    EXPECT_TRUE(m.ProgressBar1.Visible());
    EXPECT_EQ(m.RenameEdit.Text(), "");
    EXPECT_EQ(m.DisplayURLEdit.Text(), "");
    EXPECT_TRUE(m.RenameLabel.Visible() && m.RenameEdit.Visible() && m.RenameButton.Visible());
    EXPECT_TRUE(m.SaveOptionsCheckBox.Enabled());
}

TEST_F(CaptureFlow, ShowStatusRepaintsAtOnce) {
    int before = backend.processMessagesCount;
    Main().ShowStatus("Hallo");
    EXPECT_EQ(Main().Label1.Caption(), "Hallo");
    EXPECT_GT(backend.processMessagesCount, before);
}

}  // namespace snapora
