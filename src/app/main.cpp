// The program entry: the real windows and the real operating system.

#include <windows.h>

#include <objbase.h>

#include "app/Program.h"
#include "platform/win32/Win32Platform.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Backend.h"
#include "upload/CurlHttpClient.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Physical pixels for the grab and the window cut, layouts scaled per monitor.
    snapora::dpi::MakeProcessAware();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    snapora::Win32Platform system;
    system.UseDibPixels();
    snapora::Win32Backend backend(instance);
    // The registry may name another service than the build's (ServiceURL).
    snapora::Endpoints endpoints = snapora::Endpoints::ForThisUser(system.View().registry);
    snapora::CurlHttpClient http(endpoints.ServiceAddress());
    snapora::Program program(backend, system.View(), http, endpoints);
    backend.SetApplication(&program.App());
    if (program.Start()) program.Run();
    CoUninitialize();
    return 0;
}
