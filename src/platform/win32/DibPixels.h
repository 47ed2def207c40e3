#pragma once
// Bitmap pixels in DIB sections, so GDI and the portable code share them.

#include "imaging/Bitmap.h"

namespace snapora {

// Allocates one top-down 24-bit DIB section per bitmap; its canvas is a GdiCanvas.
class DibPixelSource final : public PixelMemorySource {
public:
    std::unique_ptr<PixelMemory> Allocate(int width, int height, int stride) override;
};

}  // namespace snapora
