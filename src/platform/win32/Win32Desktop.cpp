#include "platform/win32/Win32Desktop.h"
#include "platform/win32/DibPixels.h"

#include <windows.h>

#include <stdexcept>

#include "imaging/Bitmap.h"
#include "platform/win32/GdiCanvas.h"
#include "platform/win32/Text.h"

namespace snapora {

namespace {

class DisplayDc {
public:
    DisplayDc() : dc_(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr)) {
        if (!dc_) throw std::runtime_error("Der Bildschirm konnte nicht geöffnet werden.");
    }
    ~DisplayDc() { DeleteDC(dc_); }
    DisplayDc(const DisplayDc&) = delete;
    DisplayDc& operator=(const DisplayDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class CompatibleDc {
public:
    explicit CompatibleDc(HDC screen) : dc_(CreateCompatibleDC(screen)) {
        if (!dc_) throw std::runtime_error("Für das Bildschirmfoto fehlen Grafikressourcen.");
    }
    ~CompatibleDc() { DeleteDC(dc_); }
    CompatibleDc(const CompatibleDc&) = delete;
    CompatibleDc& operator=(const CompatibleDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class CompatibleBitmap {
public:
    CompatibleBitmap(HDC screen, int width, int height) : bitmap_(CreateCompatibleBitmap(screen, width, height)) {
        if (!bitmap_) throw std::runtime_error("Für das Bildschirmfoto ist nicht genügend Speicher frei.");
    }
    ~CompatibleBitmap() { DeleteObject(bitmap_); }
    CompatibleBitmap(const CompatibleBitmap&) = delete;
    CompatibleBitmap& operator=(const CompatibleBitmap&) = delete;
    HBITMAP Get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

// Keeps a bitmap selected until Undo or the end of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { Undo(); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    void Undo() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
        previous_ = nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

HWND ToHwnd(NativeWindow window) { return reinterpret_cast<HWND>(window); }

// What the window shows on the screen: since Windows Vista the frame the
// compositor draws, without the invisible resize borders that GetWindowRect
// counts in (and, on Windows 10 and 11, the shadow). Looked up at run time;
// false where the compositor is off or absent.
bool VisibleFrame(HWND window, RECT& frame) {
    using GetAttribute = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);
    static const auto getAttribute = [] {
        HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
        return dwm ? reinterpret_cast<GetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
                   : nullptr;
    }();
    constexpr DWORD ExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
    return getAttribute && SUCCEEDED(getAttribute(window, ExtendedFrameBounds, &frame, sizeof frame)) &&
           frame.right > frame.left && frame.bottom > frame.top;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        reinterpret_cast<std::vector<Rect>*>(data)->push_back({r.left, r.top, r.right, r.bottom});
    }
    return TRUE;
}

// The screen's picture straight into the target's DIB section: one copy, and
// the target's memory is used again when the size has not changed (a fresh
// 3840x2160 section has 25 MB of pages to fault in and clear, which under
// Wine took longer than the copy). Without a section of its own the target
// gets the picture through a DC-compatible bitmap and GetDIBits.
void CopyScreen(const Rect& area, Bitmap& into) {
    const int width = area.Width(), height = area.Height();
    DisplayDc screen;
    if (into.Width() != width || into.Height() != height) into.SetSize(width, height);
    if (into.NativeHandle()) {
        if (auto* canvas = dynamic_cast<GdiCanvas*>(&into.Canvas())) {
            BitBlt(canvas->Dc(), 0, 0, width, height, screen.Get(), area.left, area.top, SRCCOPY);
            GdiFlush();
            return;
        }
    }
    CompatibleDc memory(screen.Get());
    CompatibleBitmap picture(screen.Get(), width, height);
    {
        Selected selected(memory.Get(), picture.Get());
        BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), area.left, area.top, SRCCOPY);
    }
    // GetDIBits wants the bitmap out of every DC.
    BITMAPINFO info = TopDown24(width, height);
    GetDIBits(memory.Get(), picture.Get(), 0, UINT(height), into.Row(0), &info, DIB_RGB_COLORS);
}

}  // namespace

std::vector<Rect> Win32Desktop::Monitors() {
    std::vector<Rect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

Size Win32Desktop::PrimaryScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Size Win32Desktop::VirtualScreenSize() {
    return {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void Win32Desktop::Grab(const Rect& area, Bitmap& into) {
    if (area.IsEmpty()) {
        into.SetSize(0, 0);
        return;
    }
    CopyScreen(area, into);
}

std::string Win32Desktop::ForegroundWindowTitle() {
    HWND window = GetForegroundWindow();
    if (!window) return {};
    wchar_t buffer[255] = {};
    int length = GetWindowTextW(window, buffer, 255);
    if (length <= 0) return {};
    std::string title = Narrow(std::wstring_view(buffer, size_t(length)));
    if (title.size() > 254) title.resize(254);
    return title;
}

Rect Win32Desktop::ForegroundWindowRect() {
    HWND window = GetForegroundWindow();
    RECT r{};
    // In physical pixels, whatever the window's own DPI awareness: the program is per-monitor aware.
    if (!window || (!VisibleFrame(window, r) && !GetWindowRect(window, &r))) return {};
    return {r.left, r.top, r.right, r.bottom};
}

bool Win32Desktop::ForceForegroundWindow(NativeWindow window) {
    HWND target = ToHwnd(window);
    if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
    if (GetForegroundWindow() == target) return true;

    // Every Windows from NT 5 on has the foreground lock, so always work around it.
    bool success = false;
    // Joined to the foreground thread's input, we count as that thread and may
    // move the foreground.
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD windowThread = GetWindowThreadProcessId(target, nullptr);
    if (AttachThreadInput(windowThread, foregroundThread, TRUE)) {
        BringWindowToTop(target);
        SetForegroundWindow(target);
        AttachThreadInput(windowThread, foregroundThread, FALSE);
        success = GetForegroundWindow() == target;
    }
    if (!success) {
        // Otherwise lift the lock for a moment.
        DWORD saved = 0;
        SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(0), SPIF_SENDCHANGE);
        BringWindowToTop(target);
        SetForegroundWindow(target);
        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(std::uintptr_t(saved)),
                              SPIF_SENDCHANGE);
    }
    return GetForegroundWindow() == target;
}

}  // namespace snapora
