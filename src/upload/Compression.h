#pragma once
// Squeezing a screenshot under the service's size limit: the starting
// quality from the width, then lower by 4 until the file is small enough.

#include <cstdint>
#include <functional>
#include <string>

namespace snapora {

class Bitmap;

inline constexpr std::uint64_t MaxUploadBytes = 307200;  // 300 KiB
inline constexpr int LocalSaveQuality = 95;

int StartingQuality(int width);

struct CompressionOutcome {
    std::string jpeg;  // the file's bytes at the last quality tried
    int quality = 0;
    int passes = 0;
};

using JpegEncoderFn = std::function<std::string(const Bitmap&, int quality)>;

// Runs the ladder; `status` receives the text for every lowered quality.
// With `speculate`, the next rung is encoded on a second thread while the
// current one is measured: the same file and texts, sooner on two cores.
CompressionOutcome CompressForUpload(const Bitmap& picture, const JpegEncoderFn& encode,
                                     const std::function<void(const std::string&)>& status, bool speculate = false);

}  // namespace snapora
