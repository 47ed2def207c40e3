#include "imaging/JpegWriter.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "imaging/JpegSession.h"

namespace snapora {

std::string jpeg::CompressToMemory(int width, int height, int quality,
                                   const std::function<void(jpeg_compress_struct&)>& started,
                                   const std::function<JSAMPROW(int)>& row) {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    StringSink sink(std::size_t(1) << 18);  // most files the ladder makes fit

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.dest = &sink.base;
    Configure(info, width, height, quality);
    jpeg_start_compress(&info, TRUE);
    // Every row in, or false as soon as `row` gives none.
    auto writeRows = [&] {
        constexpr int Batch = 16;
        JSAMPROW rows[Batch];
        while (info.next_scanline < info.image_height) {
            const int first = int(info.next_scanline), n = std::min(Batch, height - first);
            for (int i = 0; i < n; ++i)
                if (!(rows[i] = row(first + i))) return false;
            jpeg_write_scanlines(&info, rows, JDIMENSION(n));
        }
        return true;
    };
    bool finished = false;
    try {
        if (started) started(info);
        finished = row && writeRows();
    } catch (...) {
        jpeg_destroy_compress(&info);  // what `started` or `row` threw: libjpeg's memory goes too
        throw;
    }
    if (finished)
        jpeg_finish_compress(&info);
    else
        jpeg_abort_compress(&info);
    jpeg_destroy_compress(&info);
    return finished ? std::move(sink.bytes) : std::string();
}

std::optional<std::string> EncodeJpegUnless(const Bitmap& picture, int quality, const std::atomic<bool>& giveUp) {
    return EncodeJpegWatched(picture, quality,
                             [&](int, std::size_t) { return !giveUp.load(std::memory_order_relaxed); });
}

std::optional<std::string> EncodeJpegWatched(const Bitmap& picture, int quality, const EncodeWatch& keepGoing) {
    return jpeg::CompressWatched(picture, quality, nullptr, keepGoing);
}

std::optional<std::string> jpeg::CompressWatched(const Bitmap& picture, int quality,
                                                 const std::function<void(jpeg_compress_struct&)>& started,
                                                 const EncodeWatch& keepGoing) {
    CheckPicture(picture);
    const std::uint8_t* first = picture.Row(0);
    const std::ptrdiff_t stride = picture.Stride();
    jpeg_compress_struct* compression = nullptr;
    std::string bytes = CompressToMemory(
        picture.Width(), picture.Height(), quality,
        [&](jpeg_compress_struct& info) {
            compression = &info;
            if (started) started(info);
        },
        [&](int y) {
            // Rows go in 16 at a time, and libjpeg codes each 16 as they come.
            if (y % 16 == 0 && !keepGoing(y, StringSink::Of(compression).Written())) return JSAMPROW(nullptr);
            return const_cast<JSAMPROW>(first + std::ptrdiff_t(y) * stride);
        });
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    static const std::atomic<bool> never{false};
    return *EncodeJpegUnless(picture, quality, never);
}

}  // namespace snapora
