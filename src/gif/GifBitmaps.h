#pragma once
// The bitmaps of a GIF picture besides the 24-bit Bitmap: an indexed image
// with its palette, and a one-bit mask laid out as a 1-bit DIB (rows top-down,
// each padded to four bytes, the leftmost pixel in the high bit), so the
// Win32 layer draws it as it is.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Colour.h"
#include "base/Geometry.h"

namespace snapora {

struct IndexedImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // width * height, row-major, top-down
    std::vector<Colour> palette;       // what an index means; black beyond its end

    std::uint8_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    Colour ColourAt(int x, int y) const {
        const std::uint8_t index = At(x, y);
        return index < palette.size() ? palette[index] : clBlack;
    }
};

class MonoBitmap {
public:
    MonoBitmap() = default;
    MonoBitmap(int width, int height, bool value = false);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }
    const std::uint8_t* Bits() const { return bits_.data(); }

    bool Get(int x, int y) const {
        return (bits_[std::size_t(y) * std::size_t(stride_) + std::size_t(x >> 3)] >> (7 - (x & 7))) & 1;
    }
    void Set(int x, int y, bool value) {
        std::uint8_t& byte = bits_[std::size_t(y) * std::size_t(stride_) + std::size_t(x >> 3)];
        const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
        byte = value ? std::uint8_t(byte | bit) : std::uint8_t(byte & ~bit);
    }
    // Both clipped to the bitmap.
    void Fill(const Rect& area, bool value);
    // Copies `from` of `source` to the same size at `to`.
    void CopyRect(Point to, const MonoBitmap& source, const Rect& from);

private:
    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<std::uint8_t> bits_;
};

}  // namespace snapora
