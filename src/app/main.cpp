// The program entry: the real windows and the real operating system.

#include <windows.h>

#include <objbase.h>

#include "app/Program.h"
#include "platform/win32/Win32Platform.h"
#include "ui/win32/Win32Backend.h"
#include "upload/CurlHttpClient.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    snapora::Win32Platform system;
    system.UseDibPixels();
    snapora::Win32Backend backend(instance);
    snapora::Endpoints endpoints;
    snapora::CurlHttpClient http(endpoints.serviceHost);
    snapora::Program program(backend, system.View(), http, endpoints);
    backend.SetApplication(&program.App());
    if (program.Start()) program.Run();
    CoUninitialize();
    return 0;
}
