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
    // first showing. False when another instance runs: nothing was created.
    bool Start();
    // Shows the main window (unless it starts hidden) and runs the message loop.
    void Run();

    Application& App() { return app_; }
    ProgramContext& Context() { return context_; }
    CaptureState& State() { return state_; }
    TMainForm& Main() { return *context_.windows.main; }

private:
    bool StartsMinimized();
    void StopWorker();

    Platform& platform_;
    CaptureState state_;
    Application app_;
    ProgramContext context_;
    bool ownsInstance_ = false;
    bool showMainForm_ = true;
};

}  // namespace snapora
