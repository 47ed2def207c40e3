#pragma once
// Decodes GIF87a/GIF89a files into frames: each an indexed image with its
// palette and, for transparent frames, a one-bit mask.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/Colour.h"
#include "gif/GifBitmaps.h"
#include "imaging/Bitmap.h"

namespace snapora {

struct TGIFFrame {
    int left = 0, top = 0, width = 0, height = 0;
    int colourBits = 0;  // of the local colour table, 0 when none
    bool hasLocalTable = false;
    std::array<Colour, 256> localTable{};
    bool interlaced = false;
    int delay = 0;     // milliseconds
    int disposal = 0;  // 0, 1, 2 or 3; undefined methods count as 2
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    IndexedImage image;
    // Transparent frames only: 1 where the pixel is the transparent index or
    // was never delivered by the compressed data.
    MonoBitmap mask;
    // Disposal 3 only: what lay under the frame before it was drawn.
    Bitmap savedBackground;
    MonoBitmap savedMask;

    Rect Bounds() const { return Rect::FromSize(left, top, width, height); }
};

enum TGIFVersion { gvGIF87a, gvGIF89a };

struct GifPicture {
    int screenWidth = 0, screenHeight = 0;
    int width = 0, height = 0;  // the screen grown to hold every frame
    int colourBits = 0;         // the largest of the global and the local tables' bits
    std::array<Colour, 256> globalTable{};
    int loopCount = 1;  // 0: endless
    bool anyTransparent = false;
    std::vector<TGIFFrame> frames;
};

enum class GifError { None = 0, Stopped = 1, Empty = 2, Invalid = 3 };

struct GifProgress {
    std::size_t position, size;
    int percent;
};

// Called with the load's keep-on-processing flag; leaving it false stops the load.
using GifProgressHandler = std::function<void(const GifProgress&, bool& keepOn)>;

// All frames together, and the logical screen, stay within this many pixels.
constexpr std::size_t kGifPixelBudget = std::size_t(1) << 26;

struct GifLoadOptions {
    GifProgressHandler progress;
    bool firstImageOnly = false;
    std::size_t pixelBudget = kGifPixelBudget;
};

struct GifLoadResult {
    bool ok = false;
    GifError error = GifError::Invalid;
    std::optional<TGIFVersion> version;  // once the signature was read
    GifPicture picture;
};

GifLoadResult LoadGif(std::span<const std::uint8_t> data, const GifLoadOptions& options = {});

}  // namespace snapora
