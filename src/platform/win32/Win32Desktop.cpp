#include "platform/win32/Win32Desktop.h"
#include "platform/win32/DibPixels.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "imaging/Bitmap.h"
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

// The screen's picture, a band of rows at a time, through a small 32-bit DIB
// section (the screen's own format: Wine copies into it without converting,
// while a 24-bit target took it five times as long), each band converted into
// the target. The target keeps its memory when its size stays, and the band
// is kept between grabs: fresh pages cost more than the copy (a new 3840x2160
// bitmap has 25 to 33 MB of them to fault in and clear).
class GrabBand {
public:
    ~GrabBand() { Release(); }

    bool Fits(int width) const { return bitmap_ && width_ >= width; }
    bool Make(int width) {
        Release();
        rows_ = std::clamp(MaxBytes / (4 * width), 1, 256);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -rows_;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc_ = CreateCompatibleDC(nullptr);
        if (!bitmap_ || !bits || !dc_) {
            Release();
            return false;
        }
        previous_ = SelectObject(dc_, bitmap_);
        bits_ = static_cast<const std::uint8_t*>(bits);
        width_ = width;
        return true;
    }
    void Release() {
        if (dc_) {
            if (previous_) SelectObject(dc_, previous_);
            DeleteDC(dc_);
        }
        if (bitmap_) DeleteObject(bitmap_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        previous_ = nullptr;
        width_ = 0;
    }

    // Wine copies bands of at most about 512 KB much faster per row than
    // larger ones: a 3840x2160 screen in 34-row bands took 37 to 46 ms where
    // 256-row bands took 100 to 165 ms.
    static constexpr int MaxBytes = 512 * 1024;
    int rows_ = 0;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const std::uint8_t* bits_ = nullptr;
    int width_ = 0;
};

GrabBand& Band() {
    static GrabBand band;  // UI thread only
    return band;
}

void CopyScreen(const Rect& area, Bitmap& into) {
    const int width = area.Width(), height = area.Height();
    DisplayDc screen;
    if (into.Width() != width || into.Height() != height) into.SetSize(width, height);
    GrabBand& band = Band();
    if (band.Fits(width) || band.Make(width)) {
        std::uint8_t* const first = into.Row(0);
        for (int top = 0; top < height; top += band.rows_) {
            const int rows = std::min(band.rows_, height - top);
            BitBlt(band.dc_, 0, 0, width, rows, screen.Get(), area.left, area.top + top, SRCCOPY);
            GdiFlush();
            for (int y = 0; y < rows; ++y) {
                const std::uint8_t* in = band.bits_ + std::size_t(y) * std::size_t(band.width_) * 4;
                std::uint8_t* out = first + std::ptrdiff_t(top + y) * into.Stride();
                for (int x = 0; x < width; ++x, in += 4, out += 3) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                }
            }
        }
        return;
    }
    // Without a band: a DC-compatible bitmap of the whole area, then GetDIBits.
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
