// The capture road: from a trigger through the grab and the active-window cut
// to the hand-over of the finished picture.

#include "app/MainForm.h"

#include <algorithm>
#include <utility>

#include "app/ScreenshotName.h"
#include "editor/ImageEditorForm.h"
#include "base/ScopeExit.h"
#include "history/ScreenshotListForm.h"
#include "imaging/Canvas.h"

namespace snapora {

void TMainForm::WMHotKey(int id) {
    if (id == HotKeyPrint) {
        HotKeyControl1HotKey();
    } else if (id == HotKeyShiftPrint) {
        // The whole capture, a modal editor included, runs inside this call,
        // so the forced value holds for all of it, and no longer, even when it fails.
        ScopeExit restore([this] { state_.ActiveWindowOnly = ActiveWindowCheckBox.Checked(); });
        state_.ActiveWindowOnly = true;
        HotKeyControl1HotKey();
    }
}

void TMainForm::Screenshotauslsen1Click() {
    ScopeExit restore([this] { state_.TriggeredFromMenu = false; });
    state_.TriggeredFromMenu = true;
    HotKeyControl1HotKey();
}

void TMainForm::HotKeyControl1HotKey() {
    // A capture or upload is running, or a cancelled worker is still finishing
    // with the picture and the temporary file.
    if (!state_.ReadyForCapture || WorkerRunning()) return;
    FormFirstShow();
    state_.ReadyForCapture = false;
    Capture(true);
}

void TMainForm::ActiveWindowCheckBoxClick() { state_.ActiveWindowOnly = ActiveWindowCheckBox.Checked(); }

void TMainForm::FormFirstShow() {
    SetCaption(MainCaption(App()));
    state_.ReadyForCapture = true;
    captureCancelled_ = false;  // every capture starts here
    state_.PendingNewName.clear();
    Notebook1.SetPageIndex(0);
    Label1.SetCaption("");
    ProgressBar1.SetPosition(0);
    ProgressBar1.Show();
    RenameEdit.SetText("");
    DisplayURLEdit.SetText("");
    ShowRenameControls(true);
    LockOptions(false);
}

void TMainForm::ShowStatus(const std::string& text) {
    Label1.SetCaption(text);
    App().ProcessMessages();  // repaint now, even if the caller blocks next
}

void TMainForm::LockOptions(bool locked) {
    for (TCheckBox* box :
         {&EditCheckBox, &ActiveWindowCheckBox, &SaveLocalCheckBox, &SessionModeCheckBox, &SaveOptionsCheckBox})
        box->SetEnabled(!locked);
}

void TMainForm::Screenshot() {
    // Span every monitor horizontally; vertically the primary screen's height.
    int x0 = 0, x1 = 0;
    for (const Rect& monitor : context_.platform.desktop.Monitors()) {
        x0 = std::min(x0, monitor.left);
        x1 = std::max(x1, monitor.right);
    }
    int height = context_.platform.desktop.PrimaryScreenSize().height;
    grabLeft_ = x0;
    context_.platform.desktop.Grab(Rect{x0, 0, x1, height}, state_.ScreenshotBitmap);
}

Rect TMainForm::ActiveWindowArea(Rect r, int grabLeft) const {
    // A maximized window reaches past its monitor's edges by its frame on every
    // side; take the frame off. Measured against the monitor the window is on,
    // which for the primary monitor is the screen origin.
    Rect monitor{0, 0, 0, 0};
    Point centre{r.left + r.Width() / 2, r.top + r.Height() / 2};
    for (const Rect& m : context_.platform.desktop.Monitors())
        if (m.Contains(centre)) monitor = m;
    Rect local = r.Offset(-monitor.left, -monitor.top);
    if (local.left < 0) {
        local.right += local.left;
        local.bottom += local.top;
        local.left = 0;
        local.top = 0;
    }
    // Screen coordinates to the grab's pixel coordinates.
    return local.Offset(monitor.left - grabLeft, monitor.top);
}

void TMainForm::CutToActiveWindow(const Rect& windowRect, int grabLeft) {
    Rect r = ActiveWindowArea(windowRect, grabLeft);
    int w = std::max(0, r.Width()), h = std::max(0, r.Height());
    Bitmap whole = std::move(state_.ScreenshotBitmap);
    state_.ScreenshotBitmap.SetSize(w, h);
    if (w > 0 && h > 0) state_.ScreenshotBitmap.Canvas().CopyRect(Rect{0, 0, w, h}, whole, r);
}

void TMainForm::Capture(bool grab) {
    // The history's packing waits for this capture's worker to end; where
    // none was started, it goes on at once.
    TScreenshotListForm& history = *context_.windows.history;
    history.HoldPacking();
    ScopeExit packing([&] {
        if (!WorkerRunning()) history.StartPacking();
    });
    try {
        CaptureSteps(grab);
    } catch (...) {
        // A failed grab must not leave the gate shut for good: reset the
        // display, then let the general error handler show what happened.
        FormFirstShow();
        throw;
    }
    // Called off before the worker: the display says so already, the gate opens now.
    if (captureCancelled_) state_.ReadyForCapture = true;
}

bool TMainForm::CaptureAbandoned() const { return captureCancelled_ || App().Terminated(); }

void TMainForm::CaptureSteps(bool grab) {
    captureStarted_ = TimingLog::Clock::now();
    auto grabbed = captureStarted_;
    if (CaptureAbandoned()) return;  // Escape while the history handed an older screenshot over
    LockOptions(true);
    TScreenshotListForm& history = *context_.windows.history;
    // The history may still be packing the last screenshot from
    // ScreenshotBitmap: a grab goes to the other bitmap meanwhile, and waits
    // only if that one is still read too.
    if (grab && history.ReadsPicture(state_.ScreenshotBitmap)) std::swap(state_.ScreenshotBitmap, state_.SpareBitmap);
    history.ReleasePicture(state_.ScreenshotBitmap);
    if (grab) {
        Screenshot();
        TimingLog::Stage("grab", captureStarted_);
        grabbed = TimingLog::Clock::now();
        RenameEdit.SetText(MakeScreenshotName(context_.platform.desktop.ForegroundWindowTitle()));
        state_.OutputMode = SaveLocalCheckBox.Checked() ? omSaveLocally : omUpload;
        Rect r = context_.platform.desktop.ForegroundWindowRect();
        ShowStatus("Screenshot wird bearbeitet...");
        if (CaptureAbandoned()) return;  // Escape while the status showed
        if (state_.ActiveWindowOnly && !state_.TriggeredFromMenu) CutToActiveWindow(r, grabLeft_);
    }
    state_.Description.clear();

    const bool edited = EditCheckBox.Checked();
    if (edited && !EditScreenshot()) return;

    state_.UploadDone = false;
    state_.TempFileName = context_.platform.files.TempDirectory() + "screen.jpg";
    TimingLog::Stage("prepare", grabbed);
    StartUploadThread();

    // The window and the history entry follow while the worker compresses;
    // its texts do not wait for them. What it asks of this thread waits
    // until the capture has returned to the message loop.
    if (!edited) {
        App().Restore();
        Show();
        BringApplicationForward();
    }
    if (state_.OutputMode == omUpload) {
        Notebook1.SetPageIndex(1);
        ProgressBar1.Show();
        if (Visible()) RenameEdit.SetFocus();
        RenameButton.SetDefault(true);
    }
    context_.windows.history->AddLentScreenshot(state_.ScreenshotBitmap);  // packed in the background, no copy
    TimingLog::Stage("window", grabbed);
}

bool TMainForm::EditScreenshot() {
    TImageEditorForm& editor = *context_.windows.editor;
    state_.UneditedBitmap = state_.ScreenshotBitmap;
    editor.Picture() = state_.ScreenshotBitmap;

    // Big enough for the picture and the bars, at most the screen, centred.
    Size screen = context_.platform.desktop.PrimaryScreenSize();
    int width = std::min(std::max(editor.Picture().Width() + 50, 1020), screen.width);
    int height = std::min(
        std::max(editor.Picture().Height() + editor.MenuPanel.Height() + editor.StatusBar1.Height() + 50, 400),
        screen.height - 30);
    editor.SetWindowBounds(screen.width / 2 - width / 2, screen.height / 2 - height / 2, width, height);

    bool wasVisible = Visible();
    App().Restore();
    App().BringToFront();
    context_.platform.desktop.ForceForegroundWindow(App().LastActivePopup());
    editor.ShowModal();
    Show();
    // Ended from the tray while the editor was open: nothing is sent or saved.
    if (App().Terminated()) state_.OutputMode = omAbort;
    if (state_.OutputMode == omAbort) {
        FormFirstShow();
        if (!wasVisible) Hide();
        return false;
    }

    App().ProcessMessages();
    if (CaptureAbandoned()) return false;  // Escape right after "Hochladen" or "Speichern"
    Rect s = state_.SelectionRect;
    int w = std::max(0, s.Width()), h = std::max(0, s.Height());
    state_.ScreenshotBitmap.SetSize(w, h);
    if (w > 0 && h > 0) state_.ScreenshotBitmap.Canvas().CopyRect(Rect{0, 0, w, h}, editor.Picture(), s);
    if (editor.CaptionEdit.Text() != "Titel...") state_.Description = editor.CaptionEdit.Text();
    return true;
}

}  // namespace snapora
