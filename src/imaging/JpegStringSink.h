#pragma once
// libjpeg's output straight into a string, for the program's writer and for
// snapora-server's thumbnails alike.

#include <cstdio>  // jpeglib.h needs FILE
#include <cstddef>
#include <string>

#include <jpeglib.h>

namespace snapora::jpeg {

// A destination that keeps what libjpeg writes, straight in a string that
// grows as it needs: no copy at the end, nothing to free on any way out.
struct StringSink {
    jpeg_destination_mgr base{};
    std::string bytes;
    const std::size_t firstSize;

    explicit StringSink(std::size_t first = 4096) : firstSize(first) {
        base.init_destination = Init;
        base.empty_output_buffer = Grow;
        base.term_destination = Term;
    }
    // Bytes written so far (all of them once the compression has finished).
    std::size_t Written() const { return bytes.size() - base.free_in_buffer; }

    static StringSink& Of(j_compress_ptr info) { return *reinterpret_cast<StringSink*>(info->dest); }
    static void Init(j_compress_ptr info) {
        StringSink& sink = Of(info);
        sink.bytes.resize(sink.firstSize);
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
        sink.bytes.resize(sink.Written());
    }
};

}  // namespace snapora::jpeg
