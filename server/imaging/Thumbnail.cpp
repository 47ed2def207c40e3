#include "imaging/Thumbnail.h"

#include <algorithm>
#include <cmath>

namespace snapora::server {

PictureSize ThumbnailSizeFor(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    const double scale = std::min({1.0, double(ThumbnailMaxWidth) / width, double(ThumbnailMaxHeight) / height});
    return PictureSize{std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale)))};
}

std::optional<std::string> MakeThumbnail(std::string_view jpeg) {
    DecodeRules rules;
    rules.maxSide = 65500;                 // JPEG's own limit
    // Three 8K monitors side by side are 100 megapixels; a header that claims
    // more, with little data behind it, would only cost time.
    rules.maxPixels = 120'000'000;
    rules.maxMemory = 256L * 1024 * 1024;  // a progressive picture keeps all its coefficients until the last scan
    rules.maxScans = 500;
    std::optional<ScaledPicture> picture = DecodeScaled(jpeg, rules);
    if (!picture) return std::nullopt;
    return EncodeThumbnail(*picture);
}

}  // namespace snapora::server
