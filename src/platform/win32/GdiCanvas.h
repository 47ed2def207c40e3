#pragma once
// The canvas of a bitmap whose pixels are a DIB section: GDI draws straight
// into the bits the portable code reads.
//
// Pens, brushes and fonts are GDI objects made when their settings change and
// kept selected until then. Figures reach GDI cut down to the picture's
// neighbourhood, so far-away points cost nothing; the two kinds of input GDI
// cannot take exactly, pens wider than 4096 pixels and ellipses reaching
// further than 16384 pixels beyond the picture, go to the software
// rasteriser on the same pixels. Text in not-XOR mode (GDI's text ignores the
// raster mode), and outlined, filled ellipses and polygons in not-XOR mode
// (GDI's fill reaches under part of their outline), are drawn in copy mode
// with inverted colours on a scratch picture and XORed in.

#include <windows.h>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"
#include "imaging/Clipping.h"

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
    // Select the objects for the current settings, making new ones when they changed.
    void UsePen();
    void UseBrush();
    void UseFont();
    void UseFigureSettings();
    int PenWidth() const;
    bool FitsGdi(const Rect& box, int margin) const;
    void PolygonCutToPicture(std::span<const PointF> points);
    SIZE Extent(const std::wstring& text);
    bool NeedsScratch() const;
    template <typename Figure>
    void NotXorThroughScratch(const Rect& area, Figure figure);
    // The same figure through the software rasteriser, for input GDI cannot take.
    template <typename Figure>
    void DrawBySoftware(Figure draw);

    Bitmap& owner_;
    HDC dc_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    HGDIOBJ previousPen_ = nullptr;
    HGDIOBJ previousBrush_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;

    HPEN pen_ = nullptr;
    Pen penMade_;
    HBRUSH brush_ = nullptr;
    COLORREF brushMade_ = 0;
    HFONT font_ = nullptr;
    Font fontMade_;
};

}  // namespace snapora
