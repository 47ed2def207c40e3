#include "ui/win32/Dpi.h"

namespace snapora::dpi {

namespace {

template <class Function>
Function Lookup(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (!handle) handle = LoadLibraryW(module);  // shcore is not loaded by default
    return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using SetContextFn = BOOL(WINAPI*)(HANDLE);
using SetAwarenessFn = HRESULT(WINAPI*)(int);
using SetAwareFn = BOOL(WINAPI*)();

const auto getDpiForWindow = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
const auto adjustForDpi = Lookup<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");

}  // namespace

int System() {
    HDC screen = GetDC(nullptr);
    int value = screen ? GetDeviceCaps(screen, LOGPIXELSX) : Standard;
    if (screen) ReleaseDC(nullptr, screen);
    return value > 0 ? value : Standard;
}

int OfWindow(HWND window) {
    if (getDpiForWindow && window)
        if (UINT value = getDpiForWindow(window)) return int(value);
    return System();
}

int OfPoint(POINT point) {
    static const auto getDpiForMonitor = Lookup<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (getDpiForMonitor &&
        SUCCEEDED(getDpiForMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY), 0 /*MDT_EFFECTIVE_DPI*/, &x, &y)) &&
        x > 0)
        return int(x);
    return System();
}

void AdjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, int value) {
    if (adjustForDpi && adjustForDpi(&rect, style, FALSE, exStyle, UINT(value))) return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

void MakeProcessAware() {
    // Each call fails harmlessly when the manifest has already decided.
    if (auto setContext = Lookup<SetContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        if (setContext(reinterpret_cast<HANDLE>(-4) /*PER_MONITOR_AWARE_V2*/)) return;
        if (GetLastError() == ERROR_ACCESS_DENIED) return;  // already set
    }
    if (auto setAwareness = Lookup<SetAwarenessFn>(L"shcore.dll", "SetProcessDpiAwareness")) {
        HRESULT result = setAwareness(1 /*PROCESS_SYSTEM_DPI_AWARE*/);
        if (SUCCEEDED(result) || result == E_ACCESSDENIED) return;
    }
    if (auto setAware = Lookup<SetAwareFn>(L"user32.dll", "SetProcessDPIAware")) setAware();
}

}  // namespace snapora::dpi
