#include "upload/Compression.h"

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
                                     const std::function<void(const std::string&)>& status) {
    CompressionOutcome outcome;
    outcome.quality = StartingQuality(picture.Width());
    for (;;) {
        // The size of the bytes in memory is the size the file will have.
        outcome.jpeg = encode(picture, outcome.quality);
        ++outcome.passes;
        if (outcome.jpeg.size() <= MaxUploadBytes || outcome.quality <= 4) return outcome;
        outcome.quality -= 4;
        status("Screenshot wird komprimiert... (Qualität herabgesetzt auf: " + std::to_string(outcome.quality) +
               "%)");
    }
}

}  // namespace snapora
