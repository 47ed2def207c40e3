#include "imaging/SoftwareCanvas.h"

#include <cstring>
#include <stdexcept>

namespace snapora {

void SoftwareCanvas::FillRect(const Rect& area, Colour colour) {
    Rect r = area.Intersect(target_.Bounds());
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* p = target_.Row(y) + r.left * 3;
        for (int x = r.left; x < r.right; ++x, p += 3) {
            p[0] = BlueOf(colour);
            p[1] = GreenOf(colour);
            p[2] = RedOf(colour);
        }
    }
}

void SoftwareCanvas::CopyRect(const Rect& to, const Bitmap& source, const Rect& from) {
    // Walk the destination; each pixel takes the source pixel at the same offset.
    int dx = from.left - to.left, dy = from.top - to.top;
    Rect r = to.Intersect(target_.Bounds());
    Bitmap copy;
    const Bitmap* src = &source;
    if (&source == &target_) {  // overlapping copy inside one picture
        copy = source;
        src = &copy;
    }
    Rect srcBounds = src->Bounds();
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* out = target_.Row(y);
        int sy = y + dy;
        bool rowInside = sy >= srcBounds.top && sy < srcBounds.bottom;
        for (int x = r.left; x < r.right; ++x) {
            int sx = x + dx;
            std::uint8_t* p = out + x * 3;
            if (rowInside && sx >= 0 && sx < srcBounds.right) {
                std::memcpy(p, src->Row(sy) + sx * 3, 3);
            } else {
                p[0] = p[1] = p[2] = 0;
            }
        }
    }
}

void SoftwareCanvas::Draw(int x, int y, const Bitmap& source) {
    CopyRect(Rect::FromSize(x, y, source.Width(), source.Height()), source, source.Bounds());
}

// The figures are being built; until then they say so.
void SoftwareCanvas::LineTo(int, int) { throw std::logic_error("LineTo is not built yet"); }
void SoftwareCanvas::Rectangle(const Rect&) { throw std::logic_error("Rectangle is not built yet"); }
void SoftwareCanvas::Ellipse(const Rect&) { throw std::logic_error("Ellipse is not built yet"); }
void SoftwareCanvas::Polygon(std::span<const Point>) { throw std::logic_error("Polygon is not built yet"); }
void SoftwareCanvas::TextOutAt(int, int, const std::string&) { throw std::logic_error("TextOutAt is not built yet"); }
int SoftwareCanvas::TextWidth(const std::string&) { throw std::logic_error("TextWidth is not built yet"); }
int SoftwareCanvas::TextHeight(const std::string&) { throw std::logic_error("TextHeight is not built yet"); }

}  // namespace snapora
