#include "imaging/JpegWriter.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/JpegSession.h"

namespace snapora {

std::string jpeg::CompressToMemory(int width, int height, int quality,
                                   const std::function<void(jpeg_compress_struct&)>& started,
                                   const std::function<JSAMPROW(int)>& row) {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        std::free(out);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    Configure(info, width, height, quality);
    jpeg_start_compress(&info, TRUE);
    if (started) started(info);
    std::string bytes;
    if (row) {
        constexpr int Batch = 16;
        JSAMPROW rows[Batch];
        while (info.next_scanline < info.image_height) {
            const int first = int(info.next_scanline), n = std::min(Batch, height - first);
            for (int i = 0; i < n; ++i) rows[i] = row(first + i);
            jpeg_write_scanlines(&info, rows, JDIMENSION(n));
        }
        jpeg_finish_compress(&info);
        bytes.assign(reinterpret_cast<const char*>(out), outSize);
    } else {
        jpeg_abort_compress(&info);
    }
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    jpeg::CheckPicture(picture);
    const std::uint8_t* first = picture.Row(0);
    const std::ptrdiff_t stride = picture.Stride();
    return jpeg::CompressToMemory(picture.Width(), picture.Height(), quality, nullptr, [&](int y) {
        return const_cast<JSAMPROW>(first + std::ptrdiff_t(y) * stride);
    });
}

}  // namespace snapora
