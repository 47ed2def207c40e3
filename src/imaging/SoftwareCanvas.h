#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"

namespace snapora {

// Draws straight into a bitmap's pixel rows; used wherever GDI is not.
//
// Each figure is first turned into the set of pixels it covers (pen and brush
// apart, each pixel at most once), clipped to the picture, and only then
// painted, so a not-XOR figure drawn twice restores every pixel, thick and
// filled ones included. The pixel rules follow GDI's: pixel centres sit on
// the integer coordinates, right and bottom edges of rectangles and ellipses
// lie outside, a line leaves out its end point, a figure without an outline
// (clear pen) fills one pixel less to the right and bottom. Thick pens are
// centred on the figure's edge with round line ends; dotted and dash-dot-dot
// styles apply to one-pixel pens, wider ones draw solid (as GDI's do).
//
// Text uses a built-in block font: every character is a 3 by 5 grid of
// square blocks (letters, digits and common punctuation have their own
// pictures, anything else shows a box), whose block size follows the font's
// character height; the font's name is ignored.
class SoftwareCanvas final : public Canvas {
public:
    explicit SoftwareCanvas(Bitmap& target) : target_(target) {}

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
    Colour Pixel(int x, int y) override { return target_.Pixel(x, y); }
    void SetPixel(int x, int y, Colour colour) override { target_.SetPixel(x, y, colour); }

private:
    Bitmap& target_;
};

}  // namespace snapora
