#pragma once
// Points and rectangles in pixels; right and bottom lie outside the rectangle.

#include <algorithm>
#include <cstdint>

namespace snapora {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect FromSize(int left, int top, int width, int height) {
        return {left, top, left + width, top + height};
    }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect Intersect(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
        if (r.IsEmpty()) return {};
        return r;
    }
    // The smallest rectangle holding both; an empty one adds nothing.
    Rect Union(const Rect& o) const {
        if (o.IsEmpty()) return *this;
        if (IsEmpty()) return o;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
    Rect Inflate(int d) const { return {left - d, top - d, right + d, bottom + d}; }
    // The same rectangle with its corners in order (left <= right, top <= bottom).
    Rect Normalized() const {
        return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A native window handle as an opaque number; 0 is "no window".
using NativeWindow = std::uintptr_t;

}  // namespace snapora
