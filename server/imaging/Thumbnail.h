#pragma once
// Thumbnails for the pages that list many screenshots: libjpeg-turbo decodes
// the picture at the smallest of its scales (M/8) that is still at least the
// thumbnail's size, an area average takes it the rest of the way, and the
// result is a small JPEG (ScaledDecode.h).

#include <optional>
#include <string>
#include <string_view>

#include "imaging/ScaledDecode.h"

namespace snapora::server {

inline constexpr int ThumbnailMaxWidth = 400;
inline constexpr int ThumbnailMaxHeight = 300;

// The picture's size shrunk to fit ThumbnailMaxWidth x ThumbnailMaxHeight
// (never enlarged), at least 1 x 1. The pages use it for the img size.
PictureSize ThumbnailSizeFor(int width, int height);

// The thumbnail of a JPEG picture, or nullopt when libjpeg cannot read it or
// it is absurd: more than 120 megapixels, more than 500 scans, or more than
// 256 MB of decoder memory.
std::optional<std::string> MakeThumbnail(std::string_view jpeg);

}  // namespace snapora::server
