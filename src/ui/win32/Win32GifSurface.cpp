#include "ui/win32/Win32GifSurface.h"
#include "platform/win32/DibPixels.h"

#include <vector>

#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Peers.h"

namespace snapora {

namespace {

DWORD RasterOperation(GifRop rop) {
    switch (rop) {
        case GifRop::And:
            return SRCAND;
        case GifRop::Xor:
            return SRCINVERT;
        case GifRop::Copy:
            break;
    }
    return SRCCOPY;
}

struct MonoInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
};

// The bitmap's palette as the background palette for the length of a drawing.
class PaletteScope {
public:
    PaletteScope(HDC dc, std::span<const Colour> palette, BOOL background = TRUE) : dc_(dc) {
        if (palette.empty()) return;
        std::vector<BYTE> storage(sizeof(LOGPALETTE) + palette.size() * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = WORD(palette.size());
        for (std::size_t i = 0; i < palette.size(); ++i)
            logical->palPalEntry[i] = {RedOf(palette[i]), GreenOf(palette[i]), BlueOf(palette[i]), 0};
        palette_ = CreatePalette(logical);
        if (!palette_) return;
        previous_ = SelectPalette(dc_, palette_, background);
        changed_ = RealizePalette(dc_);
    }
    // How many entries of the system palette the realisation changed.
    UINT Changed() const { return changed_ == GDI_ERROR ? 0 : changed_; }
    ~PaletteScope() {
        if (!palette_) return;
        SelectPalette(dc_, previous_, TRUE);
        DeleteObject(palette_);
    }
    PaletteScope(const PaletteScope&) = delete;
    PaletteScope& operator=(const PaletteScope&) = delete;

private:
    HDC dc_;
    HPALETTE palette_ = nullptr;
    HPALETTE previous_ = nullptr;
    UINT changed_ = 0;
};

// On a palette display with fewer bits than the picture, halftoning looks best.
void ChooseStretchMode(HDC dc, int bitmapBits, int otherwise) {
    const int displayBits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    if (displayBits <= 8 && displayBits < bitmapBits) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
    } else {
        SetStretchBltMode(dc, otherwise);
    }
}

// A rectangle of the control in its window's pixels. Each edge is scaled where
// it lies in the parent, as the backend places windows: tiles still abut, and
// a picture as large as the control meets the window's edges exactly.
RECT Scaled(const Rect& r, const Control& control, int dpi) {
    auto x = [&](int v) { return dpi::ToNative(control.Left() + v, dpi) - dpi::ToNative(control.Left(), dpi); };
    auto y = [&](int v) { return dpi::ToNative(control.Top() + v, dpi) - dpi::ToNative(control.Top(), dpi); };
    return {x(r.left), y(r.top), x(r.right), y(r.bottom)};
}

}  // namespace

void Win32GifSurface::FillRect(const Rect& area, Colour colour) {
    HBRUSH brush = CreateSolidBrush(ResolveColour(colour, BackgroundOf(control_)));
    HGDIOBJ old = SelectObject(dc_, brush);
    RECT r = Scaled(area, control_, dpi_);
    PatBlt(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
    SelectObject(dc_, old);
    DeleteObject(brush);
}

void Win32GifSurface::DrawPicture(const Rect& to, const Bitmap& picture, GifRop rop, std::span<const Colour> palette) {
    if (picture.IsEmpty()) return;
    PaletteScope scope(dc_, palette);
    BITMAPINFO info = TopDown24(picture.Width(), picture.Height());
    const int oldMode = GetStretchBltMode(dc_);
    ChooseStretchMode(dc_, 24, COLORONCOLOR);
    RECT r = Scaled(to, control_, dpi_);
    StretchDIBits(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, picture.Width(), picture.Height(),
                  picture.Row(0), &info, DIB_RGB_COLORS, RasterOperation(rop));
    SetStretchBltMode(dc_, oldMode);
}

void Win32GifSurface::DrawMask(const Rect& to, const MonoBitmap& mask, GifRop rop) {
    if (mask.IsEmpty()) return;
    MonoInfo info{};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = mask.Width();
    info.header.biHeight = -mask.Height();
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 2;
    info.colours[1] = {255, 255, 255, 0};
    const int oldMode = GetStretchBltMode(dc_);
    ChooseStretchMode(dc_, 1, WHITEONBLACK);  // transparent points win when shrinking
    RECT r = Scaled(to, control_, dpi_);
    StretchDIBits(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, mask.Width(), mask.Height(), mask.Bits(),
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, RasterOperation(rop));
    SetStretchBltMode(dc_, oldMode);
}

void Win32GifSurface::PaintParent() {
    Container* parent = control_.Parent();
    if (!parent || !parent->Peer()) return;
    // The parent paints itself in its own coordinates.
    POINT origin{};
    GetViewportOrgEx(dc_, &origin);
    SetViewportOrgEx(dc_, origin.x - dpi::ToNative(control_.Left(), dpi_), origin.y - dpi::ToNative(control_.Top(), dpi_),
                     nullptr);
    if (auto* form = dynamic_cast<Win32FormPeer*>(parent->Peer()))
        form->PaintBackground(dc_);
    else if (auto* container = dynamic_cast<Win32ControlPeer*>(parent->Peer()))
        container->PaintBackground(dc_);
    SetViewportOrgEx(dc_, origin.x, origin.y, nullptr);
}

void Win32GifHost::PaintInPlace(const Rect& clip, bool offScreen, const std::function<void(GifSurface&)>& paint) {
    HDC screen = GetDC(window_);
    if (!screen) return;
    RECT client{};
    GetClientRect(window_, &client);
    HDC target = screen;
    HDC memory = nullptr;
    HBITMAP buffer = nullptr;
    HGDIOBJ oldBuffer = nullptr;
    if (offScreen) {
        memory = CreateCompatibleDC(screen);
        buffer = memory ? CreateCompatibleBitmap(screen, client.right, client.bottom) : nullptr;
        if (buffer) {
            oldBuffer = SelectObject(memory, buffer);
            target = memory;
        }
    }
    const int saved = SaveDC(target);
    const RECT area = Scaled(clip, control_, dpi_);
    IntersectClipRect(target, area.left, area.top, area.right, area.bottom);
    struct Release {
        HWND window;
        HDC screen, target, memory;
        HBITMAP buffer;
        HGDIOBJ oldBuffer;
        int saved;
        ~Release() {
            RestoreDC(target, saved);
            if (buffer) {
                SelectObject(memory, oldBuffer);
                DeleteObject(buffer);
            }
            if (memory) DeleteDC(memory);
            ReleaseDC(window, screen);
        }
    } release{window_, screen, target, memory, buffer, oldBuffer, saved};
    Win32GifSurface surface(target, control_, dpi_);
    paint(surface);
    if (target != screen)
        BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, memory, area.left, area.top,
               SRCCOPY);
}

bool RealizePicturePalettes(const Container& parent) {
    bool realised = false;
    for (Control* child : parent.Children()) {
        if (child->GetKind() != Control::Kind::Picture || !child->Handle()) continue;
        const std::span<const Colour> palette = static_cast<TGIFImage*>(child)->Palette();
        if (palette.empty()) continue;
        HWND window = reinterpret_cast<HWND>(child->Handle());
        HDC dc = GetDC(window);
        PaletteScope scope(dc, palette, FALSE);
        if (scope.Changed() > 0) InvalidateRect(window, nullptr, FALSE);
        ReleaseDC(window, dc);
        realised = true;
    }
    return realised;
}

void Win32GifHost::PostQueryNewPalette(bool onlyWhenParentFocused) {
    HWND parent = GetParent(window_);
    if (!parent) return;
    if (onlyWhenParentFocused && GetFocus() != parent) return;
    PostMessageW(parent, WM_QUERYNEWPALETTE, 0, 0);
}

}  // namespace snapora
