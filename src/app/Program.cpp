#include "app/Program.h"

#include <stdexcept>

#include "app/MainForm.h"
#include "app/NewSessionForm.h"
#include "base/Strings.h"
#include "base/TimingLog.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"
#include "upload/HttpClient.h"

namespace snapora {

Program::Program(Backend& backend, Platform& platform, HttpClient& http, Endpoints endpoints)
    : platform_(platform), app_(backend), context_{app_, platform, state_, http, {}, std::move(endpoints)} {}

Program::~Program() {
    StopWorker();
    platform_.messageWindows.OnException = nullptr;
    ReleaseInstance();
}

void Program::StopWorker() {
    // A running upload fails at once; its worker ends before any window goes.
    if (!context_.windows.main) return;
    Main().IdHTTP1().Disconnect();
    Main().WaitForWorker();
}

void Program::ReleaseInstance() {
    if (ownsInstance_) platform_.instance.Release();
    ownsInstance_ = false;
}

bool Program::Start() {
    TimingLog::Enabled();  // the log's times count from here
    if (!platform_.instance.Acquire("Screenshot")) {
        platform_.instance.ActivateRunningInstance("Snapora 4.");
        return false;
    }
    ownsInstance_ = true;
    app_.Title = "Snapora";
    try {
        CreateWindows();
        try {
            Main().LoadSettings();
        } catch (const std::exception& error) {
            // A setting that can't be applied (the start-up shortcut, say) is no reason not to start.
            app_.ShowException(error);
        }
        if (StartsMinimized()) {
            if (Main().TrayIconActive())
                showMainForm_ = false;
            else
                Main().SetWindowState(WindowState::Minimized);
        }
        Main().FormFirstShow();
        return true;
    } catch (const std::exception& error) {
        // Without all its windows the program can't run (out of desktop heap,
        // say): the user hears why, and it ends.
        app_.ShowException(error);
    } catch (...) {
        app_.ShowException(std::runtime_error("Unbekannter Fehler."));
    }
    exitCode_ = 1;
    StopWorker();
    ReleaseInstance();
    return false;
}

void Program::CreateWindows() {
    platform_.messageWindows.OnException = [this](const std::exception& error) { app_.ShowException(error); };
    Windows& w = context_.windows;
    w.main = &app_.CreateForm<TMainForm>(context_);
    w.session = &app_.CreateForm<TNewSessionForm>(context_);
    w.editor = &app_.CreateForm<TImageEditorForm>(context_);
    w.settings = &app_.CreateForm<TSettingsDialogForm>(context_);
    w.history = &app_.CreateForm<TScreenshotListForm>(context_);
    // The editor's wheel scrolling sees every message of the program.
    app_.OnMessage = [editor = w.editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool& handled) {
        editor->AppMessage(message, wParam, lParam, handled);
    };
}

bool Program::StartsMinimized() {
    for (const std::string& parameter : platform_.process.Parameters())
        if (LowerCase1252(parameter) == "minimized") return true;
    return false;
}

void Program::Run() {
    if (showMainForm_) Main().Show();
    app_.Run();
    StopWorker();
    ReleaseInstance();
}

}  // namespace snapora
