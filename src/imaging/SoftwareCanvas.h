#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"

namespace snapora {

// Draws straight into a bitmap's pixel rows; used wherever GDI is not.
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
