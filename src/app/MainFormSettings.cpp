// The main window's settings: read from the registry into the controls at
// start, written back at the end while "Einstellungen speichern" is checked.

#include "app/MainForm.h"

#include <algorithm>

#include "settings/ColourNames.h"
#include "settings/Scrambler.h"
#include "settings/SettingsDialogForm.h"
#include "settings/SettingsStore.h"
#include "settings/Shortcut.h"

namespace snapora {

namespace {

// The root of the drive a path lies on, with a trailing backslash ("C:\").
std::string DriveRoot(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
    if (path.rfind("\\\\", 0) == 0) {  // \\server\share
        size_t share = path.find('\\', 2);
        size_t end = share == std::string::npos ? std::string::npos : path.find('\\', share + 1);
        return path.substr(0, end) + "\\";
    }
    return path;
}

int ReadNumber(SettingsStore& store, const char* name, int fallback) {
    auto number = ParseInteger(store.ReadSettingString(name, std::to_string(fallback)));
    return number ? int(*number) : fallback;
}

Colour ReadColour(SettingsStore& store, const char* name, Colour fallback) {
    return TextToColour(store.ReadSettingString(name, ColourToText(fallback))).value_or(fallback);
}

}  // namespace

void TMainForm::LoadSettings() {
    SettingsStore store(context_.platform.registry);
    TSettingsDialogForm& settings = *context_.windows.settings;
    state_.PenColor = clRed;
    state_.BrushColor = clBlack;
    SaveOptionsCheckBox.SetChecked(store.SettingsKeyExists());

    std::string tempRoot = DriveRoot(context_.platform.files.TempDirectory());
    if (SaveOptionsCheckBox.Checked()) {
        ActiveWindowCheckBox.SetChecked(store.ReadSettingBool("ActiveWindow", true));
        state_.ActiveWindowOnly = ActiveWindowCheckBox.Checked();
        EditCheckBox.SetChecked(store.ReadSettingBool("Edit", false));
        SaveLocalCheckBox.SetChecked(store.ReadSettingBool("SaveLocal", false));
        state_.PenWidth = std::clamp(ReadNumber(store, "PenWidth", 3), 1, 100);
        state_.PenColor = ReadColour(store, "PenColor", clRed);
        state_.BrushColor = ReadColour(store, "BrushColor", clBlack);
        settings.CopyURLCheckBox.SetChecked(store.ReadSettingBool("CopyURLAfterScreenshot", false));
        auto hotKey = ParseInteger(store.ReadSettingString("AlternativeHotKey", ""));
        state_.AlternativeShortcut = hotKey ? std::uint16_t(*hotKey) : DefaultShortcut;
        // Enter or Esc for the whole system would take them from every program,
        // Ctrl alone would fire with every Ctrl combination.
        if (!IsUsableShortcut(state_.AlternativeShortcut)) state_.AlternativeShortcut = DefaultShortcut;
        settings.AlwaysAskForDirectoryCheckBox.SetChecked(store.ReadSettingBool("AlwaysAskForDirectory", true));
        settings.StandardDirEdit.SetText(store.ReadSettingString("StandardDirectory", tempRoot));
        settings.ScreenshotListCount.SetValue(ReadNumber(store, "ScreenshotListCount", 5));
        settings.HideDonateButtonCheckBox.SetChecked(store.ReadSettingBool("HideDonateButton", false));
        // Its handler writes the start-up shortcut, which may fail: the other settings still load.
        bool tray = store.ReadSettingBool("SysTrayIcon", false);
        try {
            settings.TrayIconCheckBox.SetChecked(tray);
        } catch (const std::exception& error) {
            App().ShowException(error);
        }
        settings.UsernameEdit.SetText(
            ScrambleText(store.ReadSettingString("Username", ""), AccountScrambleSeed, true));
        settings.PasswordEdit.SetText(
            ScrambleText(store.ReadSettingString("Password", ""), AccountScrambleSeed, true));
    } else {
        state_.ActiveWindowOnly = ActiveWindowCheckBox.Checked();
        state_.AlternativeShortcut = DefaultShortcut;
        settings.StandardDirEdit.SetText(tempRoot);
    }

    unsigned key = 0, modifiers = 0;
    SplitShortcut(state_.AlternativeShortcut, key, modifiers);
    std::string text = settings.FormatShortcut(key, modifiers);
    settings.ShortcutEdit.SetText(text);
    ShortcutLabel.SetCaption("(oder " + text + ")");
    HotKeyControl1.SetKey(state_.AlternativeShortcut);
    HotKeyControl1.SetEnabled(true);
}

void TMainForm::SaveSettings() {
    if (!SaveOptionsCheckBox.Checked()) return;
    SettingsStore store(context_.platform.registry);
    TSettingsDialogForm& settings = *context_.windows.settings;
    store.WriteSettingBool("ActiveWindow", ActiveWindowCheckBox.Checked());
    store.WriteSettingBool("Edit", EditCheckBox.Checked());
    store.WriteSettingBool("SaveLocal", SaveLocalCheckBox.Checked());
    store.WriteSettingString("PenWidth", std::to_string(std::int16_t(state_.PenWidth)));
    store.WriteSettingString("PenColor", ColourToText(state_.PenColor));
    store.WriteSettingString("BrushColor", ColourToText(state_.BrushColor));
    store.WriteSettingBool("CopyURLAfterScreenshot", settings.CopyURLCheckBox.Checked());
    store.WriteSettingString("AlternativeHotKey", std::to_string(state_.AlternativeShortcut));
    store.WriteSettingBool("AlwaysAskForDirectory", settings.AlwaysAskForDirectoryCheckBox.Checked());
    store.WriteSettingString("StandardDirectory", settings.StandardDirEdit.Text());
    store.WriteSettingString("ScreenshotListCount", std::to_string(settings.ScreenshotListCount.Value()));
    store.WriteSettingBool("SysTrayIcon", settings.TrayIconCheckBox.Checked());
    store.WriteSettingBool("HideDonateButton", settings.HideDonateButtonCheckBox.Checked());
    if (!settings.UsernameEdit.Text().empty()) {
        store.WriteSettingString("Username", ScrambleText(settings.UsernameEdit.Text(), AccountScrambleSeed, false));
        store.WriteSettingString("Password", ScrambleText(settings.PasswordEdit.Text(), AccountScrambleSeed, false));
    } else {
        // A password without its user name is not kept.
        store.DeleteSettingValue("Username");
        store.DeleteSettingValue("Password");
    }
}

void TMainForm::SaveOptionsCheckBoxClick() {
    if (!SaveOptionsCheckBox.Checked()) SettingsStore(context_.platform.registry).DeleteSettingsKey();
}

}  // namespace snapora
