#pragma once
// What every window of the program shares: the application, the operating
// system's services, the capture state and the other windows.

#include <string>

#include "app/CaptureState.h"
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

// Where the program's web service and web site live; part of the build.
struct Endpoints {
    std::string serviceHost = SNAPORA_SERVICE_HOST;
    std::string websiteHost = SNAPORA_WEBSITE_HOST;
    // Screenshot addresses read "http://<suffix>/<name>"; the name follows the suffix.
    std::string DomainSuffix() const { return serviceHost; }
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
