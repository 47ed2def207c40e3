#pragma once
// The canvas of a bitmap whose pixels are a DIB section: GDI draws straight
// into the bits the portable code reads.

#include <windows.h>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"

namespace snapora {

class GdiCanvas : public Canvas {
public:
    // `bitmap` is the DIB section holding `owner`'s pixels; it must outlive the canvas.
    GdiCanvas(Bitmap& owner, HBITMAP bitmap);
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void LineTo(int x, int y) override;
    void Rectangle(const Rect& corners) override;
    void Ellipse(const Rect& corners) override;
    void Polygon(std::span<const Point> points) override;
    void TextOutAt(int x, int y, const std::string& text) override;
    int TextWidth(const std::string& text) override;
    int TextHeight(const std::string& text) override;
    void FillRect(const Rect& area, Colour colour) override;
    void CopyRect(const Rect& to, const Bitmap& source, const Rect& from) override;
    void Draw(int x, int y, const Bitmap& source) override;
    Colour Pixel(int x, int y) override;
    void SetPixel(int x, int y, Colour colour) override;

    // The memory DC with the bitmap selected, for blits and later drawing tools.
    HDC Dc() const { return dc_; }
    Bitmap& Owner() const { return owner_; }

    // System colours resolved; everything else is already a COLORREF.
    static COLORREF ToColorRef(Colour colour);

protected:
    // Copies `from` of `source`, which lies wholly inside the source picture, to (x, y).
    void BlitInside(int x, int y, const Bitmap& source, const Rect& from);

private:
    Bitmap& owner_;
    HDC dc_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
};

}  // namespace snapora
