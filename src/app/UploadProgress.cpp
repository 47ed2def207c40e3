// The main window's side of an upload: progress, the version notice, the
// worker's start and end, and cancelling with Escape.

#include "app/MainForm.h"

#include <chrono>
#include <thread>

#include "base/Rounding.h"
#include "history/ScreenshotListForm.h"
#include "upload/UploadThread.h"

namespace snapora {

TMainForm::~TMainForm() = default;

void TMainForm::IdHTTP1WorkBegin(WorkMode mode, std::int64_t total) {
    if (mode != wmWrite) return;
    state_.UploadTotal = std::int32_t(total);
    App().ProcessMessages();
}

void TMainForm::IdHTTP1Work(WorkMode mode, std::int64_t count) {
    if (mode != wmWrite || state_.UploadTotal <= 0) return;
    ProgressBar1.SetPosition(int(RoundHalfEven(double(count) / state_.UploadTotal * 100)));
    App().ProcessMessages();
}

void TMainForm::IdHTTP1WorkEnd(WorkMode mode) {
    if (mode != wmWrite) return;
    if (IdHTTP1().Connected())
        ShowStatus("Warte auf Antwort vom Server...");
    else
        ProgressBar1.SetPosition(0);  // the sending broke off: nothing half-sent stays on show
}

void TMainForm::CheckForNewVersion(const std::string& newestVersion) {
    if (newestVersion == ProgramVersion) return;
    Label4.SetCaption("Neue Version verfügbar: " + newestVersion);
    Label5.SetCaption(context_.endpoints.WebsiteAddress() + "/download.htm");
    Font font = Label5.GetFont();
    font.colour = clRed;
    Label5.SetFont(font);
}

void TMainForm::StartUploadThread() {
    worker_.reset();  // the previous one has finished: joining it returns at once
    worker_ = std::make_unique<TUploadThread>(context_, IdHTTP1());
}

bool TMainForm::WorkerRunning() const { return worker_ && !worker_->Finished(); }

void TMainForm::UploadThreadEnded(bool cancelled) {
    // A typed name belongs to this upload: it never rides along with another.
    state_.PendingNewName.clear();
    if (state_.OutputMode == omUpload && !state_.UploadDone && !cancelled) ShowRenameControls(true);
    state_.ReadyForCapture = true;
    LockOptions(false);
    context_.windows.history->StartPacking();  // whatever became of the worker's compression
}

void TMainForm::CancelUpload() {
    // The worker stops at its next step; a request on the wire fails at once.
    if (worker_) worker_->Cancel();
    IdHTTP1().Disconnect();
}

bool TMainForm::UploadWaitsForName() const {
    return state_.OutputMode == omUpload && WorkerRunning() && !worker_->Cancelled();
}

void TMainForm::WaitForWorker() {
    if (!worker_) return;
    // The worker may still ask this thread for a last effect: keep serving it.
    while (!worker_->Ended()) {
        App().ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    worker_->WaitFor();
}

}  // namespace snapora
