#include "imaging/Thumbnail.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

namespace snapora::server {

namespace {

constexpr int MaxSide = 65500;   // JPEG's own limit
// Three 8K monitors side by side are 100 megapixels; a header that claims
// more, with little data behind it, would only cost time.
constexpr std::uint64_t MaxPixels = 120'000'000;
// A progressive picture keeps all its coefficients until the last scan.
constexpr long MaxDecoderMemory = 256L * 1024 * 1024;
constexpr int MaxScans = 500;    // thousands of tiny progressive scans would cost minutes for nothing
constexpr int Quality = 80;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

// libjpeg would print and exit(); jump back out instead.
void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }
void Quiet(j_common_ptr, int) {}

void LimitScans(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaxScans)
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
    std::vector<unsigned char> row;
    std::vector<Span> columns, rows;
    std::vector<float> sums;               // output width x height x 3
    std::vector<unsigned char> thumbnail;  // RGB, output width x height
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;

    ~Work() {
        if (inCreated) jpeg_destroy_decompress(&in);
        if (outCreated) jpeg_destroy_compress(&out);
        std::free(encoded);
    }
};

void AddRow(Work& w, int y, int width, PictureSize size) {
    const Span& vertical = w.rows[std::size_t(y)];
    const bool cmyk = w.in.out_color_space == JCS_CMYK;
    for (int x = 0; x < width; ++x) {
        unsigned char rgb[3];
        const unsigned char* p = &w.row[std::size_t(x) * w.in.output_components];
        if (cmyk) {  // Adobe's inverted CMYK, as nearly every CMYK JPEG is stored
            for (int c = 0; c < 3; ++c) rgb[c] = static_cast<unsigned char>(p[c] * p[3] / 255);
        } else {
            rgb[0] = p[0], rgb[1] = p[1], rgb[2] = p[2];
        }
        const Span& horizontal = w.columns[std::size_t(x)];
        const float weights[4] = {vertical.first * horizontal.first, vertical.first * horizontal.second,
                                  vertical.second * horizontal.first, vertical.second * horizontal.second};
        for (int k = 0; k < 4; ++k) {
            if (weights[k] == 0.0f) continue;
            std::size_t cell = (std::size_t(vertical.cell + k / 2) * std::size_t(size.width) + std::size_t(horizontal.cell + k % 2)) * 3;
            for (int c = 0; c < 3; ++c) w.sums[cell + std::size_t(c)] += weights[k] * rgb[c];
        }
    }
}

// Runs libjpeg; returns false for a picture it cannot read. May jump out through OnError.
bool Shrink(Work& w, std::string_view jpeg) {
    jpeg_create_decompress(&w.in);
    w.inCreated = true;
    w.in.progress = &w.progress;
    w.in.mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_mem_src(&w.in, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&w.in, TRUE) != JPEG_HEADER_OK) return false;
    const int width = int(w.in.image_width), height = int(w.in.image_height);
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide ||
        std::uint64_t(width) * std::uint64_t(height) > MaxPixels)
        return false;
    w.in.out_color_space =
        w.in.jpeg_color_space == JCS_CMYK || w.in.jpeg_color_space == JCS_YCCK ? JCS_CMYK : JCS_RGB;

    // The smallest scale whose picture still covers the thumbnail: 1/8 skips all but the DC terms.
    const PictureSize size = ThumbnailSizeFor(width, height);
    w.in.scale_denom = 8;
    for (w.in.scale_num = 1; w.in.scale_num < 8; ++w.in.scale_num) {
        jpeg_calc_output_dimensions(&w.in);
        if (int(w.in.output_width) >= size.width && int(w.in.output_height) >= size.height) break;
    }
    jpeg_start_decompress(&w.in);
    const int scaledWidth = int(w.in.output_width), scaledHeight = int(w.in.output_height);
    w.row.resize(std::size_t(scaledWidth) * std::size_t(w.in.output_components));
    w.columns = Spans(scaledWidth, size.width);
    w.rows = Spans(scaledHeight, size.height);
    w.sums.assign(std::size_t(size.width) * std::size_t(size.height) * 3, 0.0f);
    while (w.in.output_scanline < w.in.output_height) {
        const int y = int(w.in.output_scanline);
        JSAMPROW pointer = w.row.data();
        if (jpeg_read_scanlines(&w.in, &pointer, 1) != 1) return false;
        AddRow(w, y, scaledWidth, size);
    }
    jpeg_finish_decompress(&w.in);

    const float area = float(double(scaledWidth) / size.width * double(scaledHeight) / size.height);
    w.thumbnail.resize(w.sums.size());
    for (std::size_t i = 0; i < w.sums.size(); ++i)
        w.thumbnail[i] = static_cast<unsigned char>(std::clamp(std::lround(w.sums[i] / area), 0L, 255L));

    jpeg_create_compress(&w.out);
    w.outCreated = true;
    jpeg_mem_dest(&w.out, &w.encoded, &w.encodedSize);
    w.out.image_width = JDIMENSION(size.width);
    w.out.image_height = JDIMENSION(size.height);
    w.out.input_components = 3;
    w.out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&w.out);
    jpeg_set_quality(&w.out, Quality, TRUE);
    w.out.optimize_coding = TRUE;  // a few percent smaller, for nothing but a second pass over tiny data
    jpeg_start_compress(&w.out, TRUE);
    while (w.out.next_scanline < w.out.image_height) {
        JSAMPROW pointer = &w.thumbnail[std::size_t(w.out.next_scanline) * std::size_t(size.width) * 3];
        jpeg_write_scanlines(&w.out, &pointer, 1);
    }
    jpeg_finish_compress(&w.out);
    return true;
}

}  // namespace

PictureSize ThumbnailSizeFor(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    const double scale = std::min({1.0, double(ThumbnailMaxWidth) / width, double(ThumbnailMaxHeight) / height});
    return PictureSize{std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale)))};
}

std::optional<std::string> MakeThumbnail(std::string_view jpeg) {
    auto work = std::make_unique<Work>();
    Work& w = *work;
    w.in.err = jpeg_std_error(&w.errors.base);
    w.out.err = &w.errors.base;
    w.errors.base.error_exit = OnError;
    w.errors.base.emit_message = Quiet;
    w.progress.progress_monitor = LimitScans;
    if (setjmp(w.errors.escape) != 0) return std::nullopt;
    if (!Shrink(w, jpeg)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(w.encoded), w.encodedSize);
}

}  // namespace snapora::server
