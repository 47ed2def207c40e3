#pragma once
// A picture of 24-bit pixels (blue, green, red per pixel, rows top-down,
// each row padded to four bytes: the layout of a top-down 24-bit DIB).

#include <cstdint>
#include <memory>

#include "base/Colour.h"
#include "base/Geometry.h"
#include "imaging/Canvas.h"

namespace snapora {

class Bitmap;

// Where a bitmap's pixels live. On Windows a DIB section, so GDI draws straight
// into the pixels the portable code reads; elsewhere a plain buffer.
class PixelMemory {
public:
    virtual ~PixelMemory() = default;
    virtual std::uint8_t* Bits() = 0;
    virtual std::unique_ptr<Canvas> CreateCanvas(Bitmap& owner) = 0;
    virtual void* NativeHandle() { return nullptr; }
    // Called before the portable code reads or writes the bits directly.
    virtual void Synchronize() {}
};

class PixelMemorySource {
public:
    virtual ~PixelMemorySource() = default;
    virtual std::unique_ptr<PixelMemory> Allocate(int width, int height, int stride) = 0;
};

// The process-wide source of pixel memory; the composition root sets the
// platform's one at start. Passing nullptr restores the plain heap source.
void SetPixelMemorySource(PixelMemorySource* source);
PixelMemorySource& CurrentPixelMemorySource();

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height);
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    ~Bitmap();

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }
    Rect Bounds() const { return {0, 0, width_, height_}; }

    // New size with all pixels black; a size of 0 frees the memory.
    void SetSize(int width, int height);

    std::uint8_t* Row(int y);
    const std::uint8_t* Row(int y) const;
    Colour Pixel(int x, int y) const;          // clBlack outside the picture
    void SetPixel(int x, int y, Colour colour);  // ignored outside the picture

    // The drawing surface; created on first use and kept with the pixels.
    snapora::Canvas& Canvas();
    void* NativeHandle() const;

private:
    void Synchronize() const;

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::unique_ptr<PixelMemory> memory_;
    std::unique_ptr<snapora::Canvas> canvas_;
};

}  // namespace snapora
