#pragma once
// The GIF picture control on GDI: a surface over a device context, and the
// host that paints the control in place and posts the palette message.

#include <windows.h>
#undef MessageBox

#include "gif/GIFImage.h"

namespace snapora {

// The control works in the layout's units; the window's pixels are those
// scaled by the DPI of its form, so every rectangle is scaled on its way out.
class Win32GifSurface final : public GifSurface {
public:
    // `dc` is aligned with the control's window.
    Win32GifSurface(HDC dc, TGIFImage& control, int dpi) : dc_(dc), control_(control), dpi_(dpi) {}
    void FillRect(const Rect& area, Colour colour) override;
    void DrawPicture(const Rect& to, const Bitmap& picture, GifRop rop, std::span<const Colour> palette) override;
    void DrawMask(const Rect& to, const MonoBitmap& mask, GifRop rop) override;
    void PaintParent() override;

private:
    HDC dc_;
    TGIFImage& control_;
    int dpi_;
};

class Win32GifHost final : public GifHost {
public:
    // dpi: the form's, which follows the form from monitor to monitor.
    Win32GifHost(HWND window, TGIFImage& control, const int& dpi) : window_(window), control_(control), dpi_(dpi) {}
    void PaintInPlace(const Rect& clip, bool offScreen, const std::function<void(GifSurface&)>& paint) override;
    void PostQueryNewPalette(bool onlyWhenParentFocused) override;

private:
    HWND window_;
    TGIFImage& control_;
    const int& dpi_;
};

// What a window does with WM_QUERYNEWPALETTE: realises the palettes that its
// picture controls report, as foreground palettes, and repaints those whose
// colours changed. True when a palette was realised.
bool RealizePicturePalettes(const Container& parent);

}  // namespace snapora
