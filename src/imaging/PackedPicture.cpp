#include "imaging/PackedPicture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <zstd.h>

namespace snapora {

namespace {

constexpr int BandRows = 64;
constexpr int Level = 3;  // zstd's own default: close to its best for screens, at ~300 MB/s
enum Filter : std::uint8_t { None = 0, Left = 1 };

// The filter that leaves the smaller sum of magnitudes, judged on every
// eighth row of the band (as PNG encoders judge theirs).
Filter ChooseFilter(const std::uint8_t* first, std::ptrdiff_t stride, int rowBytes, int rows) {
    std::uint64_t none = 0, left = 0;
    for (int y = 0; y < rows; y += 8) {
        const std::uint8_t* row = first + std::ptrdiff_t(y) * stride;
        for (int i = 0; i < rowBytes; ++i) {
            const auto plain = std::int8_t(row[i]);
            const auto less = std::int8_t(std::uint8_t(row[i] - (i >= 3 ? row[i - 3] : 0)));
            none += std::uint64_t(plain < 0 ? -plain : plain);
            left += std::uint64_t(less < 0 ? -less : less);
        }
    }
    return left < none ? Left : None;
}

struct ContextFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

}  // namespace

PackedPicture::PackedPicture(const Bitmap& picture)
    : PackedPicture(picture.IsEmpty() ? nullptr : picture.Row(0), picture.Stride(), picture.Width(),
                    picture.Height()) {}

PackedPicture::PackedPicture(const std::uint8_t* first, std::ptrdiff_t stride, int width, int height) {
    if (width <= 0 || height <= 0 || !first) return;
    width_ = width;
    height_ = height;
    const int rowBytes = width * 3;
    std::unique_ptr<ZSTD_CCtx, ContextFree> context(ZSTD_createCCtx());
    if (!context) throw std::bad_alloc();
    std::vector<std::uint8_t> band(std::size_t(rowBytes) * BandRows);
    std::vector<std::uint8_t> packed(ZSTD_compressBound(band.size()));
    for (int top = 0; top < height; top += BandRows) {
        const int rows = std::min(BandRows, height - top);
        const std::uint8_t* source = first + std::ptrdiff_t(top) * stride;
        const Filter filter = ChooseFilter(source, stride, rowBytes, rows);
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* in = source + std::ptrdiff_t(y) * stride;
            std::uint8_t* out = band.data() + std::size_t(y) * std::size_t(rowBytes);
            if (filter == None) {
                std::memcpy(out, in, std::size_t(rowBytes));
            } else {
                std::memcpy(out, in, 3);
                for (int i = 3; i < rowBytes; ++i) out[i] = std::uint8_t(in[i] - in[i - 3]);
            }
        }
        const std::size_t size = ZSTD_compressCCtx(context.get(), packed.data(), packed.size(), band.data(),
                                                   std::size_t(rows) * std::size_t(rowBytes), Level);
        if (ZSTD_isError(size)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(size));
        data_.push_back(filter);
        data_.insert(data_.end(), packed.begin(), packed.begin() + std::ptrdiff_t(size));
        bands_.push_back(std::uint32_t(data_.size()));
    }
    data_.shrink_to_fit();
}

void PackedPicture::UnpackInto(Bitmap& picture) const {
    if (picture.Width() != width_ || picture.Height() != height_) picture.SetSize(width_, height_);
    if (IsEmpty()) return;
    const int rowBytes = width_ * 3;
    std::unique_ptr<ZSTD_DCtx, ContextFree> context(ZSTD_createDCtx());
    if (!context) throw std::bad_alloc();
    std::vector<std::uint8_t> band(std::size_t(rowBytes) * BandRows);
    std::size_t at = 0;
    for (std::size_t b = 0; b < bands_.size(); ++b) {
        const int top = int(b) * BandRows, rows = std::min(BandRows, height_ - top);
        const auto filter = Filter(data_[at]);
        const std::size_t size = ZSTD_decompressDCtx(context.get(), band.data(), band.size(), data_.data() + at + 1,
                                                     bands_[b] - at - 1);
        if (ZSTD_isError(size) || size != std::size_t(rows) * std::size_t(rowBytes))
            throw std::runtime_error("zstd: damaged picture");
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* in = band.data() + std::size_t(y) * std::size_t(rowBytes);
            std::uint8_t* out = picture.Row(top + y);
            if (filter == None) {
                std::memcpy(out, in, std::size_t(rowBytes));
            } else {
                std::memcpy(out, in, 3);
                for (int i = 3; i < rowBytes; ++i) out[i] = std::uint8_t(in[i] + out[i - 3]);
            }
        }
        at = bands_[b];
    }
}

Bitmap PackedPicture::Unpack() const {
    Bitmap picture;
    UnpackInto(picture);
    return picture;
}

}  // namespace snapora
