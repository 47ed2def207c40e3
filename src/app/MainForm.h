#pragma once
// The main window: status line, progress, result page, the capture options,
// the tray menu, and the capture road from a trigger to the worker.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/ProgramContext.h"
#include "base/TimingLog.h"
#include "desktop/GlobalHotKey.h"
#include "desktop/TrayNotifyIcon.h"
#include "gif/GIFImage.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Menu.h"
#include "ui/SaveDialog.h"
#include "upload/HttpClient.h"

namespace snapora {

class TUploadThread;

class TMainForm : public Form {
public:
    TMainForm(Application& app, ProgramContext& context);
    ~TMainForm() override;

    // Layout, top to bottom.
    TLabel Label1{this, "Label1"};
    TProgressBar ProgressBar1{this, "ProgressBar1"};
    TNotebook Notebook1{this, "Notebook1"};
    TPage Page1{&Notebook1, "Page1"};
    TLabel Label2{&Page1, "Label2"};
    TLabel ShortcutLabel{&Page1, "ShortcutLabel"};
    TPage Page2{&Notebook1, "Page2"};
    TLabel RenameLabel{&Page2, "RenameLabel"};
    TEdit RenameEdit{&Page2, "RenameEdit"};
    TButton RenameButton{&Page2, "RenameButton"};
    TEdit DisplayURLEdit{&Page2, "DisplayURLEdit"};
    TButton Button1{&Page2, "Button1"};
    TCheckBox ActiveWindowCheckBox{this, "ActiveWindowCheckBox"};
    TCheckBox SaveLocalCheckBox{this, "SaveLocalCheckBox"};
    TCheckBox EditCheckBox{this, "EditCheckBox"};
    TCheckBox SessionModeCheckBox{this, "SessionModeCheckBox"};
    TCheckBox SaveOptionsCheckBox{this, "SaveOptionsCheckBox"};
    TPanel SessionUrlPanel{this, "SessionUrlPanel"};
    TEdit SessionUrlEdit{&SessionUrlPanel, "SessionUrlEdit"};
    TPanel Panel2{this, "Panel2"};
    TBevel Bevel1{&Panel2, "Bevel1"};
    TImage Image1{&Panel2, "Image1"};
    TLabel Label4{&Panel2, "Label4"};
    TLabel Label5{&Panel2, "Label5"};
    TGIFImage DonateButton{&Panel2, "DonateButton"};
    TButton SettingsButton{&Panel2, "SettingsButton"};

    TPopupMenu PopupMenu1{"PopupMenu1"};
    TSaveDialog SaveDialog1;
    TGlobalHotKey HotKeyControl1;  // the alternative shortcut
    TTrayNotifyIcon TrayIcon;
    TMenuItem PopupShow, Screenshotauslsen1, N2, ScreenshotListe1, N1, PopupExit;

    // Start, closing and ending.
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void FormClose();
    void FormDestroy();
    std::intptr_t WMQueryEndSession();
    void FormKeyDown(std::uint16_t& key, unsigned shift);

    // Small handlers.
    void PopupShowClick();
    void PopupExitClick();
    void ScreenshotListe1Click();
    void SettingsButtonClick();
    void DonateButtonClick();
    void Label5Click();
    void ActiveWindowCheckBoxClick();
    void SaveOptionsCheckBoxClick();
    void SessionModeCheckBoxClick();

    // Settings: read into the controls at start, written back at the end.
    void LoadSettings();
    void SaveSettings();

    // Triggers and the capture road.
    void WMHotKey(int id);
    void HotKeyControl1HotKey();
    void Screenshotauslsen1Click();
    void FormFirstShow();
    void Capture(bool grab);
    void Screenshot();

    // The upload's progress and result.
    void IdHTTP1WorkBegin(WorkMode mode, std::int64_t total);
    void IdHTTP1Work(WorkMode mode, std::int64_t count);
    void IdHTTP1WorkEnd(WorkMode mode);
    void CheckForNewVersion(const std::string& newestVersion);

    // Renaming the uploaded screenshot on the service.
    void RenameButtonClick();
    void RenameScreenshot();
    HttpClient& IdHTTP1() { return context_.http; }
    // Whether the latest worker still needs the UI (it is not yet finished).
    bool WorkerRunning() const;
    // The worker's last step, on this thread: the gate opens, the options unlock.
    void UploadThreadEnded(bool cancelled);
    // Waits until the latest worker has ended (program end, tests).
    void WaitForWorker();

    // Shared utilities of the main window.
    void ShowStatus(const std::string& text);
    void LockOptions(bool locked);

    // The main window's own hot keys: Print and Shift+Print.
    static constexpr int HotKeyPrint = 101;
    static constexpr int HotKeyShiftPrint = 102;

    // Whether the notification-area icon is shown; it decides what closing does.
    bool TrayIconActive() const { return TrayIcon.Active(); }

    // When the latest capture began, for the timing log.
    TimingLog::Clock::time_point CaptureStarted() const { return captureStarted_; }

private:
    void LayOut();
    void BindHandlers();
    void BuildPopupMenu();
    Rect ActiveWindowArea(Rect window, int grabLeft) const;
    void CutToActiveWindow(const Rect& windowRect, int grabLeft);
    void BringApplicationForward();
    void CaptureSteps(bool grab);
    // The capture was called off (Escape) or the program is ending.
    bool CaptureAbandoned() const;
    // The editor path of a capture; false when the user abandoned the screenshot.
    bool EditScreenshot();
    void ShowRenameControls(bool visible);
    // The waiting name was dropped (Escape) or the program is ending.
    bool RenameCalledOff() const;
    void StartUploadThread();
    void CancelUpload();
    bool UploadWaitsForName() const;

    ProgramContext& context_;
    CaptureState& state_;
    int grabLeft_ = 0;  // screen x of the grab's pixel column 0
    TimingLog::Clock::time_point captureStarted_{};
    std::unique_ptr<TUploadThread> worker_;  // the latest one; none is reused
    // Escape called off the capture under way: nothing of it is handed on.
    bool captureCancelled_ = false;
};

// The text of the main window's caption: the application title and the version.
std::string MainCaption(const Application& app);

}  // namespace snapora
