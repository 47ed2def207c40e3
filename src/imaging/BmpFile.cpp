#include "imaging/BmpFile.h"

#include <cstring>
#include <span>

#include "gif/ByteReader.h"

namespace snapora {

namespace {

constexpr int kLargestSide = 16384;

std::uint32_t U32le(ByteReader& in) {
    const std::uint32_t low = in.U16le();
    return low | (std::uint32_t(in.U16le()) << 16);
}

}  // namespace

Bitmap ReadBmp(std::string_view file) {
    ByteReader in(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    if (in.U8() != 'B' || in.U8() != 'M') return {};
    in.Skip(8);  // file size and two reserved words
    const std::uint32_t pixelsAt = U32le(in);
    const std::uint32_t headerSize = U32le(in);
    const auto width = std::int32_t(U32le(in));
    const auto height = std::int32_t(U32le(in));
    const std::uint16_t planes = in.U16le();
    const std::uint16_t bitsPerPixel = in.U16le();
    const std::uint32_t compression = U32le(in);
    if (in.Exhausted() || headerSize < 40 || planes != 1 || bitsPerPixel != 24 || compression != 0) return {};
    if (width <= 0 || width > kLargestSide || height == 0 || height < -kLargestSide || height > kLargestSide) return {};

    const bool topDown = height < 0;
    const int rows = topDown ? -height : height;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (pixelsAt > file.size() || file.size() - pixelsAt < stride * size_t(rows)) return {};
    Bitmap picture(width, rows);
    for (int y = 0; y < rows; ++y) {
        const size_t row = size_t(topDown ? y : rows - 1 - y);
        std::memcpy(picture.Row(y), file.data() + pixelsAt + row * stride, size_t(width) * 3);
    }
    return picture;
}

}  // namespace snapora
