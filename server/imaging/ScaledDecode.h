#pragma once
// libjpeg-turbo decodes at a scale of M/8: every coefficient of every block
// is still read (and a fault found), only the pixels are made smaller. For a
// thumbnail at the smallest scale that still covers it, with an area average
// the rest of the way and a small JPEG as the result; for a mere check at 1/8,
// which skips all but the DC terms and costs a fraction of the thumbnail.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snapora::server {

struct PictureSize {
    int width = 0, height = 0;
};

// How much of a picture the decoder takes on, and how strictly it reads it.
struct DecodeRules {
    int maxSide = 0;             // pixels, either way
    std::uint64_t maxPixels = 0;
    long maxMemory = 0;          // libjpeg's own buffers; a progressive picture keeps all its coefficients
    int maxScans = 0;            // 0: any number
    // Strict: corrupt or missing data (only a warning to libjpeg, which fills
    // in grey) or anything but zero padding after the end refuses the picture.
    bool strict = false;
    bool thumbnail = true;  // false: only read, in whatever colour space it has
};

struct ScaledPicture {
    PictureSize size;
    std::string thumbnail;  // when asked for
};

// nullopt when libjpeg cannot read the picture or the rules refuse it.
std::optional<ScaledPicture> DecodeScaled(std::string_view jpeg, const DecodeRules& rules);

}  // namespace snapora::server
