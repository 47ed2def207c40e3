#pragma once
// The program's start-up and run, independent of which windowing system and
// which platform services it is given.

#include <memory>

#include "app/CaptureState.h"
#include "app/ProgramContext.h"
#include "platform/Platform.h"
#include "ui/Application.h"

namespace snapora {

class Program {
public:
    Program(Backend& backend, Platform& platform, HttpClient& http, Endpoints endpoints = {});
    ~Program();

    // Takes the single-instance guard, creates the windows and prepares the
    // first showing. False when another instance runs (nothing was created) or
    // when the start failed: the general error handler has shown why.
    bool Start();
    // Shows the main window (unless it starts hidden) and runs the message loop.
    void Run();
    // The process's exit code: 0, or 1 after a start that failed.
    int ExitCode() const { return exitCode_; }

    Application& App() { return app_; }
    ProgramContext& Context() { return context_; }
    CaptureState& State() { return state_; }
    TMainForm& Main() { return *context_.windows.main; }

private:
    void CreateWindows();
    bool StartsMinimized();
    void StopWorker();
    void ReleaseInstance();

    Platform& platform_;
    CaptureState state_;
    Application app_;
    ProgramContext context_;
    bool ownsInstance_ = false;
    bool showMainForm_ = true;
    int exitCode_ = 0;
};

}  // namespace snapora
