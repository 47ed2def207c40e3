#pragma once
// The GIF picture control on GDI: a surface over a device context, and the
// host that paints the control in place and posts the palette message.

#include <windows.h>
#undef MessageBox

#include "gif/GIFImage.h"

namespace snapora {

class Win32GifSurface final : public GifSurface {
public:
    // `dc` is aligned with the control's window.
    Win32GifSurface(HDC dc, TGIFImage& control) : dc_(dc), control_(control) {}
    void FillRect(const Rect& area, Colour colour) override;
    void DrawPicture(const Rect& to, const Bitmap& picture, GifRop rop, std::span<const Colour> palette) override;
    void DrawMask(const Rect& to, const MonoBitmap& mask, GifRop rop) override;
    void PaintParent() override;

private:
    HDC dc_;
    TGIFImage& control_;
};

class Win32GifHost final : public GifHost {
public:
    Win32GifHost(HWND window, TGIFImage& control) : window_(window), control_(control) {}
    void PaintInPlace(const Rect& clip, bool offScreen, const std::function<void(GifSurface&)>& paint) override;
    void PostQueryNewPalette(bool onlyWhenParentFocused) override;

private:
    HWND window_;
    TGIFImage& control_;
};

// What a window does with WM_QUERYNEWPALETTE: realises the palettes that its
// picture controls report, as foreground palettes, and repaints those whose
// colours changed. True when a palette was realised.
bool RealizePicturePalettes(const Container& parent);

}  // namespace snapora
