#pragma once
// What every window of the program shares: the application, the operating
// system's services, the capture state and the other windows.

#include <string>

#include "app/CaptureState.h"
#include "app/Endpoints.h"
#include "base/Version.h"
#include "platform/Platform.h"
#include "ui/Application.h"

namespace snapora {

class TMainForm;
class TNewSessionForm;
class TImageEditorForm;
class TSettingsDialogForm;
class TScreenshotListForm;
class HttpClient;

struct Windows {
    TMainForm* main = nullptr;
    TNewSessionForm* session = nullptr;
    TImageEditorForm* editor = nullptr;
    TSettingsDialogForm* settings = nullptr;
    TScreenshotListForm* history = nullptr;
};

struct ProgramContext {
    Application& app;
    Platform& platform;
    CaptureState& state;
    HttpClient& http;  // IdHTTP1, the one client of every request
    Windows windows;
    Endpoints endpoints;
};

}  // namespace snapora
