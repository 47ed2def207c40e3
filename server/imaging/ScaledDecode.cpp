#include "imaging/ScaledDecode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

#include "imaging/JpegStringSink.h"
#include "imaging/Thumbnail.h"

namespace snapora::server {

namespace {

constexpr int Quality = 80;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    int warnings = 0;
    int maxScans = 0;
};

// libjpeg would print and exit(); jump back out instead.
void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }
// Level -1 is a warning: corrupt or missing data. The trace levels above say nothing about the picture.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0) ++reinterpret_cast<ErrorManager*>(info->err)->warnings;
}

// Thousands of tiny progressive scans would cost minutes for nothing.
void LimitScans(j_common_ptr info) {
    const int most = reinterpret_cast<ErrorManager*>(info->err)->maxScans;
    if (most > 0 && info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > most)
        OnError(info);
}

// Everything that must be released after libjpeg jumps out of a call: held
// on the heap, so nothing on the jumped-over frames needs a destructor.
struct Decoding {
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    jpeg_decompress_struct in{};
    bool created = false;
    std::vector<unsigned char> row;  // one decoded row, when its colours need converting
    ScaledPicture picture;

    ~Decoding() {
        if (created) jpeg_destroy_decompress(&in);
    }
};

struct Encoding {
    ErrorManager errors{};
    jpeg_compress_struct out{};
    bool created = false;
    jpeg::StringSink sink{16 * 1024};  // owns the bytes: a jump out of the encoder leaves nothing to free twice

    ~Encoding() {
        if (created) jpeg_destroy_compress(&out);
    }
};

// Adobe's inverted CMYK, as nearly every CMYK JPEG is stored, to RGB.
void CmykToRgb(const unsigned char* cmyk, unsigned char* rgb, int width) {
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3)
        for (int c = 0; c < 3; ++c) rgb[c] = static_cast<unsigned char>(cmyk[c] * cmyk[3] / 255);
}

// Runs libjpeg into d.picture; false for a picture it cannot read or the
// rules refuse. May jump out through OnError: everything lives in `d`.
bool Decode(Decoding& d, std::string_view jpeg, const DecodeRules& rules) {
    jpeg_create_decompress(&d.in);
    d.created = true;
    d.in.progress = &d.progress;
    d.in.mem->max_memory_to_use = rules.maxMemory;
    jpeg_mem_src(&d.in, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&d.in, TRUE) != JPEG_HEADER_OK) return false;
    ScaledPicture& picture = d.picture;
    picture.size = {int(d.in.image_width), int(d.in.image_height)};
    const int width = picture.size.width, height = picture.size.height;
    if (width <= 0 || height <= 0 || width > rules.maxSide || height > rules.maxSide ||
        std::uint64_t(width) * std::uint64_t(height) > rules.maxPixels)
        return false;
    bool colours = true;
    switch (d.in.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB: d.in.out_color_space = JCS_RGB; break;
        case JCS_CMYK:
        case JCS_YCCK: d.in.out_color_space = JCS_CMYK; break;
        default: colours = false;  // no conversion to RGB exists: read, but no pixels to keep
    }
    // The smallest scale whose picture still covers the thumbnail.
    const PictureSize thumbnail = ThumbnailSizeFor(width, height);
    d.in.scale_denom = 8;
    for (d.in.scale_num = 1; d.in.scale_num < 8; ++d.in.scale_num) {
        jpeg_calc_output_dimensions(&d.in);
        if (int(d.in.output_width) >= thumbnail.width && int(d.in.output_height) >= thumbnail.height) break;
    }
    if (!colours) {  // the pixels are thrown away: the cheapest way to make them
        d.in.scale_num = 1;
        d.in.dct_method = JDCT_IFAST;
        d.in.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&d.in);
    const int scaledWidth = int(d.in.output_width);
    const std::size_t stride = std::size_t(scaledWidth) * 3;
    if (colours) {
        picture.scaled = {scaledWidth, int(d.in.output_height)};
        picture.pixels.resize(stride * std::size_t(picture.scaled.height));
    }
    if (!colours || d.in.out_color_space == JCS_CMYK)
        d.row.resize(std::size_t(scaledWidth) * std::size_t(d.in.output_components));
    // A strict read stops at the first fault: the rest would only be grey.
    while (d.in.output_scanline < d.in.output_height && !(rules.strict && d.errors.warnings > 0)) {
        const std::size_t y = d.in.output_scanline;
        JSAMPROW pointer = d.row.empty() ? &picture.pixels[y * stride] : d.row.data();
        if (jpeg_read_scanlines(&d.in, &pointer, 1) != 1) return false;
        if (colours && !d.row.empty()) CmykToRgb(d.row.data(), &picture.pixels[y * stride], scaledWidth);
    }
    if (rules.strict) {
        if (d.errors.warnings > 0) return false;
        jpeg_finish_decompress(&d.in);  // reads on to the end of the picture
        const unsigned char* rest = d.in.src->next_input_byte;
        const bool onlyPadding =
            std::all_of(rest, rest + d.in.src->bytes_in_buffer, [](unsigned char b) { return b == 0; });
        if (d.errors.warnings > 0 || !onlyPadding) return false;
    } else {
        jpeg_finish_decompress(&d.in);
    }
    return true;
}

// The area average from `from` down to `to` in fixed point: each source
// column (row) gives its weight to the one or two target cells it overlaps.
struct Span {
    int cell;
    std::uint32_t first, second;  // parts of 1 << 12
};

std::vector<Span> Spans(int inputs, int outputs) {
    const double ratio = double(inputs) / outputs;  // >= 1: never enlarged
    std::vector<Span> spans(static_cast<std::size_t>(inputs));
    for (int i = 0; i < inputs; ++i) {
        const int cell = std::min(outputs - 1, int(i / ratio));
        const double first = std::min(1.0, (cell + 1) * ratio - i);
        const auto part = std::uint32_t(first * 4096 + 0.5);
        spans[std::size_t(i)] = {cell, part, cell + 1 < outputs ? 4096 - part : 0};
    }
    return spans;
}

// Down first: source rows are summed into the target row they fall in (and
// the next, for a row that straddles two); each target row, once complete,
// is summed across.
std::vector<unsigned char> Shrink(const ScaledPicture& from, PictureSize to) {
    const std::vector<Span> columns = Spans(from.scaled.width, to.width), rows = Spans(from.scaled.height, to.height);
    const std::size_t across = std::size_t(from.scaled.width) * 3, stride = std::size_t(to.width) * 3;
    // Never above 4096 * 255 * (rows per target row + 1): far from overflowing.
    std::vector<std::uint32_t> down(across * 2, 0);
    std::vector<double> line(stride);
    std::vector<unsigned char> shrunk(stride * std::size_t(to.height));
    const double perArea = double(to.width) / from.scaled.width * double(to.height) / from.scaled.height / 16777216.0;
    int target = 0;  // the target row summed in the first half of `down`
    auto finishRow = [&] {
        std::fill(line.begin(), line.end(), 0.0);
        const std::uint32_t* source = down.data();
        for (const Span& column : columns) {
            double* cell = &line[std::size_t(column.cell) * 3];
            for (int c = 0; c < 3; ++c) cell[c] += double(column.first) * source[c];
            if (column.second != 0)
                for (int c = 0; c < 3; ++c) cell[3 + c] += double(column.second) * source[c];
            source += 3;
        }
        unsigned char* out = &shrunk[std::size_t(target) * stride];
        for (std::size_t i = 0; i < stride; ++i)
            out[i] = static_cast<unsigned char>(std::min(255.0, line[i] * perArea + 0.5));
        std::copy(down.begin() + std::ptrdiff_t(across), down.end(), down.begin());
        std::fill(down.begin() + std::ptrdiff_t(across), down.end(), 0u);
        ++target;
    };
    for (int y = 0; y < from.scaled.height; ++y) {
        const Span& row = rows[std::size_t(y)];
        while (target < row.cell) finishRow();
        const unsigned char* source = &from.pixels[std::size_t(y) * across];
        std::uint32_t* first = down.data();
        std::uint32_t* second = first + across;
        for (std::size_t i = 0; i < across; ++i) first[i] += row.first * source[i];
        if (row.second != 0)
            for (std::size_t i = 0; i < across; ++i) second[i] += row.second * source[i];
    }
    while (target < to.height) finishRow();
    return shrunk;
}

}  // namespace

std::optional<ScaledPicture> DecodeScaled(std::string_view jpeg, const DecodeRules& rules) {
    if (jpeg.empty()) return std::nullopt;
    auto decoding = std::make_unique<Decoding>();
    Decoding& d = *decoding;
    d.in.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = OnError;
    d.errors.base.emit_message = OnMessage;
    d.errors.maxScans = rules.maxScans;
    d.progress.progress_monitor = LimitScans;
    if (setjmp(d.errors.escape) != 0 || !Decode(d, jpeg, rules)) return std::nullopt;
    return std::move(d.picture);
}

std::optional<std::string> EncodeThumbnail(const ScaledPicture& picture) {
    if (picture.pixels.empty()) return std::nullopt;
    const PictureSize size = ThumbnailSizeFor(picture.size.width, picture.size.height);
    const std::vector<unsigned char> thumbnail = Shrink(picture, size);
    auto encoding = std::make_unique<Encoding>();
    Encoding& e = *encoding;
    e.out.err = jpeg_std_error(&e.errors.base);
    e.errors.base.error_exit = OnError;
    if (setjmp(e.errors.escape) != 0) return std::nullopt;
    jpeg_create_compress(&e.out);
    e.created = true;
    e.out.dest = &e.sink.base;
    e.out.image_width = JDIMENSION(size.width);
    e.out.image_height = JDIMENSION(size.height);
    e.out.input_components = 3;
    e.out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.out);
    jpeg_set_quality(&e.out, Quality, TRUE);
    e.out.optimize_coding = TRUE;  // a few percent smaller, for nothing but a second pass over tiny data
    jpeg_start_compress(&e.out, TRUE);
    while (e.out.next_scanline < e.out.image_height) {
        JSAMPROW pointer = const_cast<unsigned char*>(&thumbnail[std::size_t(e.out.next_scanline) * size.width * 3]);
        jpeg_write_scanlines(&e.out, &pointer, 1);
    }
    jpeg_finish_compress(&e.out);
    return std::move(e.sink.bytes);
}

}  // namespace snapora::server
