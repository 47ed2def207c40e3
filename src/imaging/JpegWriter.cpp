#include "imaging/JpegWriter.h"

#include <cstdlib>

#include "imaging/JpegSession.h"

namespace snapora {

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    jpeg::CheckPicture(picture);

    jpeg_compress_struct info{};
    jpeg::ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        std::free(out);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    jpeg::Configure(info, picture, quality);
    jpeg_start_compress(&info, TRUE);
    jpeg::WriteRows(info, picture);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    std::string bytes(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    return bytes;
}

}  // namespace snapora
