#pragma once
// Whether an uploaded file is a JPEG picture: libjpeg reads its header.

#include <optional>
#include <string>

namespace snapora::server {

struct PictureSize {
    int width = 0, height = 0;
};

// nullopt when the file is not a readable JPEG or its size is absurd.
std::optional<PictureSize> ReadJpegHeader(const std::string& path);

}  // namespace snapora::server
