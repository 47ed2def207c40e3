#include "imaging/SoftwareCanvas.h"

#include <cstring>

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

}  // namespace snapora
