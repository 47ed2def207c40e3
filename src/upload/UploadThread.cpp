#include "upload/UploadThread.h"

#include "app/MainForm.h"
#include "base/TimingLog.h"
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

namespace {

// How a cancelled run leaves its steps; never shown.
struct RunCancelled {};

// The picture's bytes on their way into the request body: a cancel stops the
// sending at the next block, whatever the connection does.
class CancellableStream final : public ReadStream {
public:
    CancellableStream(std::unique_ptr<ReadStream> inner, const TUploadThread& run)
        : inner_(std::move(inner)), run_(run) {}
    std::uint64_t Size() const override { return inner_->Size(); }
    std::size_t Read(void* buffer, std::size_t count) override {
        if (run_.Cancelled()) throw HttpError("Upload abgebrochen.");
        return inner_->Read(buffer, count);
    }

private:
    std::unique_ptr<ReadStream> inner_;
    const TUploadThread& run_;
};

}  // namespace

void TUploadThread::ThrowIfCancelled() const {
    if (cancelled_) throw RunCancelled{};
}

void TUploadThread::Synchronize(const std::function<void()>& fn) {
    // Checked on the UI thread, where a cancel happens: once it has, no effect follows.
    context_.app.Synchronize([&] {
        ThrowIfCancelled();
        fn();
    });
}

void TUploadThread::Status(const std::string& text) {
    // Shown when the UI thread comes to it, while the run goes on; nothing
    // after a cancel. The run's end comes after it on the UI thread, so the
    // run is still there then.
    ThrowIfCancelled();
    context_.app.Post([this, text] {
        if (!cancelled_) context_.windows.main->ShowStatus(text);
    });
}

void TUploadThread::Execute() {
    try {
        CompressScreenshot();
        ThrowIfCancelled();
        if (context_.state.OutputMode != omUpload)
            SaveScreenshotLocally();
        else
            UploadScreenshot();
    } catch (...) {
        // A failed step ends the run quietly; the status keeps its last text.
    }
    if (cancelled_) context_.platform.files.Delete(context_.state.TempFileName);
    EndRun();
    ended_ = true;
}

void TUploadThread::EndRun() {
    try {
        context_.app.Synchronize([this] {
            context_.windows.main->UploadThreadEnded(cancelled_);
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
    auto started = TimingLog::Clock::now();
    if (state.OutputMode == omSaveLocally) {
        jpeg = EncodeJpeg(state.ScreenshotBitmap, LocalSaveQuality);
        TimingLog::Stage("compression:q95", started);
    } else {
        Status("Screenshot wird komprimiert...");
        started = TimingLog::Clock::now();
        auto status = [this](const std::string& s) { Status(s); };
        CompressionOutcome outcome = CompressForUpload(state.ScreenshotBitmap, status);
        TimingLog::Stage("compression:q" + std::to_string(outcome.quality) + ":rungs" + std::to_string(outcome.passes),
                         started);
        jpeg = std::move(outcome.jpeg);
    }
    ThrowIfCancelled();
    started = TimingLog::Clock::now();
    if (!files.WriteFile(state.TempFileName, jpeg))
        throw std::runtime_error("Die Datei " + state.TempFileName + " kann nicht geschrieben werden.");
    TimingLog::Stage("tempfile", started);
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

    ThrowIfCancelled();
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
        auto file = std::make_unique<CancellableStream>(files.OpenForReading(state.TempFileName), *this);
        auto form = BuildUploadForm(context_.platform.clock.Now(), state.TempFileName, std::move(file), description,
                                    sessionName, account);
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
                // The address is known: a rename from now on goes out at once,
                // also a retry after the waiting name's request failed.
                state.UploadDone = true;
                // The screenshot is on the service, whatever becomes of a waiting name.
                std::string name = ScreenshotNameFromAddress(answer.address, context_.endpoints.DomainSuffix());
                context_.windows.history->RenameLatestScreenshot(name, answer.address);
                if (!state.PendingNewName.empty()) {
                    main.RenameScreenshot();  // it shows the new address itself
                    ThrowIfCancelled();       // Escape while it waited: nothing more is shown
                } else {
                    main.DisplayURLEdit.SetText(answer.address);
                    if (context_.windows.settings->CopyURLCheckBox.Checked())
                        context_.platform.clipboard.SetText(main.DisplayURLEdit.Text());
                    TimingLog::Stage("address", main.CaptureStarted());
                }
                main.ShowStatus("Screenshot wurde erfolgreich hochgeladen.");
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
                context_.app.MessageBox("Beim Hochladen ist folgender Fehler aufgetreten: " + ReadableReply(answer.text));
            });
            break;
    }
}

}  // namespace snapora
