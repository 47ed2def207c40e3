#include "imaging/JpegCheck.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

namespace snapora::server {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

// libjpeg would print and exit(); jump back out instead.
void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }
void Quiet(j_common_ptr, int) {}

constexpr int MaxSide = 65500;  // JPEG's own limit

}  // namespace

std::optional<PictureSize> ReadJpegHeader(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = Quiet;
    std::optional<PictureSize> size;
    if (setjmp(errors.escape) == 0) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && info.image_width > 0 && info.image_height > 0 &&
            info.image_width <= MaxSide && info.image_height <= MaxSide)
            size = PictureSize{int(info.image_width), int(info.image_height)};
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return size;
}

}  // namespace snapora::server
