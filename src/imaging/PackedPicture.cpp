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

struct ContextFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

}  // namespace

PackedPicture::PackedPicture(const Bitmap& picture)
    : PackedPicture(picture.IsEmpty() ? nullptr : picture.Row(0), picture.Stride(), picture.Width(),
                    picture.Height()) {}

PackedPicture::PackedPicture(const std::uint8_t* first, std::ptrdiff_t stride, int width, int height,
                             const std::function<void()>& betweenBands) {
    if (width <= 0 || height <= 0 || !first) return;
    width_ = width;
    height_ = height;
    const int rowBytes = width * 3;
    std::unique_ptr<ZSTD_CCtx, ContextFree> context(ZSTD_createCCtx());
    if (!context) throw std::bad_alloc();
    std::vector<std::uint8_t> band(std::size_t(rowBytes) * BandRows);
    std::vector<std::uint8_t> packed(ZSTD_compressBound(band.size())), other(packed.size());
    Filter chosen = None;
    std::size_t noneSize = 0;
    for (int top = 0; top < height; top += BandRows) {
        const int rows = std::min(BandRows, height - top);
        const std::uint8_t* source = first + std::ptrdiff_t(top) * stride;
        // Both filters, and the smaller result: which one suits a band of a
        // screen depends on repeats zstd finds more than on the numbers' sizes.
        std::size_t best = 0;
        for (const Filter filter : {None, Left}) {
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
            std::vector<std::uint8_t>& into = filter == None ? packed : other;
            const std::size_t size = ZSTD_compressCCtx(context.get(), into.data(), into.size(), band.data(),
                                                       std::size_t(rows) * std::size_t(rowBytes), Level);
            if (ZSTD_isError(size)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(size));
            if (filter == None || size < best) {
                best = size;
                chosen = filter;
            }
            if (filter == None) noneSize = size;
        }
        const std::vector<std::uint8_t>& result = chosen == None ? packed : other;
        data_.push_back(chosen);
        data_.insert(data_.end(), result.begin(), result.begin() + std::ptrdiff_t(chosen == None ? noneSize : best));
        if (betweenBands) betweenBands();
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
