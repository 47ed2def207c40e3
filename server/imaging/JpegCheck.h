#pragma once
// Whether an uploaded file is a JPEG picture: libjpeg decodes all of it.

#include <optional>
#include <string>

namespace snapora::server {

struct PictureSize {
    int width = 0, height = 0;
};

inline constexpr int MaxPictureSide = 16384;                      // pixels, either way
inline constexpr long long MaxPicturePixels = 64LL * 1024 * 1024;  // four 4K screens side by side fit
inline constexpr long MaxDecoderMemory = 24L * 1024 * 1024;  // a progressive picture needs a whole-picture buffer

// The picture's size when every scan decodes without a fault and nothing but
// padding follows its end; nullopt when a part is missing or corrupt, the
// size is absurd, or decoding would need more memory than allowed.
std::optional<PictureSize> DecodeJpeg(const std::string& path);

}  // namespace snapora::server
