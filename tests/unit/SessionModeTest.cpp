// Session mode: the dialog, the login and what the main window shows.

#include "ProgramFixture.h"
#include "app/NewSessionForm.h"

namespace snapora {

class SessionMode : public ProgramTest {
protected:
    TNewSessionForm& Dialog() { return *program->Context().windows.session; }
    // Ticks the box; the dialog gets `name` typed and ends with `result`.
    void Tick(const std::string& name, int result = mrOk) {
        backend.OnModal = [this, name, result](Form& f) {
            if (&f != &Dialog()) return;
            EXPECT_EQ(Dialog().SessionNameEdit.Text(), "");  // emptied at every showing
            EXPECT_TRUE(Dialog().SessionNameEdit.Focused());
            Dialog().SessionNameEdit.TextChangedByUser(name);
            (result == mrOk ? Dialog().Button1 : Dialog().Button2).Click();
        };
        Main().SessionModeCheckBox.SetChecked(true);
    }
};

TEST_F(SessionMode, ConfirmedNameShowsThePageAndTheCaption) {
    http.Reply("ok team-7");
    Tick("  team ");
    auto sent = http.SentRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method + " " + sent[0].path, "GET /loginsession.php?sessionname=team");
    EXPECT_EQ(State().SessionName, "team-7");  // the service's name counts
    EXPECT_EQ(Main().Caption(), "Snapora 4.2   [Session: team-7]");
    EXPECT_TRUE(Main().SessionUrlPanel.Visible());
    EXPECT_EQ(Main().SessionUrlEdit.Text(), "http://" SNAPORA_SERVICE_HOST "/~team-7");
    EXPECT_TRUE(Main().SessionUrlEdit.Focused());

    // Uploads carry the name; the next capture's reset takes it off the caption only.
    Main().Show();
    std::intptr_t r;
    Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    Main().WaitForWorker();
    EXPECT_NE(http.SentRequests().back().body.find("name=\"sessionname\"\r\n\r\nteam-7\r\n"), std::string::npos);
    EXPECT_EQ(Main().Caption(), "Snapora 4.2");
    EXPECT_TRUE(Main().SessionUrlPanel.Visible());

    Main().SessionModeCheckBox.SetChecked(false);
    EXPECT_EQ(State().SessionName, "");
    EXPECT_FALSE(Main().SessionUrlPanel.Visible());
    EXPECT_EQ(Dialog().SessionNameEdit.Text(), "");
}

TEST_F(SessionMode, CancelLeavesTheModeOff) {
    Tick("egal", mrCancel);
    EXPECT_FALSE(Main().SessionModeCheckBox.Checked());
    EXPECT_TRUE(http.SentRequests().empty());
    EXPECT_EQ(Dialog().SessionNameEdit.Text(), "");
}

TEST_F(SessionMode, RepliesWithoutANameOrRefused) {
    http.Reply("ok");
    Tick("x");
    EXPECT_TRUE(Main().SessionModeCheckBox.Checked());
    EXPECT_EQ(State().SessionName, "");
    EXPECT_EQ(Main().Caption(), "Snapora 4.2   [Session: ]");
    EXPECT_EQ(Main().SessionUrlEdit.Text(), "http://" SNAPORA_SERVICE_HOST "/~");
    Main().SessionModeCheckBox.SetChecked(false);

    http.Reply("invalidname");
    Tick("mit leer");
    EXPECT_FALSE(Main().SessionModeCheckBox.Checked());
    EXPECT_EQ(backend.Messages.back().text, "Ungültiger Session-Name!");
    EXPECT_EQ(Main().Caption(), "Snapora 4.2");

    http.Reply("");
    Tick("y");
    EXPECT_TRUE(Main().SessionModeCheckBox.Checked());
    EXPECT_FALSE(Main().SessionUrlPanel.Visible());
    EXPECT_EQ(State().SessionName, "");

    Main().SessionModeCheckBox.SetChecked(false);
    http.Fail();  // a failed request reaches the general handler; the box stays checked
    EXPECT_THROW(Tick("z"), HttpError);
    EXPECT_TRUE(Main().SessionModeCheckBox.Checked());
}

}  // namespace snapora
