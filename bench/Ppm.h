#pragma once
// Pictures for the benchmarks: binary PPM files (P6, maxval 255), as
// ImageMagick's convert writes them.

#include <fstream>
#include <string>

#include "imaging/Bitmap.h"

namespace snapora {

inline bool ReadPpm(const std::string& path, Bitmap& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || width <= 0 || height <= 0) return false;
    picture.SetSize(width, height);
    std::string row(size_t(width) * 3, '\0');
    for (int y = 0; y < height; ++y) {
        if (!in.read(row.data(), std::streamsize(row.size()))) return false;
        std::uint8_t* out = picture.Row(y);
        for (int x = 0; x < width; ++x) {  // RGB to the bitmap's BGR
            out[x * 3] = std::uint8_t(row[x * 3 + 2]);
            out[x * 3 + 1] = std::uint8_t(row[x * 3 + 1]);
            out[x * 3 + 2] = std::uint8_t(row[x * 3]);
        }
    }
    return true;
}

}  // namespace snapora
