#pragma once
// libjpeg-turbo decodes at a scale of M/8: every coefficient of every block
// is still read (and a fault found), only the pixels are made smaller. An
// upload is decoded once, at the smallest scale that still covers its
// thumbnail: that is its check, and its pixels wait (small) for the thumbnail
// to be made from them off the answer's path: an area average the rest of
// the way and a small JPEG.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
};

// A picture as decoded at the smallest scale whose pixels still cover its thumbnail.
struct ScaledPicture {
    PictureSize size;                  // the picture's own
    PictureSize scaled;                // of `pixels`; 0 x 0 when its colours have no RGB
    std::vector<unsigned char> pixels;  // RGB, row after row
};

// nullopt when libjpeg cannot read the picture or the rules refuse it.
std::optional<ScaledPicture> DecodeScaled(std::string_view jpeg, const DecodeRules& rules);

// The thumbnail JPEG of the decoded picture; nullopt when it has no pixels.
std::optional<std::string> EncodeThumbnail(const ScaledPicture& picture);

}  // namespace snapora::server
