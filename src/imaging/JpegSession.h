#pragma once
// One libjpeg compression of a bitmap, set up the one way the program encodes:
// 24-bit BGR rows in, libjpeg's defaults, a baseline colour JPEG at the given
// quality. The writer and the size probe share it, so they run the very same
// pipeline. libjpeg reports errors by longjmp: they become exceptions here.

#include <cstdio>  // jpeglib.h needs FILE
#include <csetjmp>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

#include "imaging/Bitmap.h"
#include "imaging/JpegStringSink.h"
#include "imaging/JpegWriter.h"

namespace snapora::jpeg {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] inline void OnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

inline void CheckPicture(const Bitmap& picture) {
    if (picture.IsEmpty()) throw std::runtime_error("Ein leeres Bild kann nicht komprimiert werden.");
}

// Sets the compression parameters; the destination is the caller's.
inline void Configure(jpeg_compress_struct& info, int width, int height, int quality) {
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;  // the bitmap's own byte order, no conversion pass
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
}

inline void Configure(jpeg_compress_struct& info, const Bitmap& picture, int quality) {
    Configure(info, picture.Width(), picture.Height(), quality);
}

// One compression into memory in the program's set-up: `started` runs after
// jpeg_start_compress (where modules can be taken over), then every row from
// `row` (y -> the row's BGR pixels) goes in, and the file's bytes come back.
// Without `row` the compression is given up after `started`; so it is when
// `row` gives no row, and the result is empty.
std::string CompressToMemory(int width, int height, int quality,
                             const std::function<void(jpeg_compress_struct&)>& started,
                             const std::function<JSAMPROW(int)>& row);

// EncodeJpegWatched with `started` run on the started compression, as
// CompressToMemory runs it.
std::optional<std::string> CompressWatched(const Bitmap& picture, int quality,
                                           const std::function<void(jpeg_compress_struct&)>& started,
                                           const EncodeWatch& keepGoing);

}  // namespace snapora::jpeg
