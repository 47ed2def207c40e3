#pragma once
// The drawing surface of a bitmap. GDI implements it on Windows, the software
// rasteriser everywhere else; both obey the same contract tests.

#include "base/Colour.h"
#include "base/Geometry.h"

namespace snapora {

class Bitmap;

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void FillRect(const Rect& area, Colour colour) = 0;
    // Copies `from` of `source` to `to` (same size, no scaling); source pixels
    // outside the source picture arrive black.
    virtual void CopyRect(const Rect& to, const Bitmap& source, const Rect& from) = 0;
    virtual void Draw(int x, int y, const Bitmap& source) = 0;
    virtual Colour Pixel(int x, int y) = 0;
    virtual void SetPixel(int x, int y, Colour colour) = 0;
};

}  // namespace snapora
