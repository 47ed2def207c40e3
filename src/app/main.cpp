// The program entry: the real windows and the real operating system.

#include <windows.h>

#include <objbase.h>

#include <exception>
#include <new>

#include "app/Program.h"
#include "platform/win32/Win32Platform.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Backend.h"
#include "ui/win32/Win32Peers.h"
#include "upload/CurlHttpClient.h"

namespace {

int RunProgram(HINSTANCE instance) {
    snapora::Win32Platform system;
    system.UseDibPixels();
    snapora::Win32Backend backend(instance);
    // The registry may name another service than the build's (ServiceURL).
    snapora::Endpoints endpoints = snapora::Endpoints::ForThisUser(system.View().registry);
    snapora::CurlHttpClient http(endpoints.ServiceAddress());
    snapora::Program program(backend, system.View(), http, endpoints);
    backend.SetApplication(&program.App());
    if (program.Start()) program.Run();
    return program.ExitCode();
}

// What the general error handler shows, for a failure before there is an
// application to show it (the window classes, the platform's services).
void ShowStartFailure(const char* text) {
    MessageBoxW(nullptr, snapora::win32text::FromCp1252(text).c_str(), L"Snapora", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Physical pixels for the grab and the window cut, layouts scaled per monitor.
    snapora::dpi::MakeProcessAware();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 1;
    try {
        exitCode = RunProgram(instance);
    } catch (const std::bad_alloc&) {
        ShowStartFailure("Nicht genügend Arbeitsspeicher.");
    } catch (const std::exception& error) {
        ShowStartFailure(error.what());
    } catch (...) {
        ShowStartFailure("Unbekannter Fehler.");
    }
    CoUninitialize();
    return exitCode;
}
