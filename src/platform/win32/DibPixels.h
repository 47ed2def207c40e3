#pragma once
// Bitmap pixels in DIB sections, so GDI and the portable code share them.

#include <windows.h>

#include "imaging/Bitmap.h"

namespace snapora {

// Allocates one top-down 24-bit DIB section per bitmap; its canvas is a GdiCanvas.
class DibPixelSource final : public PixelMemorySource {
public:
    std::unique_ptr<PixelMemory> Allocate(int width, int height, int stride) override;
};

// The header of a top-down 24-bit DIB, the layout of Bitmap's rows.
inline BITMAPINFO TopDown24(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: the first row is the top one
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace snapora
