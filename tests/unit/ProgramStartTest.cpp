// Start-up: the single-instance guard, the windows and the first showing.

#include "ProgramFixture.h"
#include "app/NewSessionForm.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

using ProgramStart = UnstartedProgramTest;

TEST_F(ProgramStart, FirstInstanceCreatesFiveWindowsAndOpensTheGate) {
    Start();
    Windows& w = program->Context().windows;
    EXPECT_EQ(fake.instance.acquired, std::vector<std::string>{"Screenshot"});
    EXPECT_EQ(program->App().Title, "Snapora");
    EXPECT_EQ(program->App().MainForm(), w.main);
    EXPECT_EQ(w.session->Caption(), "Session-Modus starten");
    EXPECT_EQ(w.editor->Caption(), "Screenshot bearbeiten");
    EXPECT_EQ(w.settings->Caption(), "Einstellungen");
    EXPECT_EQ(w.history->Caption(), "Screenshot-Chronik");
    // Created in this order, so their native windows got rising handle numbers.
    EXPECT_LT(w.main->Handle(), w.session->Handle());
    EXPECT_LT(w.session->Handle(), w.editor->Handle());
    EXPECT_LT(w.editor->Handle(), w.settings->Handle());
    EXPECT_LT(w.settings->Handle(), w.history->Handle());
    EXPECT_EQ(Main().Caption(), "Snapora 4.2");
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(ProgramStart, SecondInstanceEndsWithoutWindows) {
    fake.instance.held.insert("Screenshot");
    Program second(backend, fake.platform, http);
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(second.App().MainForm(), nullptr);
    EXPECT_TRUE(fake.hotKeys.registered.empty());
    EXPECT_EQ(fake.instance.activated, std::vector<std::string>{"Snapora 4."});
}

TEST_F(ProgramStart, RunShowsTheMainWindowAndReleasesTheGuardAtTheEnd) {
    Start();
    backend.Terminate();  // the loop ends at once
    program->Run();
    EXPECT_TRUE(Main().Visible());
    EXPECT_EQ(Main().GetWindowState(), WindowState::Normal);
    EXPECT_EQ(fake.instance.releases, 1);
}

TEST_F(ProgramStart, MinimizedParameterInAnyCaseStartsMinimized) {
    for (const char* parameter : {"minimized", "MINIMIZED", "Minimized"}) {
        fake.process.parameters = {"C:\\snapora.exe", parameter};
        fake.instance.held.clear();
        HeadlessBackend local;
        Program p(local, fake.platform, http);
        ASSERT_TRUE(p.Start());
        local.Terminate();
        p.Run();
        EXPECT_TRUE(p.Main().Visible()) << parameter;
        EXPECT_EQ(p.Main().GetWindowState(), WindowState::Minimized) << parameter;
    }
}

// A window the system refuses while the program starts: the general error
// handler says why, and the program ends cleanly with exit code 1.
TEST_F(ProgramStart, FailureWhileCreatingTheWindowsIsShownAndEndsTheProgram) {
    auto refuse = [](const char* form, auto error) {
        return [=](Form& f) {
            if (f.Name() == form) throw error;
        };
    };
    struct Case {
        const char* what;
        int windowsLeft;  // hidden message windows the system still makes
        std::function<void(Form&)> formCreated;
        std::string message;
    } cases[] = {
        {"the tray icon's window", 1, nullptr, "Nachrichtenfenster konnte nicht erzeugt werden."},
        {"the editor's timer window", 2, nullptr, "Nachrichtenfenster konnte nicht erzeugt werden."},
        {"the history window", -1, refuse("ScreenshotListForm", std::runtime_error("Fenster konnte nicht erzeugt werden.")),
         "Fenster konnte nicht erzeugt werden."},
        {"no memory left", -1, refuse("SettingsDialogForm", std::bad_alloc()), "Nicht genügend Arbeitsspeicher."},
        {"an unknown failure", -1, refuse("NewSessionForm", 42), "Unbekannter Fehler."},
    };
    for (const Case& c : cases) {
        fake.instance.held.clear();
        fake.messageWindows.windowsLeft = c.windowsLeft;
        HeadlessBackend local;
        local.OnFormCreated = c.formCreated;
        int releases = fake.instance.releases;
        {
            Program p(local, fake.platform, http);
            EXPECT_FALSE(p.Start()) << c.what;
            EXPECT_EQ(p.ExitCode(), 1) << c.what;
            ASSERT_EQ(local.Messages.size(), 1u) << c.what;
            EXPECT_EQ(local.Messages[0].text, c.message) << c.what;
            EXPECT_EQ(local.Messages[0].caption, "Snapora") << c.what;
            EXPECT_EQ(local.Messages[0].flags, 0x10u) << c.what;  // MB_ICONERROR
            EXPECT_EQ(fake.instance.releases, releases + 1) << c.what;  // a new start may follow
        }
        EXPECT_TRUE(fake.hotKeys.registered.empty()) << c.what;  // what was made has gone again
        EXPECT_TRUE(fake.messageWindows.windows.empty()) << c.what;
    }
    fake.messageWindows.windowsLeft = -1;
    fake.instance.held.clear();
    Start();
    EXPECT_EQ(program->ExitCode(), 0);
}

TEST_F(ProgramStart, OtherParametersStartNormally) {
    fake.process.parameters = {"C:\\snapora.exe", "minimize", "/minimized"};
    Start();
    EXPECT_EQ(Main().GetWindowState(), WindowState::Normal);
}

}  // namespace snapora
