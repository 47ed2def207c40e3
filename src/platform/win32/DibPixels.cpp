#include "platform/win32/DibPixels.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/GdiCanvas.h"

namespace snapora {

namespace {

class DibPixels final : public PixelMemory {
public:
    DibPixels(HBITMAP bitmap, std::uint8_t* bits) : bitmap_(bitmap), bits_(bits) {}
    // Bitmap destroys its canvas first, so the section is no longer selected anywhere.
    ~DibPixels() override { DeleteObject(bitmap_); }
    DibPixels(const DibPixels&) = delete;
    DibPixels& operator=(const DibPixels&) = delete;

    std::uint8_t* Bits() override { return bits_; }
    std::unique_ptr<Canvas> CreateCanvas(Bitmap& owner) override {
        return std::make_unique<GdiCanvas>(owner, bitmap_);
    }
    void* NativeHandle() override { return bitmap_; }
    // GDI may batch drawing calls; the bits are only current after a flush.
    void Synchronize() override { GdiFlush(); }

private:
    HBITMAP bitmap_;
    std::uint8_t* bits_;
};

}  // namespace

std::unique_ptr<PixelMemory> DibPixelSource::Allocate(int width, int height, int stride) {
    BITMAPINFO info = TopDown24(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    // A new bitmap is black; the section's initial contents are not documented.
    std::memset(bits, 0, size_t(stride) * size_t(height));
    return std::make_unique<DibPixels>(bitmap, static_cast<std::uint8_t*>(bits));
}

}  // namespace snapora
