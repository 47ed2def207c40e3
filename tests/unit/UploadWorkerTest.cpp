// The worker: the quality ladder, local saves, every upload outcome and the
// main window's progress and cancel.

#include "ProgramFixture.h"

#include <atomic>
#include <future>
#include <set>
#include <tuple>

#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"
#include "upload/Compression.h"
#include "upload/UploadThread.h"

namespace snapora {

TEST(Compression, StartingQualityByWidth) {
    struct Case {
        int width, quality;
    } cases[] = {{1701, 60}, {1700, 90}, {1699, 70}, {1500, 70}, {1499, 80}, {1000, 80},
                 {999, 88},  {500, 88},  {499, 100}, {1, 100},   {7680, 60}};
    for (const Case& c : cases) EXPECT_EQ(StartingQuality(c.width), c.quality) << c.width;
}

TEST(Compression, LadderStepsDownByFourUntilSmallEnough) {
    Bitmap picture(1600, 10);  // starts at 70
    auto run = [&](std::function<std::uint64_t(int)> sizeAt) {
        std::vector<int> tried;
        std::vector<std::string> texts;
        auto outcome = WalkLadder(
            picture,
            [&](const Bitmap&, int q) {
                tried.push_back(q);
                return std::string(sizeAt(q), 'j');
            },
            [&](const std::string& t) { texts.push_back(t); });
        return std::tuple{tried, texts, outcome};
    };

    // Never small enough: 70, 66, ..., 6, 2, and the quality-2 file is kept.
    auto [tried, texts, outcome] = run([](int) { return 400000; });
    std::vector<int> expected;
    for (int q = 70; q >= 2; q -= 4) expected.push_back(q);
    EXPECT_EQ(tried, expected);
    EXPECT_EQ(outcome.quality, 2);
    EXPECT_EQ(outcome.jpeg.size(), 400000u);
    ASSERT_EQ(texts.size(), expected.size() - 1);
    EXPECT_EQ(texts.front(), "Screenshot wird komprimiert... (Qualität herabgesetzt auf: 66%)");
    EXPECT_EQ(texts.back(), "Screenshot wird komprimiert... (Qualität herabgesetzt auf: 2%)");

    // Exactly 307200 bytes is accepted; 307201 is not.
    auto [tried2, texts2, outcome2] = run([](int q) { return q == 70 ? 307201 : 307200; });
    EXPECT_EQ(tried2, (std::vector<int>{70, 66}));
    EXPECT_EQ(outcome2.quality, 66);
    auto [tried3, texts3, outcome3] = run([](int) { return 307200; });
    EXPECT_EQ(tried3, std::vector<int>{70});
    EXPECT_TRUE(texts3.empty());
}

TEST(Compression, LadderFromSixtyEndsAtFour) {
    Bitmap wide(1920, 4);
    std::vector<int> tried;
    WalkLadder(
        wide,
        [&](const Bitmap&, int q) {
            tried.push_back(q);
            return std::string(999999, 'j');
        },
        [](const std::string&) {});
    EXPECT_EQ(tried.front(), 60);
    EXPECT_EQ(tried.back(), 4);
    EXPECT_EQ(tried.size(), 15u);
}

TEST(NextFreeFileName, TakesTheLowestFreeNumber) {
    std::set<std::string> present{"D:\\Bilder\\Screenshot1.jpg", "D:\\Bilder\\Screenshot3.jpg"};
    auto exists = [&](const std::string& p) { return present.count(p) != 0; };
    EXPECT_EQ(NextFreeFileName(exists, "D:\\Bilder\\Screenshot", 1, ".jpg"), "D:\\Bilder\\Screenshot2.jpg");
    EXPECT_EQ(NextFreeFileName(exists, "D:\\Leer\\Screenshot", 1, ".jpg"), "D:\\Leer\\Screenshot1.jpg");
}

class UploadWorker : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Main().Show();
        Main().ActiveWindowCheckBox.SetChecked(false);
        fake.desktop.monitors = {{0, 0, 320, 200}};  // small pictures keep the encoder quick
    }
    TSettingsDialogForm& Settings() { return *program->Context().windows.settings; }
    TScreenshotListForm& History() { return *program->Context().windows.history; }
    std::string Temp() { return fake.files.tempDirectory + "screen.jpg"; }
    void Capture() {
        std::intptr_t r;
        Main().Dispatch(WM_HOTKEY_, 101, 0, r);
        Main().WaitForWorker();
    }
    void ExpectRunEnded() {
        EXPECT_TRUE(State().ReadyForCapture);
        EXPECT_TRUE(Main().SaveOptionsCheckBox.Enabled() && Main().EditCheckBox.Enabled());
    }
};

TEST_F(UploadWorker, SuccessShowsTheAddressAndCopiesIt) {
    Settings().CopyURLCheckBox.SetChecked(true);
    http.Reply("ok|4.2|http://" SNAPORA_SERVICE_HOST "/abc");
    Capture();
    EXPECT_EQ(Main().DisplayURLEdit.Text(), "http://" SNAPORA_SERVICE_HOST "/abc");
    EXPECT_EQ(State().ScreenshotURL, "http://" SNAPORA_SERVICE_HOST "/abc");
    EXPECT_EQ(fake.clipboard.texts, std::vector<std::string>{Main().DisplayURLEdit.Text()});
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde erfolgreich hochgeladen.");
    EXPECT_TRUE(State().UploadDone);
    EXPECT_FALSE(fake.files.FileExists(Temp()));
    EXPECT_EQ(History().Names().front(), "abc");
    EXPECT_EQ(History().Targets().front(), "http://" SNAPORA_SERVICE_HOST "/abc");
    ExpectRunEnded();

    auto sent = http.SentRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].path, "/upload.php");
    EXPECT_NE(sent[0].body.find("filename=\"" + Temp() + "\""), std::string::npos);
    EXPECT_NE(sent[0].body.find("\xFF\xD8\xFF"), std::string::npos);  // a JPEG rode along
}

TEST_F(UploadWorker, WithoutCopyOptionTheClipboardStaysAlone) {
    Capture();
    EXPECT_TRUE(fake.clipboard.texts.empty());
}

TEST_F(UploadWorker, RefusalsShowTheirTexts) {
    struct Case {
        std::string reply, status;
    } cases[] = {
        {"toobig", "Bild war zu groß."},
        {"wrongsession", "Die Session ist bereits ausgelaufen. Bitte legen Sie eine neue Session an!"},
    };
    for (const Case& c : cases) {
        http.Reply(c.reply);
        State().PendingNewName = "wartet";
        Capture();
        EXPECT_EQ(Main().Label1.Caption(), c.status);
        EXPECT_FALSE(State().UploadDone);
        EXPECT_EQ(State().PendingNewName, "");  // an answer came: the waiting name goes
        EXPECT_TRUE(backend.Messages.empty());
        ExpectRunEnded();
    }
}

TEST_F(UploadWorker, AnyOtherReplyIsShownAsAnError) {
    http.Reply("toobig ");
    Capture();
    ASSERT_EQ(backend.Messages.size(), 1u);
    EXPECT_EQ(backend.Messages[0].text, "Beim Hochladen ist folgender Fehler aufgetreten: toobig ");
    EXPECT_FALSE(State().UploadDone);
    ExpectRunEnded();
}

TEST_F(UploadWorker, FailedRequestEndsQuietly) {
    http.Fail();
    State().PendingNewName = "bleibt";
    Capture();
    EXPECT_EQ(Main().Label1.Caption(), "Warte auf Antwort vom Server...");  // the last text stays
    EXPECT_TRUE(backend.Messages.empty());
    EXPECT_FALSE(State().UploadDone);
    EXPECT_FALSE(fake.files.FileExists(Temp()));
    EXPECT_EQ(State().PendingNewName, "");  // it belonged to this upload
    EXPECT_TRUE(Main().RenameButton.Visible());
    ExpectRunEnded();
}

TEST_F(UploadWorker, NewerVersionRaisesTheNotice) {
    for (std::string version : {"4.20", "4.1", ""}) {
        Main().Label4.SetCaption("x");
        http.Reply("ok|" + version + "|http://" SNAPORA_SERVICE_HOST "/v");
        Capture();
        EXPECT_EQ(Main().Label4.Caption(), "Neue Version verfügbar: " + version);
        EXPECT_EQ(Main().Label5.Caption(), "http://" SNAPORA_WEBSITE_HOST "/download.htm");
        EXPECT_EQ(Main().Label5.GetFont().colour, 0x0000FFu);
    }
}

TEST_F(UploadWorker, SameVersionLeavesTheLabels) {
    std::string credits = Main().Label4.Caption();
    http.Reply("ok|4.2|http://" SNAPORA_SERVICE_HOST "/v");
    Capture();
    EXPECT_EQ(Main().Label4.Caption(), credits);
    EXPECT_EQ(Main().Label5.Caption(), "http://" SNAPORA_WEBSITE_HOST);
}

TEST_F(UploadWorker, LocalSaveFillsTheGapsInTheStandardDirectory) {
    Main().SaveLocalCheckBox.SetChecked(true);
    Settings().AlwaysAskForDirectoryCheckBox.SetChecked(false);
    fake.files.directories.insert("D:\\Bilder");
    fake.files.files["D:\\Bilder\\Screenshot1.jpg"] = "alt";
    for (std::string dir : {"D:\\Bilder", "D:\\Bilder\\"}) {
        Settings().StandardDirEdit.SetText(dir);
        Capture();
    }
    EXPECT_TRUE(fake.files.FileExists("D:\\Bilder\\Screenshot2.jpg"));
    EXPECT_TRUE(fake.files.FileExists("D:\\Bilder\\Screenshot3.jpg"));
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde unter D:\\Bilder\\Screenshot3.jpg gespeichert.");
    EXPECT_EQ(History().Names().front(), "Screenshot3.jpg");
    EXPECT_EQ(History().Targets().front(), "D:\\Bilder\\Screenshot3.jpg");
    EXPECT_TRUE(http.SentRequests().empty());
    EXPECT_FALSE(fake.files.FileExists(Temp()));
    ExpectRunEnded();
}

TEST_F(UploadWorker, LocalSaveIntoAMissingDirectoryFails) {
    Main().SaveLocalCheckBox.SetChecked(true);
    Settings().AlwaysAskForDirectoryCheckBox.SetChecked(false);
    for (std::string dir : {"", "Q:\\fehlt"}) {
        Settings().StandardDirEdit.SetText(dir);
        Capture();
        EXPECT_EQ(Main().Label1.Caption(), dir + " ist kein gültiger Pfad! Speichern fehlgeschlagen.");
        EXPECT_TRUE(fake.files.FileExists(Temp()));  // the picture waits in the temp file
        ExpectRunEnded();
    }
}

TEST_F(UploadWorker, LocalSaveThroughTheDialog) {
    Main().SaveLocalCheckBox.SetChecked(true);
    fake.files.directories.insert("D:\\Bilder");
    Settings().StandardDirEdit.SetText("D:\\Bilder");
    fake.files.files["E:\\x.jpg"] = "overwritten";
    fake.dialogs.answer = "E:\\x.jpg";
    Capture();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].initialDir, "D:\\Bilder");
    EXPECT_EQ(fake.dialogs.shown[0].defaultExt, "jpg");
    EXPECT_EQ(fake.dialogs.shown[0].filter, "JPEG-Dateien (*.jpg)|*.jpg");
    EXPECT_NE(fake.files.files["E:\\x.jpg"], "overwritten");
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde unter E:\\x.jpg gespeichert.");

    fake.dialogs.answer.reset();  // cancelled: nothing saved, nothing said
    Capture();
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wird bearbeitet...");
    EXPECT_TRUE(fake.files.FileExists(Temp()));
    ExpectRunEnded();
}

TEST_F(UploadWorker, LocalSaveUsesQuality95InOnePass) {
    Main().SaveLocalCheckBox.SetChecked(true);
    Settings().AlwaysAskForDirectoryCheckBox.SetChecked(false);
    fake.files.directories.insert("D:\\Bilder");
    Settings().StandardDirEdit.SetText("D:\\Bilder");
    Capture();
    const std::string& jpeg = fake.files.files["D:\\Bilder\\Screenshot1.jpg"];
    // Quality 95 scales the standard luminance table's first entry (16) to 2.
    size_t dqt = jpeg.find("\xFF\xDB");
    ASSERT_NE(dqt, std::string::npos);
    EXPECT_EQ(std::uint8_t(jpeg[dqt + 5]), 2);
}

TEST_F(UploadWorker, FailedMoveSaysSo) {
    Main().SaveLocalCheckBox.SetChecked(true);
    fake.dialogs.answer = "E:\\gesperrt.jpg";
    fake.files.moveFails = true;
    Capture();
    EXPECT_EQ(Main().Label1.Caption(), "Fehler beim Speichern!");
    EXPECT_EQ(History().Names().front(), "Neuer Screenshot");
    ExpectRunEnded();
}

TEST_F(UploadWorker, ProgressMovesTheBarInQuarters) {
    std::vector<int> positions;
    State().UploadTotal = 0;
    Main().IdHTTP1WorkBegin(wmWrite, 200000);
    for (int sent = 50000; sent <= 200000; sent += 50000) {
        Main().IdHTTP1Work(wmWrite, sent);
        positions.push_back(Main().ProgressBar1.Position());
    }
    EXPECT_EQ(State().UploadTotal, 200000);
    EXPECT_EQ(positions, (std::vector<int>{25, 50, 75, 100}));
    Main().IdHTTP1Work(wmRead, 1);  // receiving is not shown
    EXPECT_EQ(Main().ProgressBar1.Position(), 100);
    Main().IdHTTP1WorkBegin(wmWrite, 8);
    Main().IdHTTP1Work(wmWrite, 3);  // 37.5 rounds to 38, 62.5 to 62
    EXPECT_EQ(Main().ProgressBar1.Position(), 38);
    Main().IdHTTP1Work(wmWrite, 5);
    EXPECT_EQ(Main().ProgressBar1.Position(), 62);
}

TEST_F(UploadWorker, WaitingTextOnlyWhileConnected) {
    Main().IdHTTP1WorkEnd(wmWrite);
    EXPECT_EQ(Main().Label1.Caption(), "Warte auf Antwort vom Server...");
    Main().Label1.SetCaption("Upload abgebrochen.");
    Main().ProgressBar1.SetPosition(40);
    http.Disconnect();
    Main().IdHTTP1WorkEnd(wmWrite);
    EXPECT_EQ(Main().Label1.Caption(), "Upload abgebrochen.");
    EXPECT_EQ(Main().ProgressBar1.Position(), 0);  // sending broke off: no half-full bar stays
}

TEST_F(UploadWorker, EscapeWithTrayCancelsTheUpload) {
    Main().TrayIcon.SetActive(true);
    http.HoldNext();
    std::intptr_t r;
    Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    WaitUntilHeld();
    EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
    EXPECT_EQ(Main().Label1.Caption(), "Upload abgebrochen.");
    EXPECT_EQ(Main().Notebook1.PageIndex(), 0);
    EXPECT_FALSE(backend.Terminated());
    Main().WaitForWorker();
    EXPECT_EQ(Main().Label1.Caption(), "Upload abgebrochen.");  // the failed worker adds nothing
    EXPECT_FALSE(fake.files.FileExists(Temp()));
    EXPECT_FALSE(State().UploadDone);
    ExpectRunEnded();
}

// Escape stops the capture wherever it is, from the grab to the rename that
// waits for the address: nothing is sent, shown, saved or copied afterwards,
// the temporary file goes, the options unlock.
TEST_F(UploadWorker, EscapeStopsTheRunAtEveryStage) {
    Main().TrayIcon.SetActive(true);
    Settings().CopyURLCheckBox.SetChecked(true);
    Settings().AlwaysAskForDirectoryCheckBox.SetChecked(false);
    fake.files.directories.insert("D:\\Bilder");
    Settings().StandardDirEdit.SetText("D:\\Bilder");
    http.progressStep = 100;
    // Presses Escape on the UI thread the moment a control changes as the
    // stage shows, while the worker waits for that change: it lands in the stage.
    struct EscapeOn : ControlPeer {
        TMainForm& main;
        Change change;
        std::function<bool()> reached;
        bool pressed = false;
        EscapeOn(TMainForm& m, Change c, std::function<bool()> r) : main(m), change(c), reached(std::move(r)) {}
        std::function<void()> then;  // after the key
        void Update(Change what) override {
            if (what != change || pressed || !reached()) return;
            pressed = true;
            EXPECT_TRUE(main.KeyDown(0x1B, ssNone));
            if (then) then();
        }
        NativeWindow Handle() const override { return 0; }
    };
    enum Stage { Grabbing, AfterEditor, Compressing, Saving, Sending, Waiting, Renaming };
    struct Case {
        Stage stage;
        const char* status;   // Escape as this status shows
        bool listed;          // the screenshot reached the history
        bool uploaded;        // the upload had its answer already
    } cases[] = {
        {Grabbing, "Screenshot wird bearbeitet...", false, false},
        {AfterEditor, nullptr, false, false},
        {Compressing, "Screenshot wird komprimiert...", true, false},
        {Saving, nullptr, true, false},
        {Sending, nullptr, true, false},
        {Waiting, nullptr, true, false},
        {Renaming, "Screenshot umbenennen...", true, true},
    };
    for (const Case& c : cases) {
        Stage stage = c.stage;
        Main().SaveLocalCheckBox.SetChecked(stage == Saving);
        Main().EditCheckBox.SetChecked(stage == AfterEditor);
        backend.OnModal = [&](Form&) {
            program->Context().windows.editor->UploadButton.Click();
            EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));  // before the road goes on
        };
        std::promise<void> escaped;
        std::shared_future<void> escapedNow = escaped.get_future().share();
        std::atomic<bool> writing{false};
        fake.files.beforeWrite = [&](const std::string&) {
            if (stage != Saving) return;
            writing = true;
            escapedNow.wait();
        };
        // The progress is shown without holding the sending up: it waits for the key.
        http.afterProgress = [&] {
            if (stage == Sending) escapedNow.wait();
        };
        std::size_t listedBefore = History().Names().size();
        EscapeOn status(Main(), Change::Text, [&] { return c.status && Main().Label1.Caption() == c.status; });
        EscapeOn sending(Main(), Change::State, [&] { return Main().ProgressBar1.Position() > 0; });
        Main().Label1.AttachPeer(&status);
        if (stage == Sending) {
            Main().ProgressBar1.AttachPeer(&sending);
            sending.then = [&] { escaped.set_value(); };
        }
        if (stage == Waiting || stage == Renaming) http.HoldNext();
        std::intptr_t r;
        Main().Dispatch(WM_HOTKEY_, 101, 0, r);
        if (stage == Saving) {
            PumpUntil([&] { return writing.load(); });
            EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
            escaped.set_value();
        }
        if (stage == Waiting) {
            WaitUntilHeld();
            EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
        }
        if (stage == Renaming) {  // a name typed during the upload waits for its address
            WaitUntilHeld();
            Main().RenameEdit.SetText("umbenannt");
            Main().RenameButton.Click();
            http.Release();
        }
        Main().WaitForWorker();
        Main().Label1.AttachPeer(nullptr);
        Main().ProgressBar1.AttachPeer(nullptr);
        EXPECT_TRUE(!c.status || status.pressed) << stage;
        EXPECT_TRUE(stage != Sending || sending.pressed) << stage;
        EXPECT_EQ(Main().Label1.Caption(), "Upload abgebrochen.") << stage;
        EXPECT_EQ(Main().DisplayURLEdit.Text(), "") << stage;
        EXPECT_TRUE(fake.clipboard.texts.empty()) << stage;
        EXPECT_EQ(State().UploadDone, c.uploaded) << stage;
        EXPECT_FALSE(fake.files.FileExists(Temp())) << stage;
        EXPECT_FALSE(fake.files.FileExists("D:\\Bilder\\Screenshot1.jpg")) << stage;
        ASSERT_EQ(History().Names().size(), listedBefore + (c.listed ? 1 : 0)) << stage;
        if (c.listed) {
            EXPECT_EQ(History().Names().front(), c.uploaded ? "s1" : "Neuer Screenshot") << stage;
        }
        ExpectRunEnded();
    }
    // Only the two uploads that were on the wire reached the service; no rename followed.
    auto sent = http.SentRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].path, "/upload.php");
    EXPECT_EQ(sent[1].path, "/upload.php");

    // The next capture goes its whole way again.
    fake.files.beforeWrite = nullptr;  // they saw the loop's locals
    http.afterProgress = nullptr;
    backend.OnModal = nullptr;
    Main().EditCheckBox.SetChecked(false);
    Capture();
    EXPECT_EQ(Main().Label1.Caption(), "Screenshot wurde erfolgreich hochgeladen.");
    EXPECT_EQ(http.SentRequests().size(), 3u);
}

TEST_F(UploadWorker, EscapeWithTrayWhileIdleHidesTheWindow) {
    Main().TrayIcon.SetActive(true);
    EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
    EXPECT_FALSE(Main().Visible());
    EXPECT_FALSE(backend.Terminated());
}

TEST_F(UploadWorker, EscapeWithoutTrayEndsEvenDuringAnUpload) {
    http.HoldNext();
    std::intptr_t r;
    Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    WaitUntilHeld();
    EXPECT_TRUE(Main().KeyDown(0x1B, ssNone));
    EXPECT_TRUE(backend.Terminated());
    program.reset();  // ending cancels the upload and waits for its worker
}

}  // namespace snapora
