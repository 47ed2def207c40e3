// The settings dialog: capturing the shortcut, the tray box with its start-up
// shortcut, the donate question, the account test and the links.

#include "ProgramFixture.h"
#include "settings/SettingsDialogForm.h"
#include "settings/Shortcut.h"

namespace snapora {

TEST(FormatShortcut, KeysAndModifiers) {
    std::uint16_t stored = 0;
    ShortcutCapture capture{stored};
    auto system = [](unsigned key) { return key == 0xBA ? std::string("Ü") : std::string(); };
    struct Case {
        unsigned key, modifiers;
        std::string text;
        std::uint16_t value;
    } cases[] = {
        {'A', 0, "Alt + A", 0x8041},                       // a letter alone gets Alt
        {'A', smShift, "Alt + A", 0x8041},                 // and loses Shift
        {'A', smCtrl, "Strg + A", 0x4041},
        {'A', smCtrl | smShift, "Shift + Strg + A", 0x6041},
        {'0', 0, "0", 0x0030},                             // the digit 0 stays alone
        {'1', 0, "Alt + 1", 0x8031},
        {0x11, smCtrl, "Strg + ", 0},                      // Ctrl alone: shown, never the shortcut
        {0x74, 0, "F5", 0x0074},
        {0x87, 0, "F24", 0x0087},
        {0x23, smCtrl, "Strg + Ende", 0x4023},
        {0x62, 0, "2", 0x0062},                            // numeric keypad
        {0x2E, smAlt, "Alt + Entf", 0x802E},
        {0xBA, 0, "Ü", 0x00BA},                            // named by the keyboard
        {0x1B, 0, "Esc", 0x001B},
    };
    for (const Case& c : cases) {
        stored = 0;
        EXPECT_EQ(FormatShortcut(c.key, c.modifiers, capture, system), c.text) << c.key;
        EXPECT_EQ(stored, c.value) << c.key;
        EXPECT_EQ(capture.shortcutKey, c.key);
    }
    stored = 0x4023;
    EXPECT_EQ(FormatShortcut(0x10, 0, capture, system), "(Kein)");  // nothing to show: nothing stored
    EXPECT_EQ(FormatShortcut(0xFF, 0, capture, system), "(Kein)");  // a key without a name
    EXPECT_EQ(stored, 0x4023);
    EXPECT_EQ(ShortcutValue(0x123, smCtrl), 0);  // wider than a byte
}

class SettingsDialog : public ProgramTest {
protected:
    TSettingsDialogForm& Dialog() { return *program->Context().windows.settings; }
    void KeyDown(std::uint16_t key, unsigned shift) {
        Dialog().ShortcutEdit.SetFocus();
        Dialog().KeyDown(key, shift);
    }
    void KeyUp(std::uint16_t key, unsigned shift) { Dialog().KeyUp(key, shift); }
    // Opens the dialog modally, runs `what` inside, and presses OK.
    void WithDialog(const std::function<void()>& what) {
        backend.OnModal = [&](Form& f) {
            if (&f != &Dialog()) return;
            what();
            Dialog().CloseButton.Click();
        };
        Main().SettingsButton.Click();
    }
};

TEST_F(SettingsDialog, CapturedShortcutTakesEffectWithOk) {
    WithDialog([&] {
        KeyDown(0x11, ssCtrl);
        KeyDown('K', ssCtrl);
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + K");
        EXPECT_TRUE(Dialog().KeyPress('k'));  // typed characters are swallowed
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + K");
    });
    EXPECT_EQ(Main().ShortcutLabel.Caption(), "(oder Strg + K)");
    EXPECT_EQ(Main().HotKeyControl1.Key(), 0x404B);
    auto& keys = fake.hotKeys.registered;
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.back(), (FakeHotKeys::Key{Main().HotKeyControl1.WindowHandle(), 0, MOD_CONTROL_, 'K'}));
}

TEST_F(SettingsDialog, ReleasingCtrlFirstStoresTheKeyAlone) {
    WithDialog([&] {
        KeyDown(0x11, ssCtrl);
        KeyDown(0x23, ssCtrl);
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + Ende");
        KeyUp(0x11, 0);  // releasing a modifier changes nothing
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + Ende");
        KeyUp(0x23, 0);
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Ende");
    });
    EXPECT_EQ(State().AlternativeShortcut, 0x0023);
    EXPECT_EQ(Main().ShortcutLabel.Caption(), "(oder Ende)");
}

TEST_F(SettingsDialog, CtrlAloneOrKeinLeaveTheHotKeyAlone) {
    WithDialog([&] { KeyDown(0x11, ssCtrl); });
    EXPECT_EQ(Main().ShortcutLabel.Caption(), "(oder Strg + Ende)");
    EXPECT_EQ(Main().HotKeyControl1.Key(), 0x4023);
    EXPECT_EQ(State().AlternativeShortcut, 0x4023);  // nothing to save at the end either
    WithDialog([&] { KeyDown(0x10, 0); });
    EXPECT_EQ(Dialog().ShortcutEdit.Text(), "(Kein)");
    EXPECT_EQ(Main().HotKeyControl1.Key(), 0x4023);
}

// Enter and Esc press OK, Tab moves on: none of them becomes the shortcut.
TEST_F(SettingsDialog, DialogKeysKeepTheirMeaningInTheShortcutField) {
    struct Case {
        std::uint16_t key;
        unsigned shift;
        bool closes;
    } cases[] = {{0x0D, ssNone, true}, {0x1B, ssNone, true}, {0x09, ssNone, false}, {0x09, ssShift, false}};
    for (const Case& c : cases) {
        auto registered = fake.hotKeys.registered;
        bool closed = false;
        backend.OnModal = [&](Form& f) {
            KeyDown(c.key, c.shift);
            KeyUp(c.key, c.shift);
            closed = f.GetModalResult() != mrNone;
        };
        Main().SettingsButton.Click();
        EXPECT_EQ(closed, c.closes) << c.key;
        EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + Ende") << c.key;
        EXPECT_EQ(State().AlternativeShortcut, 0x4023) << c.key;
        EXPECT_EQ(fake.hotKeys.registered, registered) << c.key;
    }
}

TEST_F(SettingsDialog, AlternativeShortcutTriggersACapture) {
    Main().Show();
    size_t before = fake.desktop.grabs.size();
    // The message goes on to the default handling after the event.
    EXPECT_FALSE(fake.messageWindows.Send(Main().HotKeyControl1.WindowHandle(), WM_HOTKEY_, 0, 0));
    Main().WaitForWorker();
    EXPECT_EQ(fake.desktop.grabs.size(), before + 1);
}

TEST_F(SettingsDialog, TrayBoxSwitchesIconAndStartupShortcut) {
    std::string link = fake.shell.specialFolders[7] + "snapora.lnk";
    Dialog().TrayIconCheckBox.SetChecked(true);
    EXPECT_TRUE(Main().TrayIconActive());
    EXPECT_TRUE(fake.files.FileExists(link));
    Dialog().TrayIconCheckBox.SetChecked(false);
    EXPECT_FALSE(Main().TrayIconActive());
    EXPECT_FALSE(fake.files.FileExists(link));

    fake.files.files[link] = "the user's own";
    EXPECT_TRUE(Dialog().SetAutostartLink(7, true, "minimized"));  // an existing one stays
    EXPECT_EQ(fake.files.files[link], "the user's own");
    EXPECT_EQ(fake.shell.links.size(), 1u);

    fake.shell.specialFolders.clear();  // no Startup folder: nothing is written anywhere
    EXPECT_FALSE(Dialog().SetAutostartLink(7, true, "minimized"));
    EXPECT_EQ(fake.shell.links.size(), 1u);
}

TEST_F(SettingsDialog, DonateButtonHidesOnlyAfterYes) {
    Main().Show();
    for (int answer : {IDNO_, IDCANCEL_}) {
        backend.MessageBoxAnswers = {answer};
        Dialog().HideDonateButtonCheckBox.SetChecked(true);
        EXPECT_FALSE(Dialog().HideDonateButtonCheckBox.Checked());
        EXPECT_TRUE(Main().DonateButton.Visible());
    }
    ASSERT_EQ(backend.Messages.size(), 2u);
    EXPECT_EQ(backend.Messages[0].caption, "Information");
    EXPECT_EQ(backend.Messages[0].flags, unsigned(MB_ICONINFORMATION_ | MB_YESNOCANCEL_));
    EXPECT_NE(backend.Messages[0].text.find("\r\n\r\nHaben Sie das getan und möchten den Spenden-Button ausblenden?"),
              std::string::npos);
    backend.MessageBoxAnswers = {IDYES_};
    Dialog().HideDonateButtonCheckBox.SetChecked(true);
    EXPECT_FALSE(Main().DonateButton.Visible());
    Dialog().HideDonateButtonCheckBox.SetChecked(false);
    EXPECT_TRUE(Main().DonateButton.Visible());
}

TEST_F(SettingsDialog, AccountTestMessages) {
    Main().ProgressBar1.SetPosition(40);
    Main().Label1.SetCaption("alt");
    struct Case {
        std::string reply, message;
    } cases[] = {{"ok", "Die Zugangsdaten sind richtig!"},
                 {"wrong", "Die Zugangsdaten sind falsch!"},
                 {"Server gesperrt", "Server gesperrt"}};
    Dialog().UsernameEdit.SetText("anna");
    for (const Case& c : cases) {
        http.Reply(c.reply);
        Dialog().Button1.Click();
        EXPECT_EQ(backend.Messages.back().text, c.message);
    }
    EXPECT_EQ(Main().Label1.Caption(), "");
    EXPECT_EQ(Main().ProgressBar1.Position(), 0);
    auto sent = http.SentRequests();
    EXPECT_EQ(sent.back().path, "/account.htm?action=testlogin");
    EXPECT_NE(sent.back().body.find("name=\"username\"\r\n\r\nanna\r\n"), std::string::npos);

    http.Fail();  // the general error handler shows failures; status and bar are not reset
    EXPECT_THROW(Dialog().Button1.Click(), HttpError);
    EXPECT_EQ(Main().Label1.Caption(), "Warte auf Antwort vom Server...");
    EXPECT_EQ(Main().ProgressBar1.Position(), 100);
}

TEST_F(SettingsDialog, ShowingAlignsFolderControlsAndRegistryNotice) {
    WithDialog([&] {
        EXPECT_TRUE(Dialog().RegistryInfoLabel.Visible());
        EXPECT_FALSE(Dialog().StandardDirEdit.Enabled());
        EXPECT_FALSE(Dialog().SelectStandardDirButton.Enabled());
    });
    Main().SaveOptionsCheckBox.SetChecked(true);
    Dialog().AlwaysAskForDirectoryCheckBox.SetChecked(false);
    WithDialog([&] {
        EXPECT_FALSE(Dialog().RegistryInfoLabel.Visible());
        EXPECT_TRUE(Dialog().StandardDirEdit.Enabled());
    });
}

TEST_F(SettingsDialog, FolderChooserAndLinks) {
    fake.shell.browseAnswer = "F:\\Screens";
    Dialog().SelectStandardDirButton.Click();
    EXPECT_EQ(Dialog().StandardDirEdit.Text(), "F:\\Screens");
    EXPECT_EQ(fake.shell.browsePrompts.back(),
              "Wählen Sie einen Ordner, wo Screenshots standardmäßig gespeichert werden sollen:");
    fake.shell.browseAnswer.reset();
    Dialog().SelectStandardDirButton.Click();
    EXPECT_EQ(Dialog().StandardDirEdit.Text(), "F:\\Screens");

    Dialog().UsernameEdit.SetText("anna maria");
    Dialog().Label5.Click();
    Dialog().Label7.Click();
    Dialog().Button3.Click();
    std::vector<std::string> opened;
    for (auto& o : fake.shell.opened) opened.push_back(o.address);
    std::string host = "http://" SNAPORA_SERVICE_HOST;
    EXPECT_EQ(opened, (std::vector<std::string>{host + "/account.htm?action=register", host + "/faq.htm#account",
                                                host + "/account.htm?action=login&username=anna maria"}));
}

TEST_F(SettingsDialog, ListLengthFieldStaysWithinItsRange) {
    TSpinEdit& count = Dialog().ScreenshotListCount;
    EXPECT_EQ(count.Value(), 5);
    count.TextChangedByUser("99");
    EXPECT_EQ(count.Value(), 99);  // until the field is left
    count.SetFocus();
    Dialog().UsernameEdit.SetFocus();
    EXPECT_EQ(count.Text(), "50");
    count.TextChangedByUser("abc");
    EXPECT_EQ(count.Value(), 0);
    for (int i = 0; i < 3; ++i) count.Step(-1);
    EXPECT_EQ(count.Value(), 0);
    char typed = 'x';
    count.OnKeyPress(typed);
    EXPECT_EQ(typed, 0);
    typed = '7';
    count.OnKeyPress(typed);
    EXPECT_EQ(typed, '7');
}

}  // namespace snapora
