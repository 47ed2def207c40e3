// The settings in the registry: reading into the controls, writing back,
// the encodings of flags, numbers, colours, the shortcut and the account.

#include "ProgramFixture.h"
#include "settings/ColourNames.h"
#include "settings/Scrambler.h"
#include "settings/SettingsDialogForm.h"
#include "settings/SettingsStore.h"

namespace snapora {

TEST(Scrambler, RoundTripForEveryByteAndUnchangedOutsideTheRange) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    for (std::uint32_t seed : {AccountScrambleSeed, 0u, 0xFFFFFFFFu}) {
        std::string scrambled = ScrambleText(all, seed, false);
        ASSERT_EQ(scrambled.size(), all.size());
        EXPECT_EQ(ScrambleText(scrambled, seed, true), all) << seed;
        for (int c = 0; c < 256; ++c) {
            unsigned char s = scrambled[size_t(c)];
            if (c < 32 || c > 122)
                EXPECT_EQ(s, c) << "byte " << c << " is copied";
            else
                EXPECT_TRUE(s >= 32 && s <= 122) << "byte " << c << " stays printable";
        }
    }
    EXPECT_NE(ScrambleText("anna", AccountScrambleSeed, false), "anna");
    // Bytes outside the range draw no number: the rest scrambles the same with or without them.
    std::string plain = ScrambleText("ab", AccountScrambleSeed, false);
    std::string withUmlaut = ScrambleText("\xE4" "ab~", AccountScrambleSeed, false);
    EXPECT_EQ(withUmlaut.substr(1, 2), plain);
    EXPECT_EQ(withUmlaut.substr(0, 1), "\xE4");
    EXPECT_EQ(withUmlaut.substr(3), "~");
}

TEST(ColourNames, NamesNumbersAndFallback) {
    EXPECT_EQ(ColourToText(clRed), "clRed");
    EXPECT_EQ(ColourToText(MakeColour(0, 128, 255)), "$00FF8000");
    EXPECT_EQ(ColourToText(SystemColour(15)), "clBtnFace");
    EXPECT_EQ(ColourToText(SystemColour(24)), "clInfoBk");
    EXPECT_EQ(ColourToText(clNone), "clNone");
    EXPECT_EQ(TextToColour("clNavy"), Colour(0x800000));
    EXPECT_EQ(TextToColour("$00FF8000"), MakeColour(0, 128, 255));
    EXPECT_EQ(TextToColour("255"), clRed);
    EXPECT_EQ(TextToColour("$80000005"), clWindow);
    EXPECT_EQ(TextToColour("rot"), std::nullopt);
    EXPECT_EQ(TextToColour("clred"), std::nullopt);
    EXPECT_EQ(TextToColour(""), std::nullopt);
}

TEST(ColourNames, IntegerParsing) {
    EXPECT_EQ(ParseInteger("16419"), 16419);
    EXPECT_EQ(ParseInteger("-3"), -3);
    EXPECT_EQ(ParseInteger("$4023"), 0x4023);
    EXPECT_EQ(ParseInteger("0x10"), 16);
    for (const char* bad : {"", "abc", "12a", " 5", "99999999999", "$", "-"})
        EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
}

class Settings : public UnstartedProgramTest {
protected:
    void Store(const std::string& name, const std::string& text) { fake.registry.keys[SettingsKey][name] = {true, text}; }
    TSettingsDialogForm& Dialog() { return *program->Context().windows.settings; }
    void End() { Main().PopupExit.Click(); }
};

TEST_F(Settings, NoKeyGivesDefaultsAndWritesNothing) {
    fake.files.tempDirectory = "D:\\Temp\\";
    Start();
    EXPECT_FALSE(Main().SaveOptionsCheckBox.Checked());
    EXPECT_TRUE(Main().ActiveWindowCheckBox.Checked());
    EXPECT_TRUE(State().ActiveWindowOnly);
    EXPECT_EQ(State().AlternativeShortcut, 0x4023);
    EXPECT_EQ(Dialog().StandardDirEdit.Text(), "D:\\");
    EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Strg + Ende");
    EXPECT_EQ(Main().ShortcutLabel.Caption(), "(oder Strg + Ende)");
    EXPECT_TRUE(Main().HotKeyControl1.Enabled());
    EXPECT_TRUE(Main().HotKeyControl1.Registered());
    End();
    EXPECT_TRUE(fake.registry.keys.empty());
}

TEST_F(Settings, EmptyKeyChecksSavingAndGivesDefaults) {
    fake.registry.keys[SettingsKey];
    Start();
    EXPECT_TRUE(Main().SaveOptionsCheckBox.Checked());
    EXPECT_TRUE(Main().ActiveWindowCheckBox.Checked());
    EXPECT_FALSE(Main().EditCheckBox.Checked());
    EXPECT_EQ(State().PenWidth, 3);
    EXPECT_EQ(State().PenColor, clRed);
    EXPECT_EQ(State().BrushColor, clBlack);
    EXPECT_TRUE(Dialog().AlwaysAskForDirectoryCheckBox.Checked());
    EXPECT_EQ(Dialog().ScreenshotListCount.Value(), 5);
    EXPECT_FALSE(Main().TrayIconActive());
}

TEST_F(Settings, StoredValuesReachTheControls) {
    Store("ActiveWindow", "false");
    Store("Edit", "true");
    Store("SaveLocal", "True");  // only "true" exactly counts
    Store("PenWidth", "7");
    Store("PenColor", "$00FF8000");
    Store("BrushColor", "clYellow");
    Store("CopyURLAfterScreenshot", "true");
    Store("AlternativeHotKey", "41029");  // 0xA045: Shift+Alt+E
    Store("AlwaysAskForDirectory", "false");
    Store("StandardDirectory", "E:\\Bilder");
    Store("ScreenshotListCount", "12");
    Store("HideDonateButton", "true");
    Store("Username", ScrambleText("anna", AccountScrambleSeed, false));
    Store("Password", ScrambleText("gehe1m!", AccountScrambleSeed, false));
    Start();
    EXPECT_FALSE(Main().ActiveWindowCheckBox.Checked());
    EXPECT_FALSE(State().ActiveWindowOnly);
    EXPECT_TRUE(Main().EditCheckBox.Checked());
    EXPECT_FALSE(Main().SaveLocalCheckBox.Checked());
    EXPECT_EQ(State().PenWidth, 7);
    EXPECT_EQ(State().PenColor, MakeColour(0, 128, 255));
    EXPECT_EQ(State().BrushColor, clYellow);
    EXPECT_TRUE(Dialog().CopyURLCheckBox.Checked());
    EXPECT_EQ(Dialog().ShortcutEdit.Text(), "Shift + Alt + E");
    EXPECT_EQ(Main().HotKeyControl1.Key(), 0xA045);
    EXPECT_FALSE(Dialog().AlwaysAskForDirectoryCheckBox.Checked());
    EXPECT_TRUE(Dialog().StandardDirEdit.Enabled());
    EXPECT_EQ(Dialog().StandardDirEdit.Text(), "E:\\Bilder");
    EXPECT_EQ(Dialog().ScreenshotListCount.Value(), 12);
    EXPECT_FALSE(Main().DonateButton.Visible());
    EXPECT_TRUE(backend.Messages.empty());  // no question while the window is not shown
    EXPECT_EQ(Dialog().UsernameEdit.Text(), "anna");
    EXPECT_EQ(Dialog().PasswordEdit.Text(), "gehe1m!");
}

TEST_F(Settings, GarbageFallsBackToDefaults) {
    Store("AlternativeHotKey", "Strg+Ende");
    Store("PenWidth", "dick");
    Store("PenColor", "rot");
    Store("ScreenshotListCount", "viele");
    fake.registry.keys[SettingsKey]["ActiveWindow"] = {false, "false"};  // not a string value
    Start();
    EXPECT_EQ(State().AlternativeShortcut, 0x4023);
    // Formatted anew, so the label differs from the layout's "(oder Strg+Ende)".
    EXPECT_EQ(Main().ShortcutLabel.Caption(), "(oder Strg + Ende)");
    EXPECT_EQ(State().PenWidth, 3);
    EXPECT_EQ(State().PenColor, clRed);
    EXPECT_EQ(Dialog().ScreenshotListCount.Value(), 5);
    EXPECT_TRUE(Main().ActiveWindowCheckBox.Checked());
}

// Values in the registry outside what the controls allow are brought into range
// (and so never saved back); Enter or Esc never becomes a system-wide key.
TEST_F(Settings, OutOfRangeValuesAreBroughtIntoRange) {
    Store("ScreenshotListCount", "999");
    Store("PenWidth", "0");
    Store("AlternativeHotKey", "13");
    Start();
    EXPECT_EQ(Dialog().ScreenshotListCount.Text(), "50");
    EXPECT_EQ(State().PenWidth, 1);
    EXPECT_EQ(State().AlternativeShortcut, 0x4023);
    EXPECT_EQ(Main().HotKeyControl1.Key(), 0x4023);
}

// A stored value that no one may register for the whole system: a dialog key,
// or Shift, Ctrl or Alt as the key itself. The default takes its place.
TEST_F(Settings, UnusableShortcutsFallBackToTheDefault) {
    for (int value : {0x000D, 0x001B, 0x0009, 0x2009, 0x4011, 0x0011, 0x2010, 0x8012, 0x6010}) {
        program.reset();
        fake.instance.held.clear();
        fake.hotKeys.registered.clear();
        Store("AlternativeHotKey", std::to_string(value));
        Start();
        EXPECT_EQ(State().AlternativeShortcut, 0x4023) << value;
        EXPECT_EQ(Main().HotKeyControl1.Key(), 0x4023) << value;
        EXPECT_EQ(fake.hotKeys.registered.back().virtualKey, 0x23u) << value;
        End();
        EXPECT_EQ(fake.registry.keys[SettingsKey]["AlternativeHotKey"].text, "16419") << value;
    }
}

// The start-up shortcut can't be written: the error is shown, the rest still loads.
TEST_F(Settings, FailingStartupShortcutStillStartsWithEverySetting) {
    Store("SysTrayIcon", "true");
    Store("Username", ScrambleText("anna", AccountScrambleSeed, false));
    fake.shell.linkObjectFails = true;
    Start();
    ASSERT_EQ(backend.Messages.size(), 1u);
    EXPECT_EQ(backend.Messages[0].text, "Die Verknüpfung konnte nicht angelegt werden.");
    EXPECT_TRUE(Main().TrayIconActive());
    EXPECT_EQ(Dialog().UsernameEdit.Text(), "anna");
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(Settings, ShortcutValuesAreCutTo16Bits) {
    Store("AlternativeHotKey", std::to_string(0x10000 + 0x4023));
    Start();
    EXPECT_EQ(State().AlternativeShortcut, 0x4023);
}

TEST_F(Settings, EndWritesEveryValueInItsEncoding) {
    fake.registry.keys[SettingsKey];
    Start();
    State().PenWidth = 70000;  // written as a signed 16-bit number
    State().PenColor = MakeColour(0, 128, 255);
    Dialog().UsernameEdit.SetText("anna");
    Dialog().PasswordEdit.SetText("");
    Main().EditCheckBox.SetChecked(true);
    End();
    auto& values = fake.registry.keys[SettingsKey];
    std::vector<std::pair<std::string, std::string>> expected = {
        {"ActiveWindow", "true"},     {"AlternativeHotKey", "16419"},      {"AlwaysAskForDirectory", "true"},
        {"BrushColor", "clBlack"},    {"CopyURLAfterScreenshot", "false"}, {"Edit", "true"},
        {"HideDonateButton", "false"}, {"PenColor", "$00FF8000"},           {"PenWidth", "4464"},
        {"SaveLocal", "false"},       {"ScreenshotListCount", "5"},        {"StandardDirectory", "C:\\"},
        {"SysTrayIcon", "false"},
    };
    for (auto& [name, text] : expected) EXPECT_EQ(values[name].text, text) << name;
    EXPECT_EQ(ScrambleText(values["Username"].text, AccountScrambleSeed, true), "anna");
    EXPECT_EQ(values["Password"].text, "");
}

TEST_F(Settings, EmptyUserNameDropsTheStoredAccount) {
    Store("Username", "x");
    Store("Password", "y");
    Start();
    Dialog().Button2.Click();  // "Felder leeren"
    EXPECT_EQ(Dialog().UsernameEdit.Text(), "");
    Dialog().PasswordEdit.SetText("allein");
    End();
    EXPECT_EQ(fake.registry.keys[SettingsKey].count("Username"), 0u);
    EXPECT_EQ(fake.registry.keys[SettingsKey].count("Password"), 0u);
}

TEST_F(Settings, UncheckingSavingDeletesTheKeyAtOnce) {
    Store("Edit", "true");
    Start();
    Main().SaveOptionsCheckBox.SetChecked(false);
    EXPECT_FALSE(fake.registry.KeyExists(SettingsKey));
    End();
    EXPECT_FALSE(fake.registry.KeyExists(SettingsKey));
}

TEST_F(Settings, BeendenSavesOnce) {
    fake.registry.keys[SettingsKey];
    Start();
    Main().PopupExit.Click();
    fake.registry.keys.clear();
    program.reset();  // the windows go without saving again
    EXPECT_TRUE(fake.registry.keys.empty());
}

TEST_F(Settings, TrayOnAtStartCreatesTheStartupShortcutAgain) {
    Store("SysTrayIcon", "true");
    Start();
    EXPECT_TRUE(Main().TrayIconActive());
    ASSERT_EQ(fake.shell.links.size(), 1u);
    const auto& link = fake.shell.links[0];
    EXPECT_EQ(link.path, fake.shell.specialFolders[7] + "snapora.lnk");
    EXPECT_EQ(link.target, "C:\\Programme\\Snapora\\snapora.exe");
    EXPECT_EQ(link.arguments, "minimized");
    EXPECT_EQ(link.workingDirectory, "C:\\Programme\\Snapora\\");
    EXPECT_EQ(link.showCommand, 1);
    EXPECT_EQ(link.iconFile, link.target);
    EXPECT_EQ(link.iconIndex, 0);
}

TEST_F(Settings, MinimizedWithTrayStartsHiddenWithoutTrayMinimized) {
    Store("SysTrayIcon", "true");
    fake.process.parameters = {"snapora.exe", "MINIMIZED"};
    Start();
    backend.Terminate();
    program->Run();
    EXPECT_FALSE(Main().Visible());
    ASSERT_FALSE(fake.notificationArea.calls.empty());
    EXPECT_EQ(fake.notificationArea.calls[0].message, NIM_ADD_);
}

TEST_F(Settings, CloseBoxWithTrayHides) {
    Store("SysTrayIcon", "true");
    Start();
    Main().Show();
    Main().Close();
    EXPECT_FALSE(Main().Visible());
    EXPECT_FALSE(backend.Terminated());
    Main().TrayIcon.SetActive(false);
    Main().Show();
    Main().Close();
    EXPECT_TRUE(backend.Terminated());
}

}  // namespace snapora
