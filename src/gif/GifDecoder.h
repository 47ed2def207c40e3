#pragma once
// Decodes GIF87a/GIF89a files into palette-indexed frames, and composes the
// first frame into a bitmap for display.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/Colour.h"
#include "imaging/Bitmap.h"

namespace snapora {

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    int colourBits = 0;  // of the local colour table, 0 when none
    bool hasLocalTable = false;
    std::array<Colour, 256> localTable{};
    bool interlaced = false;
    int delayMs = 0;
    int disposal = 0;  // 0, 1, 2 or 3; undefined methods count as 2
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    std::vector<std::uint8_t> indices;  // width*height, row-major, top-down
    // Transparent frames only: 1 where the pixel is the transparent index or
    // was never delivered by the compressed data.
    std::vector<std::uint8_t> mask;
};

enum class GifVersion { GIF87a, GIF89a };

struct GifPicture {
    GifVersion version = GifVersion::GIF87a;
    int screenWidth = 0, screenHeight = 0;
    int width = 0, height = 0;  // screen size grown to hold every frame
    int colourBits = 0;
    std::array<Colour, 256> globalTable{};
    int loopCount = 1;
    bool anyTransparent = false;
    std::vector<GifFrame> frames;
};

enum class GifError { None = 0, Stopped = 1, Empty = 2, Invalid = 3 };

struct GifProgress {
    std::size_t position, size;
    int percent;
};

// Returning false asks the loader to stop.
using GifProgressHandler = std::function<bool(const GifProgress&)>;

struct GifLoadResult {
    bool ok = false;
    GifError error = GifError::Invalid;
    GifPicture picture;
};

GifLoadResult LoadGif(std::span<const std::uint8_t> data, const GifProgressHandler& progress = {},
                      bool firstImageOnly = false);

// The first frame on a black picture of the logical size. maskOut, when given,
// receives width*height bytes: 1 where no opaque pixel of the frame lies.
Bitmap ComposeFirstFrame(const GifPicture& picture, std::vector<std::uint8_t>* maskOut);

}  // namespace snapora
