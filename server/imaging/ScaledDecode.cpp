#include "imaging/ScaledDecode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

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

// Where one input column (or row) lands: the output cell it starts in, and
// how much of it falls there; the rest, if any, goes to the next cell.
struct Span {
    int cell;
    float first, second;
};

std::vector<Span> Spans(int inputs, int outputs) {
    const double ratio = double(inputs) / outputs;  // >= 1: never enlarged
    std::vector<Span> spans(std::size_t(inputs), Span{0, 1.0f, 0.0f});
    for (int i = 0; i < inputs; ++i) {
        int cell = std::min(outputs - 1, int(i / ratio));
        double end = (cell + 1) * ratio;
        double first = std::min(1.0, end - i);
        spans[std::size_t(i)] = {cell, float(first), cell + 1 < outputs ? float(1.0 - first) : 0.0f};
    }
    return spans;
}

// Everything that must be released after libjpeg jumps out of a call: held
// on the heap, so nothing on the jumped-over frames needs a destructor.
struct Work {
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    bool inCreated = false, outCreated = false;
    bool shrinking = false;                // false: only read
    PictureSize size;                      // the thumbnail's
    std::vector<unsigned char> row;        // one decoded row
    std::vector<Span> columns, rows;
    std::vector<float> line;               // one row averaged across: thumbnail width x 3
    std::vector<float> sums;               // thumbnail width x height x 3
    std::vector<unsigned char> thumbnail;  // RGB
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;

    ~Work() {
        if (inCreated) jpeg_destroy_decompress(&in);
        if (outCreated) jpeg_destroy_compress(&out);
        std::free(encoded);
    }
};

// Adds decoded row y to the sums: first across into `line`, then `line` into the one or two thumbnail rows it covers.
void AddRow(Work& w, int y, int width) {
    std::fill(w.line.begin(), w.line.end(), 0.0f);
    const int components = w.in.output_components;
    const bool cmyk = w.in.out_color_space == JCS_CMYK;
    const unsigned char* p = w.row.data();
    for (int x = 0; x < width; ++x, p += components) {
        float rgb[3];
        if (cmyk) {  // Adobe's inverted CMYK, as nearly every CMYK JPEG is stored
            for (int c = 0; c < 3; ++c) rgb[c] = float(p[c] * p[3] / 255);
        } else {
            rgb[0] = p[0], rgb[1] = p[1], rgb[2] = p[2];
        }
        const Span& across = w.columns[std::size_t(x)];
        float* cell = &w.line[std::size_t(across.cell) * 3];
        for (int c = 0; c < 3; ++c) cell[c] += across.first * rgb[c];
        if (across.second != 0.0f)
            for (int c = 0; c < 3; ++c) cell[3 + c] += across.second * rgb[c];
    }
    const Span& down = w.rows[std::size_t(y)];
    const std::size_t stride = w.line.size();
    float* top = &w.sums[std::size_t(down.cell) * stride];
    for (std::size_t i = 0; i < stride; ++i) top[i] += down.first * w.line[i];
    if (down.second != 0.0f)
        for (std::size_t i = 0; i < stride; ++i) top[stride + i] += down.second * w.line[i];
}

void Encode(Work& w, int scaledWidth, int scaledHeight) {
    const float perArea = float(double(w.size.width) / scaledWidth * double(w.size.height) / scaledHeight);
    w.thumbnail.resize(w.sums.size());
    for (std::size_t i = 0; i < w.sums.size(); ++i)  // sums are never negative: +0.5 and truncation round
        w.thumbnail[i] = static_cast<unsigned char>(std::min(255.0f, w.sums[i] * perArea + 0.5f));

    jpeg_create_compress(&w.out);
    w.outCreated = true;
    jpeg_mem_dest(&w.out, &w.encoded, &w.encodedSize);
    w.out.image_width = JDIMENSION(w.size.width);
    w.out.image_height = JDIMENSION(w.size.height);
    w.out.input_components = 3;
    w.out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&w.out);
    jpeg_set_quality(&w.out, Quality, TRUE);
    w.out.optimize_coding = TRUE;  // a few percent smaller, for nothing but a second pass over tiny data
    jpeg_start_compress(&w.out, TRUE);
    while (w.out.next_scanline < w.out.image_height) {
        JSAMPROW pointer = &w.thumbnail[std::size_t(w.out.next_scanline) * std::size_t(w.size.width) * 3];
        jpeg_write_scanlines(&w.out, &pointer, 1);
    }
    jpeg_finish_compress(&w.out);
}

// Runs libjpeg; nullopt for a picture it cannot read or the rules refuse. May jump out through OnError.
std::optional<PictureSize> Decode(Work& w, std::string_view jpeg, const DecodeRules& rules) {
    jpeg_create_decompress(&w.in);
    w.inCreated = true;
    w.in.progress = &w.progress;
    w.in.mem->max_memory_to_use = rules.maxMemory;
    jpeg_mem_src(&w.in, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&w.in, TRUE) != JPEG_HEADER_OK) return std::nullopt;
    const int width = int(w.in.image_width), height = int(w.in.image_height);
    if (width <= 0 || height <= 0 || width > rules.maxSide || height > rules.maxSide ||
        std::uint64_t(width) * std::uint64_t(height) > rules.maxPixels)
        return std::nullopt;
    w.shrinking = rules.thumbnail;
    w.in.scale_denom = 8;
    w.in.scale_num = 1;
    if (w.shrinking) {
        switch (w.in.jpeg_color_space) {
            case JCS_GRAYSCALE:
            case JCS_YCbCr:
            case JCS_RGB: w.in.out_color_space = JCS_RGB; break;
            case JCS_CMYK:
            case JCS_YCCK: w.in.out_color_space = JCS_CMYK; break;
            default: return std::nullopt;  // no conversion to RGB exists
        }
        // The smallest scale whose picture still covers the thumbnail.
        w.size = ThumbnailSizeFor(width, height);
        for (; w.in.scale_num < 8; ++w.in.scale_num) {
            jpeg_calc_output_dimensions(&w.in);
            if (int(w.in.output_width) >= w.size.width && int(w.in.output_height) >= w.size.height) break;
        }
    } else {  // the pixels are thrown away: the cheapest way to make them
        w.in.dct_method = JDCT_IFAST;
        w.in.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&w.in);
    const int scaledWidth = int(w.in.output_width), scaledHeight = int(w.in.output_height);
    w.row.resize(std::size_t(scaledWidth) * std::size_t(w.in.output_components));
    if (w.shrinking) {
        w.columns = Spans(scaledWidth, w.size.width);
        w.rows = Spans(scaledHeight, w.size.height);
        w.line.assign(std::size_t(w.size.width) * 3, 0.0f);
        w.sums.assign(std::size_t(w.size.width) * std::size_t(w.size.height) * 3, 0.0f);
    }
    // A strict read stops at the first fault: the rest would only be grey.
    while (w.in.output_scanline < w.in.output_height && !(rules.strict && w.errors.warnings > 0)) {
        const int y = int(w.in.output_scanline);
        JSAMPROW pointer = w.row.data();
        if (jpeg_read_scanlines(&w.in, &pointer, 1) != 1) return std::nullopt;
        if (w.shrinking) AddRow(w, y, scaledWidth);
    }
    if (rules.strict) {
        if (w.errors.warnings > 0) return std::nullopt;
        jpeg_finish_decompress(&w.in);  // reads on to the end of the picture
        const unsigned char* rest = w.in.src->next_input_byte;
        const bool onlyPadding =
            std::all_of(rest, rest + w.in.src->bytes_in_buffer, [](unsigned char b) { return b == 0; });
        if (w.errors.warnings > 0 || !onlyPadding) return std::nullopt;
    } else {
        jpeg_finish_decompress(&w.in);
    }
    if (w.shrinking) Encode(w, scaledWidth, scaledHeight);
    return PictureSize{width, height};
}

}  // namespace

std::optional<ScaledPicture> DecodeScaled(std::string_view jpeg, const DecodeRules& rules) {
    if (jpeg.empty()) return std::nullopt;
    auto work = std::make_unique<Work>();
    Work& w = *work;
    w.in.err = jpeg_std_error(&w.errors.base);
    w.out.err = &w.errors.base;
    w.errors.base.error_exit = OnError;
    w.errors.base.emit_message = OnMessage;
    w.errors.maxScans = rules.maxScans;
    w.progress.progress_monitor = LimitScans;
    if (setjmp(w.errors.escape) != 0) return std::nullopt;
    std::optional<PictureSize> size = Decode(w, jpeg, rules);
    if (!size) return std::nullopt;
    ScaledPicture picture{*size, {}};
    if (w.encoded) picture.thumbnail.assign(reinterpret_cast<const char*>(w.encoded), w.encodedSize);
    return picture;
}

}  // namespace snapora::server
