#pragma once
// Whether an uploaded file is a JPEG picture: libjpeg decodes all of it, at
// the scale its thumbnail is made from (ScaledDecode.h), which still reads
// every coefficient.

#include <optional>
#include <string>
#include <string_view>

#include "imaging/ScaledDecode.h"

namespace snapora::server {

inline constexpr int MaxPictureSide = 16384;                      // pixels, either way
inline constexpr long long MaxPicturePixels = 64LL * 1024 * 1024;  // four 4K screens side by side fit
inline constexpr long MaxDecoderMemory = 24L * 1024 * 1024;  // a progressive picture needs a whole-picture buffer

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadUpload(const std::string& path);

// The picture, decoded for its thumbnail, when every scan decodes without a
// fault and nothing but padding follows its end; nullopt when a part is
// missing or corrupt, the size is absurd, or decoding would need more memory than allowed.
std::optional<ScaledPicture> CheckJpeg(std::string_view jpeg);

}  // namespace snapora::server
