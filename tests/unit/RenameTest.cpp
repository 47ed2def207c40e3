// Renaming an uploaded screenshot, at once or after the upload.

#include "ProgramFixture.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

class Rename : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Main().Show();
        fake.desktop.monitors = {{0, 0, 320, 200}};
    }
    void Upload() {
        std::intptr_t r;
        Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    }
    std::string Address(const std::string& name) { return "http://" SNAPORA_SERVICE_HOST "/" + name; }
    TSettingsDialogForm& Settings() { return *program->Context().windows.settings; }
    TScreenshotListForm& History() { return *program->Context().windows.history; }
    bool RenameControlsVisible() {
        return Main().RenameLabel.Visible() && Main().RenameEdit.Visible() && Main().RenameButton.Visible();
    }
};

TEST_F(Rename, EmptyNameDoesNothing) {
    Upload();
    Main().WaitForWorker();
    Main().RenameEdit.SetText("");
    Main().RenameButton.Click();
    EXPECT_EQ(http.SentRequests().size(), 1u);
    EXPECT_TRUE(RenameControlsVisible());
}

TEST_F(Rename, AfterTheUploadTheRenameGoesOutAtOnce) {
    Settings().CopyURLCheckBox.SetChecked(true);
    Settings().UsernameEdit.SetText("anna");
    http.Reply("ok|4.2|" + Address("s1"));
    Upload();
    Main().WaitForWorker();
    http.Reply(Address("Mein Bild"));
    Main().RenameEdit.SetText("Mein Bild");
    Main().RenameButton.Click();

    auto sent = http.SentRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].path, "/rename.php");
    EXPECT_NE(sent[1].body.find("name=\"filename\"\r\n\r\ns1\r\n"), std::string::npos);
    EXPECT_NE(sent[1].body.find("name=\"newfilename\"\r\n\r\nMein Bild\r\n"), std::string::npos);
    EXPECT_NE(sent[1].body.find("name=\"username\"\r\n\r\nanna\r\n"), std::string::npos);
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde umbenannt.");
    EXPECT_EQ(Main().DisplayURLEdit.Text(), Address("Mein Bild"));
    EXPECT_EQ(State().ScreenshotURL, Address("Mein Bild"));
    EXPECT_TRUE(Main().DisplayURLEdit.Focused());
    EXPECT_FALSE(RenameControlsVisible());
    EXPECT_EQ(History().Names().front(), "Mein Bild");
    EXPECT_EQ(fake.clipboard.texts.back(), Address("Mein Bild"));
    EXPECT_EQ(State().PendingNewName, "");
    EXPECT_TRUE(State().ReadyForCapture);
}

TEST_F(Rename, RefusalShowsTheMessageAndKeepsTheOldAddress) {
    Settings().CopyURLCheckBox.SetChecked(true);
    Upload();
    Main().WaitForWorker();
    std::string old = Main().DisplayURLEdit.Text();
    for (std::string reply : {"Name vergeben", "HTTP://snapora/x"}) {
        http.Reply(reply);
        Main().RenameEdit.SetText("neu");
        Main().RenameButton.Click();
        EXPECT_EQ(backend.Messages.back().text, "Fehler beim Umbenennen: " + reply);
        EXPECT_EQ(Main().DisplayURLEdit.Text(), old);
        EXPECT_EQ(Main().Label1.Caption(), "");
        EXPECT_TRUE(RenameControlsVisible());
        EXPECT_TRUE(Main().RenameEdit.Focused());
        EXPECT_EQ(fake.clipboard.texts.back(), old);
    }
}

TEST_F(Rename, NameTypedDuringTheUploadIsSentAfterIt) {
    http.HoldNext();
    http.Reply("ok|4.2|" + Address("s1"));
    http.Reply(Address("wichtig"));
    Upload();
    WaitUntilHeld();
    Main().RenameEdit.SetText("wichtig");
    Main().RenameButton.Click();
    EXPECT_FALSE(RenameControlsVisible());
    EXPECT_EQ(http.SentRequests().size(), 1u);  // it waits for the address
    http.Release();
    Main().WaitForWorker();
    auto sent = http.SentRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].path, "/rename.php");
    EXPECT_EQ(Main().DisplayURLEdit.Text(), Address("wichtig"));
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde erfolgreich hochgeladen.");
    EXPECT_TRUE(State().UploadDone);
    EXPECT_EQ(State().PendingNewName, "");
}

TEST_F(Rename, LostConnectionKeepsTheUploadsAddressInSight) {
    http.HoldNext();
    http.Reply("ok|4.2|" + Address("s1"));
    http.Fail();
    Upload();
    WaitUntilHeld();
    Main().RenameEdit.SetText("weg");
    Main().RenameButton.Click();
    http.Release();
    Main().WaitForWorker();
    EXPECT_EQ(Main().DisplayURLEdit.Text(), Address("s1"));
    EXPECT_TRUE(RenameControlsVisible());
    EXPECT_EQ(State().PendingNewName, "");  // not carried over to the next upload
    EXPECT_TRUE(State().UploadDone);        // the address is known: a retry goes out at once
    EXPECT_TRUE(State().ReadyForCapture);

    http.Fail();  // from the button, the error reaches the general error handler
    Main().RenameEdit.SetText("nochmal");
    EXPECT_THROW(Main().RenameButton.Click(), HttpError);
    EXPECT_TRUE(State().ReadyForCapture);
}

// A name typed for an upload that then fails, is cancelled or refused goes with
// it: the controls come back, the button can't queue it again, and the next
// upload goes out without a rename.
TEST_F(Rename, NameOfAnUnsuccessfulUploadIsDropped) {
    Main().TrayIcon.SetActive(true);  // so that Escape cancels
    enum Outcome { Fails, Escape, TooBig };
    for (Outcome outcome : {Fails, Escape, TooBig}) {
        http.HoldNext();
        if (outcome == Fails) http.Fail();
        if (outcome == TooBig) http.Reply("toobig");
        Upload();
        WaitUntilHeld();
        Main().RenameEdit.SetText("privat");
        Main().RenameButton.Click();
        EXPECT_FALSE(RenameControlsVisible());
        if (outcome == Escape)
            Main().KeyDown(0x1B, ssNone);
        else
            http.Release();
        Main().WaitForWorker();
        EXPECT_EQ(State().PendingNewName, "") << outcome;
        EXPECT_TRUE(RenameControlsVisible()) << outcome;

        size_t requests = http.SentRequests().size();
        Main().RenameEdit.SetText("privat");
        Main().RenameButton.Click();
        EXPECT_EQ(http.SentRequests().size(), requests) << outcome;
        EXPECT_EQ(State().PendingNewName, "") << outcome;
        Upload();
        Main().WaitForWorker();
        auto sent = http.SentRequests();
        ASSERT_EQ(sent.size(), requests + 1) << outcome;
        EXPECT_EQ(sent.back().path, "/upload.php") << outcome;
    }
}

}  // namespace snapora
