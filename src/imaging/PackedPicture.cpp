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
// Each band's filter and zstd level are chosen from eight of its rows,
// spread over it and packed both ways at the fastest level: packing every
// band twice at the default level made a 4K video frame take 390 ms and held
// up the next screenshot; now 130 to 160, within 1 % of the size.
constexpr int SampleRows = 8;
constexpr int SampleLevel = 1;
constexpr int ScreenLevel = 3;  // zstd's own default: close to its best for text and flat areas
constexpr int PhotoLevel = 1;   // photos and video gain ~2 % from level 3, at three times the time
constexpr std::size_t PhotoRatio = 4;  // a sample that shrinks less is a photo's
enum Filter : std::uint8_t { None = 0, Left = 1 };

// A row of the picture into `out`, as it is or each byte less the one a pixel before.
void FilterRow(const std::uint8_t* in, int rowBytes, Filter filter, std::uint8_t* out) {
    if (filter == None) {
        std::memcpy(out, in, std::size_t(rowBytes));
    } else {
        std::memcpy(out, in, 3);
        for (int i = 3; i < rowBytes; ++i) out[i] = std::uint8_t(in[i] - in[i - 3]);
    }
}

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
    std::vector<std::uint8_t> packed(ZSTD_compressBound(band.size()));
    auto compress = [&](std::size_t bytes, int level) {
        const std::size_t size = ZSTD_compressCCtx(context.get(), packed.data(), packed.size(), band.data(), bytes, level);
        if (ZSTD_isError(size)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(size));
        return size;
    };
    for (int top = 0; top < height; top += BandRows) {
        const int rows = std::min(BandRows, height - top);
        const std::uint8_t* source = first + std::ptrdiff_t(top) * stride;
        // Which filter suits a band depends on repeats zstd finds more than
        // on the numbers' sizes, so it is tried rather than guessed.
        const int sampleRows = std::min(SampleRows, rows);
        auto sample = [&](Filter filter) {
            for (int k = 0; k < sampleRows; ++k)
                FilterRow(source + std::ptrdiff_t(k * rows / sampleRows) * stride, rowBytes, filter,
                          band.data() + std::size_t(k) * std::size_t(rowBytes));
            return compress(std::size_t(sampleRows) * std::size_t(rowBytes), SampleLevel);
        };
        const std::size_t asIs = sample(None), leftDiffs = sample(Left);
        const Filter chosen = leftDiffs < asIs ? Left : None;
        const bool photo = std::min(asIs, leftDiffs) * PhotoRatio > std::size_t(sampleRows) * std::size_t(rowBytes);
        for (int y = 0; y < rows; ++y)
            FilterRow(source + std::ptrdiff_t(y) * stride, rowBytes, chosen,
                      band.data() + std::size_t(y) * std::size_t(rowBytes));
        const std::size_t size =
            compress(std::size_t(rows) * std::size_t(rowBytes), photo ? PhotoLevel : ScreenLevel);
        data_.push_back(chosen);
        data_.insert(data_.end(), packed.begin(), packed.begin() + std::ptrdiff_t(size));
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
