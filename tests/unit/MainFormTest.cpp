// The main window's layout and its small handlers.

#include "ProgramFixture.h"
#include "app/NewSessionForm.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

using MainForm = ProgramTest;

TEST_F(MainForm, LayoutMatchesTheWindowDesign) {
    TMainForm& m = Main();
    EXPECT_EQ(m.ClientWidth(), 410);
    EXPECT_EQ(m.ClientHeight(), 280);
    EXPECT_FALSE(m.MaximizeBox);
    EXPECT_TRUE(m.KeyPreview);
    struct Expect {
        Control* control;
        Rect bounds;
        const char* text;
    } expected[] = {
        {&m.Label1, Rect::FromSize(8, 8, 393, 17), ""},
        {&m.ProgressBar1, Rect::FromSize(8, 32, 393, 17), ""},
        {&m.Notebook1, Rect::FromSize(8, 56, 393, 89), ""},
        {&m.Label2, Rect::FromSize(40, 5, 313, 49), "Zum Auslösen des Screenshots Druck-Taste drücken!"},
        {&m.ShortcutLabel, Rect::FromSize(0, 65, 393, 17), "(oder Strg + Ende)"},  // rewritten by the settings
        {&m.RenameEdit, Rect::FromSize(96, 8, 169, 21), ""},
        {&m.RenameButton, Rect::FromSize(280, 5, 113, 28), "Umbenennen"},
        {&m.DisplayURLEdit, Rect::FromSize(0, 48, 273, 21), ""},
        {&m.Button1, Rect::FromSize(280, 48, 113, 21), "Ältere Screenshots"},
        {&m.ActiveWindowCheckBox, Rect::FromSize(8, 152, 177, 17), "Nur aktives Fenster speichern"},
        {&m.SaveLocalCheckBox, Rect::FromSize(216, 152, 177, 17), "Nur auf Festplatte speichern"},
        {&m.EditCheckBox, Rect::FromSize(8, 176, 153, 17), "Anschließend bearbeiten"},
        {&m.SessionModeCheckBox, Rect::FromSize(216, 176, 105, 17), "Session-Modus"},
        {&m.SaveOptionsCheckBox, Rect::FromSize(8, 207, 145, 17), "Einstellungen speichern"},
        {&m.SessionUrlPanel, Rect::FromSize(208, 248, 97, 25), ""},
        {&m.Panel2, Rect::FromSize(0, 232, 409, 49), ""},
        {&m.SettingsButton, Rect::FromSize(312, 16, 89, 25), "Einstellungen"},
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(e.control->Bounds(), e.bounds) << e.control->Name();
        EXPECT_EQ(e.control->Text(), e.text) << e.control->Name();
    }
    EXPECT_EQ(m.RenameLabel.Caption(), "Screenshot-Name:");
    EXPECT_EQ(m.RenameLabel.Left(), 0);
    EXPECT_EQ(m.RenameLabel.Top(), 16);
    EXPECT_EQ(m.Label2.GetFont().pixelHeight, 19);
    EXPECT_TRUE(m.ShortcutLabel.GetFont().bold);
    EXPECT_EQ(m.Label5.GetFont().colour, clBlue);
    EXPECT_EQ(m.Label5.CursorShape, Cursor::HandPoint);
    EXPECT_TRUE(m.DisplayURLEdit.ReadOnly);
    EXPECT_TRUE(m.ActiveWindowCheckBox.Checked());
    EXPECT_FALSE(m.SaveLocalCheckBox.Checked() || m.EditCheckBox.Checked() || m.SessionModeCheckBox.Checked());
    EXPECT_FALSE(m.SessionUrlPanel.Visible());
    EXPECT_EQ(m.SaveLocalCheckBox.Hint,
              "Screenshot nicht auf den Server hochladen, sondern (in höchster Qualität) auf dem Computer speichern");
}

TEST_F(MainForm, TrayMenuHasItsItemsInOrder) {
    std::vector<std::string> captions;
    for (TMenuItem* item : Main().PopupMenu1.Items) captions.push_back(item->Caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"Anzeigen / Ausblenden", "Screenshot auslösen", "-",
                                                  "Screenshot-Chronik", "-", "Beenden"}));
    EXPECT_TRUE(Main().PopupShow.Default);
}

TEST_F(MainForm, CreationRegistersPrintKeysAndCentresTheDonateButton) {
    NativeWindow main = Main().Handle();
    ASSERT_NE(main, 0u);
    // Print and Shift+Print on the main window, then Ctrl+End on the shortcut component's own window.
    EXPECT_EQ(fake.hotKeys.registered,
              (std::vector<FakeHotKeys::Key>{{main, 101, 0, 0x2C},
                                             {main, 102, MOD_SHIFT_, 0x2C},
                                             {Main().HotKeyControl1.WindowHandle(), 0, MOD_CONTROL_, 0x23}}));
    EXPECT_EQ(Main().DonateButton.Top(), 16 + 25 / 2 - 23 / 2);
}

using MainFormStart = UnstartedProgramTest;

TEST_F(MainFormStart, PrintKeysHeldElsewhereDoNotStopTheStart) {
    fake.hotKeys.heldByOthers = {{0, 0x2C}, {MOD_SHIFT_, 0x2C}};
    Start();
    ASSERT_EQ(fake.hotKeys.registered.size(), 1u);  // only the alternative shortcut
    EXPECT_EQ(fake.hotKeys.registered[0].id, 0);
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(MainForm, EndingSavesUnregistersAndStopsTheLoop) {
    Main().PopupExit.Click();
    EXPECT_TRUE(backend.Terminated());
    program.reset();  // the windows are destroyed at the end of the run
    EXPECT_TRUE(fake.hotKeys.registered.empty());
    EXPECT_EQ(fake.hotKeys.unregistered.size(), 3u);
}

TEST_F(MainForm, F10EndsTheProgram) {
    EXPECT_TRUE(Main().KeyDown(0x79, ssNone));
    EXPECT_TRUE(backend.Terminated());
}

TEST_F(MainForm, CloseBoxWithoutTrayEndsTheProgram) {
    Main().Show();
    Main().Close();
    EXPECT_TRUE(backend.Terminated());
}

TEST_F(MainForm, EscapeWhileIdleClosesLikeTheCloseBox) {
    Main().Show();
    EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
    EXPECT_TRUE(backend.Terminated());
}

TEST_F(MainForm, QueryEndSessionEndsTheProcessAtOnce) {
    std::intptr_t result = -1;
    EXPECT_TRUE(Main().Dispatch(WM_QUERYENDSESSION_, 0, 0, result));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(fake.process.exits, std::vector<int>{0});
}

TEST_F(MainForm, ShowHideTogglesTheMainWindow) {
    Main().Show();
    Main().PopupShow.Click();
    EXPECT_FALSE(Main().Visible());
    Main().PopupShow.Click();
    EXPECT_TRUE(Main().Visible());
    EXPECT_EQ(backend.bringToFrontCount, 1);
    EXPECT_EQ(fake.desktop.forcedWindows.back(), backend.LastActivePopup());
}

TEST_F(MainForm, ShowHideDoesNothingWhileADialogIsOpen) {
    Main().Show();
    for (Form* dialog : std::initializer_list<Form*>{program->Context().windows.settings,
                                                     program->Context().windows.editor,
                                                     program->Context().windows.session}) {
        dialog->Show();
        Main().PopupShow.Click();
        EXPECT_TRUE(Main().Visible()) << dialog->Caption();
        dialog->Hide();
    }
}

TEST_F(MainForm, HistoryAndSettingsOpenFromTheirControls) {
    Main().ScreenshotListe1.Click();
    EXPECT_TRUE(program->Context().windows.history->Visible());
    program->Context().windows.history->Hide();
    Main().Button1.Click();
    EXPECT_TRUE(program->Context().windows.history->Visible());

    bool settingsWasModal = false;
    backend.OnModal = [&](Form& f) { settingsWasModal = &f == program->Context().windows.settings && f.Modal(); };
    Main().SettingsButton.Click();
    EXPECT_TRUE(settingsWasModal);
}

TEST_F(MainForm, LinksOpenInTheBrowser) {
    Main().DonateButton.Click();
    Main().Label5.Click();
    ASSERT_EQ(fake.shell.opened.size(), 2u);
    EXPECT_EQ(fake.shell.opened[0].address, "http://" SNAPORA_SERVICE_HOST "/spenden.htm");
    EXPECT_EQ(fake.shell.opened[1].address, "http://" SNAPORA_WEBSITE_HOST);
    EXPECT_EQ(fake.shell.opened[0].owner, Main().Handle());
}

}  // namespace snapora
