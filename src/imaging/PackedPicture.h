#pragma once
// A picture kept losslessly compressed: its rows in bands of 64, each band
// compressed with zstd as it is or with each byte less the one a pixel
// before (photos and gradients shrink much more that way, text and flat
// areas less), whichever eight of its rows favour. A 3840x2160 desktop takes
// 0.3 to 6 MB instead of 25 MB (a photo up to 15); unpacking gives back every byte.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/Bitmap.h"

namespace snapora {

class PackedPicture {
public:
    PackedPicture() = default;
    // Packs `height` rows of `width` 24-bit pixels, `stride` bytes apart.
    // `betweenBands`, if given, runs after each band: it may hold the packing up.
    PackedPicture(const std::uint8_t* first, std::ptrdiff_t stride, int width, int height,
                  const std::function<void()>& betweenBands = {});
    explicit PackedPicture(const Bitmap& picture);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }
    std::size_t PackedBytes() const { return data_.size(); }

    // The pixels into `picture`, resized to fit when its size differs (its
    // memory is used again when it does not).
    void UnpackInto(Bitmap& picture) const;
    Bitmap Unpack() const;

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> data_;    // the bands one after the other
    std::vector<std::uint32_t> bands_;  // where each band ends in data_
};

}  // namespace snapora
