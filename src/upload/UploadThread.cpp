#include "upload/UploadThread.h"

#include "app/MainForm.h"
#include "history/ScreenshotListForm.h"
#include "imaging/JpegWriter.h"
#include "settings/SettingsDialogForm.h"
#include "upload/Compression.h"
#include "upload/HttpClient.h"
#include "upload/Replies.h"
#include "upload/ServiceRequests.h"

namespace snapora {

std::string NextFreeFileName(const std::function<bool(const std::string&)>& exists, const std::string& prefix,
                             int start, const std::string& suffix) {
    for (int n = start;; ++n) {
        std::string name = prefix + std::to_string(n) + suffix;
        if (!exists(name)) return name;
    }
}

TUploadThread::TUploadThread(ProgramContext& context, HttpClient& http) : context_(context), http_(http) {
    thread_ = std::thread([this] { Execute(); });
}

TUploadThread::~TUploadThread() { WaitFor(); }

void TUploadThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TUploadThread::Synchronize(const std::function<void()>& fn) { context_.app.Synchronize(fn); }

void TUploadThread::Status(const std::string& text) {
    Synchronize([&] { context_.windows.main->ShowStatus(text); });
}

void TUploadThread::Execute() {
    try {
        CompressScreenshot();
        if (context_.state.OutputMode != omUpload)
            SaveScreenshotLocally();
        else
            UploadScreenshot();
    } catch (...) {
        // A failed step ends the run quietly; the status keeps its last text.
    }
    EndRun();
    ended_ = true;
}

void TUploadThread::EndRun() {
    try {
        Synchronize([this] {
            context_.state.ReadyForCapture = true;
            context_.windows.main->LockOptions(false);
            finished_ = true;
        });
    } catch (...) {
        // The program is ending: there is no window left to unlock.
        finished_ = true;
    }
}

void TUploadThread::CompressScreenshot() {
    CaptureState& state = context_.state;
    Files& files = context_.platform.files;
    std::string jpeg;
    if (state.OutputMode == omSaveLocally) {
        jpeg = EncodeJpeg(state.ScreenshotBitmap, LocalSaveQuality);
    } else {
        Status("Screenshot wird komprimiert...");
        auto status = [this](const std::string& s) { Status(s); };
        jpeg = CompressForUpload(state.ScreenshotBitmap, EncodeJpeg, status, /*speculate=*/true).jpeg;
    }
    if (!files.WriteFile(state.TempFileName, jpeg))
        throw std::runtime_error("writing " + state.TempFileName);
}

void TUploadThread::SaveScreenshotLocally() {
    // The settings are controls of the UI thread: read them there.
    bool ask = false;
    std::string directory;
    Synchronize([&] {
        ask = context_.windows.settings->AlwaysAskForDirectoryCheckBox.Checked();
        directory = context_.windows.settings->StandardDirEdit.Text();
    });
    Files& files = context_.platform.files;
    std::string target;
    if (ask) {
        Synchronize([&] {
            TMainForm& main = *context_.windows.main;
            if (!directory.empty() && files.DirectoryExists(directory)) main.SaveDialog1.InitialDir = directory;
            if (main.SaveDialog1.Execute()) target = main.SaveDialog1.FileName;
        });
        if (!target.empty() && files.FileExists(target)) files.Delete(target);  // the dialog asked already
    } else if (!directory.empty() && files.DirectoryExists(directory)) {
        std::string prefix = directory;
        if (prefix.back() != '\\') prefix += '\\';
        target = NextFreeFileName([&](const std::string& p) { return files.FileExists(p); }, prefix + "Screenshot",
                                  1, ".jpg");
    } else {
        Status(directory + " ist kein gültiger Pfad! Speichern fehlgeschlagen.");
    }

    if (!target.empty()) {
        if (files.Move(context_.state.TempFileName, target)) {
            Status("Screenshot wurde unter " + target + " gespeichert.");
            std::string name = target.substr(target.find_last_of("\\/") + 1);
            Synchronize([&] { context_.windows.history->RenameLatestScreenshot(name, target); });
        } else {
            Status("Fehler beim Speichern!");
        }
    }
}

void TUploadThread::UploadScreenshot() {
    CaptureState& state = context_.state;
    Files& files = context_.platform.files;
    Status("Screenshot wird zum Server übertragen...");

    Account account;
    std::string description, sessionName;
    Synchronize([&] {
        account = {context_.windows.settings->UsernameEdit.Text(), context_.windows.settings->PasswordEdit.Text()};
        description = state.Description;
        sessionName = state.SessionName;
    });

    std::string reply;
    {
        // The file is locked while the body exists; it goes in every case.
        struct DeleteTemp {
            Files& files;
            const std::string& path;
            ~DeleteTemp() { files.Delete(path); }
        } deleteTemp{files, state.TempFileName};
        auto form = BuildUploadForm(context_.platform.clock.Now(), state.TempFileName,
                                    files.OpenForReading(state.TempFileName), description, sessionName, account);
        reply = http_.Post(UploadPath, *form);
        form.reset();
    }

    UploadReply answer = ClassifyUploadReply(reply);
    switch (answer.kind) {
        case UploadReply::Kind::Success:
            Synchronize([&] {
                TMainForm& main = *context_.windows.main;
                main.CheckForNewVersion(answer.version);
                state.ScreenshotURL = answer.address;
                if (!state.PendingNewName.empty()) {
                    main.RenameScreenshot();  // it shows the new address itself
                } else {
                    std::string name = ScreenshotNameFromAddress(answer.address, context_.endpoints.DomainSuffix());
                    context_.windows.history->RenameLatestScreenshot(name, answer.address);
                    main.DisplayURLEdit.SetText(answer.address);
                    if (context_.windows.settings->CopyURLCheckBox.Checked())
                        context_.platform.clipboard.SetText(main.DisplayURLEdit.Text());
                }
                main.ShowStatus("Screenshot wurde erfolgreich hochgeladen.");
                state.UploadDone = true;
            });
            break;
        case UploadReply::Kind::TooBig:
            Status("Bild war zu groß.");
            break;
        case UploadReply::Kind::WrongSession:
            Status("Die Session ist bereits ausgelaufen. Bitte legen Sie eine neue Session an!");
            break;
        case UploadReply::Kind::Error:
            Synchronize([&] {
                context_.app.MessageBox("Beim Hochladen ist folgender Fehler aufgetreten: " + answer.text);
            });
            break;
    }
    Synchronize([&] { state.PendingNewName.clear(); });
}

}  // namespace snapora
