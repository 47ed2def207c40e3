#pragma once
// The drawing surface of a bitmap. GDI implements it on Windows, the software
// rasteriser everywhere else; both obey the same contract tests.
//
// Like a GDI device context it keeps a pen, a brush, a font and a current
// position between calls; the figures use whatever is set when they are drawn.

#include <span>
#include <string>

#include "base/Colour.h"
#include "base/Font.h"
#include "base/Geometry.h"

namespace snapora {

class Bitmap;

enum class PenStyle { Solid, Dot, DashDotDot, Clear };
// How a figure's pixels combine with the picture: replace it, or
// not-XOR (each pixel becomes ~(colour ^ pixel), so drawing twice restores it).
enum class PenMode { Copy, NotXor };
enum class BrushStyle { Solid, Clear };

struct Pen {
    Colour colour = clBlack;
    int width = 1;
    PenStyle style = PenStyle::Solid;
    PenMode mode = PenMode::Copy;  // for brush fills of the figures too
};

struct Brush {
    Colour colour = clWhite;
    BrushStyle style = BrushStyle::Solid;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    Pen pen;
    Brush brush;
    Font font;
    // Giving the brush a colour makes a hollow brush solid.
    void SetBrushColour(Colour colour) {
        brush.colour = colour;
        brush.style = BrushStyle::Solid;
    }
    Point PenPos() const { return penPos_; }

    // Lines with the pen: from the current position to (x, y), which becomes
    // the current position; the end point itself is not drawn.
    void MoveTo(int x, int y) { penPos_ = {x, y}; }
    virtual void LineTo(int x, int y) = 0;
    // Outlined with the pen, filled with the brush; the corners may come in any
    // order, right and bottom lie outside.
    virtual void Rectangle(const Rect& corners) = 0;
    virtual void Ellipse(const Rect& corners) = 0;
    virtual void Polygon(std::span<const Point> points) = 0;
    // Text in the font's colour with its top-left corner at (x, y); a solid
    // brush fills the text's cell, a hollow one leaves the picture between
    // letters. The pen's mode applies to text as to the figures.
    virtual void TextOutAt(int x, int y, const std::string& text) = 0;
    virtual int TextWidth(const std::string& text) = 0;
    virtual int TextHeight(const std::string& text) = 0;

    // Plain fills and copies, whatever pen and brush are set.
    virtual void FillRect(const Rect& area, Colour colour) = 0;
    // Copies `from` of `source` to `to` (same size, no scaling); source pixels
    // outside the source picture arrive black.
    virtual void CopyRect(const Rect& to, const Bitmap& source, const Rect& from) = 0;
    virtual void Draw(int x, int y, const Bitmap& source) = 0;
    virtual Colour Pixel(int x, int y) = 0;
    virtual void SetPixel(int x, int y, Colour colour) = 0;

protected:
    void SetPenPos(Point p) { penPos_ = p; }

private:
    Point penPos_;
};

}  // namespace snapora
