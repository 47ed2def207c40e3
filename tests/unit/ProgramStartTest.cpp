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

TEST_F(ProgramStart, OtherParametersStartNormally) {
    fake.process.parameters = {"C:\\snapora.exe", "minimize", "/minimized"};
    Start();
    EXPECT_EQ(Main().GetWindowState(), WindowState::Normal);
}

}  // namespace snapora
