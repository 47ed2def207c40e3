#include "upload/Compression.h"

#include <future>

#include "imaging/Bitmap.h"

namespace snapora {

int StartingQuality(int width) {
    // Later tests override earlier ones. At exactly 1700 none matches and the
    // encoder's customary default of 90 stays.
    int quality = 90;
    if (width > 1700) quality = 60;
    if (width < 1700) quality = 70;
    if (width < 1500) quality = 80;
    if (width < 1000) quality = 88;
    if (width < 500) quality = 100;
    return quality;
}

CompressionOutcome CompressForUpload(const Bitmap& picture, const JpegEncoderFn& encode,
                                     const std::function<void(const std::string&)>& status, bool speculate) {
    CompressionOutcome outcome;
    outcome.quality = StartingQuality(picture.Width());
    // Takes one rung's file; true when the ladder ends with it.
    auto measure = [&](std::string jpeg) {
        // The size of the bytes in memory is the size the file will have.
        outcome.jpeg = std::move(jpeg);
        ++outcome.passes;
        if (outcome.jpeg.size() <= MaxUploadBytes || outcome.quality <= 4) return true;
        outcome.quality -= 4;
        status("Screenshot wird komprimiert... (Qualität herabgesetzt auf: " + std::to_string(outcome.quality) +
               "%)");
        return false;
    };
    for (;;) {
        // Two cores: the rung below is encoded while this one is.
        std::future<std::string> below;
        if (speculate && outcome.quality > 4)
            below = std::async(std::launch::async, encode, std::cref(picture), outcome.quality - 4);
        if (measure(encode(picture, outcome.quality))) return outcome;
        if (below.valid() && measure(below.get())) return outcome;
    }
}

}  // namespace snapora
