#include "imaging/JpegWriter.h"

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <csetjmp>
#include <stdexcept>

#include <jpeglib.h>

namespace snapora {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

}  // namespace

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    if (picture.IsEmpty()) throw std::runtime_error("Ein leeres Bild kann nicht komprimiert werden.");

    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        std::free(out);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(picture.Width());
    info.image_height = JDIMENSION(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;  // the bitmap's own byte order, no conversion pass
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.Row(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    std::string bytes(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    return bytes;
}

}  // namespace snapora
