// The main window's start, closing, showing and link handlers.

#include "app/MainForm.h"

#include "app/NewSessionForm.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

namespace {
constexpr unsigned VK_SNAPSHOT_ = 0x2C;
constexpr std::uint16_t VK_ESCAPE_ = 0x1B;
constexpr std::uint16_t VK_F10_ = 0x79;
}  // namespace

std::string MainCaption(const Application& app) { return app.Title + " " + ProgramVersion; }

void TMainForm::FormCreate() {
    state_.ScreenshotBitmap = Bitmap();
    state_.PendingNewName.clear();
    state_.UploadTotal = 0;
    state_.TriggeredFromMenu = false;

    // Print and Shift+Print for the whole system; if another program holds
    // them, the alternative shortcut and the tray menu still work.
    HotKeys& keys = context_.platform.hotKeys;
    keys.Register(Handle(), HotKeyPrint, 0, VK_SNAPSHOT_);
    keys.Register(Handle(), HotKeyShiftPrint, MOD_SHIFT_, VK_SNAPSHOT_);

    DonateButton.SetTop(SettingsButton.Top() + SettingsButton.Height() / 2 - DonateButton.Height() / 2);

    // Progress arises on whichever thread sends; it is shown on this one,
    // without holding the sending up. The end of sending is waited for: it
    // asks whether the connection is still there.
    HttpClient& http = IdHTTP1();
    http.OnWorkBegin = [this](WorkMode mode, std::int64_t total) {
        App().Post([this, mode, total] { IdHTTP1WorkBegin(mode, total); });
    };
    http.OnWork = [this](WorkMode mode, std::int64_t count) { App().Post([this, mode, count] { IdHTTP1Work(mode, count); }); };
    http.OnWorkEnd = [this](WorkMode mode) { App().Synchronize([&] { IdHTTP1WorkEnd(mode); }); };
}

void TMainForm::FormCloseQuery(bool& canClose) {
    // With the tray icon the program lives on in the notification area.
    canClose = !TrayIconActive();
    if (!canClose) Hide();
}

void TMainForm::FormClose() { SaveSettings(); }

void TMainForm::FormDestroy() {
    // A running upload fails at once; its worker must be gone before the windows are.
    IdHTTP1().Disconnect();
    WaitForWorker();
    IdHTTP1().OnWorkBegin = nullptr;
    IdHTTP1().OnWork = nullptr;
    IdHTTP1().OnWorkEnd = nullptr;
    context_.platform.hotKeys.Unregister(Handle(), HotKeyPrint);
    context_.platform.hotKeys.Unregister(Handle(), HotKeyShiftPrint);
}

std::intptr_t TMainForm::WMQueryEndSession() {
    bool canClose = true;
    FormCloseQuery(canClose);
    FormClose();
    context_.platform.process.ExitNow(0);
    return canClose ? 1 : 0;
}

void TMainForm::FormKeyDown(std::uint16_t& key, unsigned shift) {
    if (key == VK_F10_) {
        key = 0;
        PopupExitClick();
    } else if (key == VK_ESCAPE_) {
        key = 0;
        if (!TrayIconActive() || state_.ReadyForCapture) {
            Close();
        } else {
            // Without a running worker the gate is held by a capture or a rename
            // further down this thread's stack: it opens the gate as it returns,
            // and no second capture may start inside it meanwhile.
            bool heldHere = !WorkerRunning();
            CancelUpload();
            FormFirstShow();
            captureCancelled_ = true;
            if (heldHere) state_.ReadyForCapture = false;
            ShowStatus("Upload abgebrochen.");
        }
    }
}

void TMainForm::PopupShowClick() {
    if (Visible()) {
        Windows& w = context_.windows;
        bool dialogOpen = (w.settings && w.settings->Visible()) || (w.editor && w.editor->Visible()) ||
                          (w.session && w.session->Visible());
        if (dialogOpen) return;
        App().Restore();
        Hide();
    } else {
        App().Restore();
        Show();
        BringApplicationForward();
    }
}

void TMainForm::PopupExitClick() {
    FormClose();
    App().Terminate();
}

void TMainForm::ScreenshotListe1Click() {
    if (context_.windows.history) context_.windows.history->Show();
}

void TMainForm::SettingsButtonClick() {
    if (context_.windows.settings) context_.windows.settings->ShowModal();
}

void TMainForm::DonateButtonClick() {
    // A hidden picture still takes clicks on its empty place; they open nothing.
    if (!DonateButton.Visible()) return;
    context_.platform.shell.Open(Handle(), context_.endpoints.ServiceAddress() + "/spenden.htm");
}

void TMainForm::Label5Click() { context_.platform.shell.Open(Handle(), Label5.Caption()); }

void TMainForm::BringApplicationForward() {
    App().BringToFront();
    context_.platform.desktop.ForceForegroundWindow(App().LastActivePopup());
}

}  // namespace snapora
