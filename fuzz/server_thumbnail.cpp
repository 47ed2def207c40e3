// Fuzz target: snapora-server's thumbnails of uploaded pictures: libjpeg's
// scaled decoding of whatever arrived, the choice of scale, the area average
// and the encoding. A thumbnail, when one comes out, is a JPEG of the size the
// pages announce for the picture.
// fuzz-sources: server/imaging/Thumbnail.cpp server/imaging/ScaledDecode.cpp
// fuzz-includes: server src
// fuzz-libs: -ljpeg
// fuzz-options: -max_len=65536

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzExpect.h"
#include "imaging/Thumbnail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view jpeg(reinterpret_cast<const char*>(data), size);
    std::optional<std::string> thumbnail = snapora::server::MakeThumbnail(jpeg);
    if (thumbnail) {
        FUZZ_EXPECT(thumbnail->size() > 4 && (*thumbnail)[0] == '\xFF' && (*thumbnail)[1] == '\xD8');
        // Made again from itself, it keeps its size: it already fits the box.
        std::optional<std::string> again = snapora::server::MakeThumbnail(*thumbnail);
        FUZZ_EXPECT(again.has_value());
    }
    return 0;
}
