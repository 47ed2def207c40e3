#include "imaging/JpegWriter.h"

#include <algorithm>
#include <cstddef>

#include "imaging/JpegSession.h"

namespace snapora {

namespace {

// libjpeg writes straight into a string that grows as it needs: no copy of
// the file at the end, and nothing to free by hand on any way out.
struct StringSink {
    static constexpr std::size_t FirstSize = std::size_t(1) << 18;
    jpeg_destination_mgr base{};
    std::string bytes;

    StringSink() {
        base.init_destination = Init;
        base.empty_output_buffer = Grow;
        base.term_destination = Term;
    }
    static StringSink& Of(j_compress_ptr info) { return *reinterpret_cast<StringSink*>(info->dest); }
    static void Init(j_compress_ptr info) {
        StringSink& sink = Of(info);
        sink.bytes.resize(FirstSize);
        sink.base.next_output_byte = reinterpret_cast<JOCTET*>(sink.bytes.data());
        sink.base.free_in_buffer = sink.bytes.size();
    }
    // Called when the whole buffer is written.
    static boolean Grow(j_compress_ptr info) {
        StringSink& sink = Of(info);
        const std::size_t used = sink.bytes.size();
        sink.bytes.resize(used * 2);
        sink.base.next_output_byte = reinterpret_cast<JOCTET*>(sink.bytes.data()) + used;
        sink.base.free_in_buffer = sink.bytes.size() - used;
        return TRUE;
    }
    static void Term(j_compress_ptr info) {
        StringSink& sink = Of(info);
        sink.bytes.resize(sink.bytes.size() - sink.base.free_in_buffer);
    }
};

}  // namespace

std::string jpeg::CompressToMemory(int width, int height, int quality,
                                   const std::function<void(jpeg_compress_struct&)>& started,
                                   const std::function<JSAMPROW(int)>& row) {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    StringSink sink;

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.dest = &sink.base;
    Configure(info, width, height, quality);
    jpeg_start_compress(&info, TRUE);
    if (started) started(info);
    bool finished = false;
    if (row) {
        constexpr int Batch = 16;
        JSAMPROW rows[Batch];
        bool givenUp = false;
        while (info.next_scanline < info.image_height && !givenUp) {
            const int first = int(info.next_scanline), n = std::min(Batch, height - first);
            for (int i = 0; i < n && !givenUp; ++i) givenUp = !(rows[i] = row(first + i));
            if (!givenUp) jpeg_write_scanlines(&info, rows, JDIMENSION(n));
        }
        if (!givenUp) {
            jpeg_finish_compress(&info);
            finished = true;
        }
    }
    if (!finished) jpeg_abort_compress(&info);
    jpeg_destroy_compress(&info);
    return finished ? std::move(sink.bytes) : std::string();
}

std::optional<std::string> EncodeJpegUnless(const Bitmap& picture, int quality, const std::atomic<bool>& giveUp) {
    jpeg::CheckPicture(picture);
    const std::uint8_t* first = picture.Row(0);
    const std::ptrdiff_t stride = picture.Stride();
    std::string bytes = jpeg::CompressToMemory(picture.Width(), picture.Height(), quality, nullptr, [&](int y) {
        return giveUp.load(std::memory_order_relaxed) ? nullptr : const_cast<JSAMPROW>(first + std::ptrdiff_t(y) * stride);
    });
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    static const std::atomic<bool> never{false};
    return *EncodeJpegUnless(picture, quality, never);
}

}  // namespace snapora
