#include "gif/GifBitmaps.h"

#include <algorithm>

namespace snapora {

MonoBitmap::MonoBitmap(int width, int height, bool value)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), stride_(((width_ + 31) / 32) * 4) {
    bits_.assign(std::size_t(stride_) * std::size_t(height_), value ? 0xFF : 0x00);
}

void MonoBitmap::Fill(const Rect& area, bool value) {
    const Rect r = area.Intersect({0, 0, width_, height_});
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) Set(x, y, value);
}

void MonoBitmap::CopyRect(Point to, const MonoBitmap& source, const Rect& from) {
    for (int y = 0; y < from.Height(); ++y) {
        const int sy = from.top + y, dy = to.y + y;
        if (sy < 0 || sy >= source.height_ || dy < 0 || dy >= height_) continue;
        for (int x = 0; x < from.Width(); ++x) {
            const int sx = from.left + x, dx = to.x + x;
            if (sx < 0 || sx >= source.width_ || dx < 0 || dx >= width_) continue;
            Set(dx, dy, source.Get(sx, sy));
        }
    }
}

}  // namespace snapora
