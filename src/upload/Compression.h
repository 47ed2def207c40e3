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
    int passes = 0;    // qualities tried, the last one included
};

using JpegEncoderFn = std::function<std::string(const Bitmap&, int quality)>;
using CompressionStatusFn = std::function<void(const std::string&)>;

// The text shown when the ladder goes down to `quality`.
std::string LoweredQualityStatus(int quality);

// The ladder as it is defined, over any encoder: encode, measure, lower by 4
// and say so through `status`, until the file is small enough or the quality
// is 4 or less.
CompressionOutcome WalkLadder(const Bitmap& picture, const JpegEncoderFn& encode, const CompressionStatusFn& status);

// The same ladder over EncodeJpeg with the same outcome (rungs, texts, file),
// at about the cost of one encode: the picture's colour conversion and DCT
// are done once (JpegCoefficients), rungs are settled by exact counts and the
// floors they set, and the one file made is libjpeg's, byte for byte. A
// sample of the picture guesses where to look, beside a plain encode of the
// first rung (and of the second where that is expected to fit), which a
// deeper guess gives up. `status` is
// called for every lowered quality, in order, as the plain ladder calls it.
// `firstGuess` (a quality, for tests) replaces the guess.
CompressionOutcome CompressForUpload(const Bitmap& picture, const CompressionStatusFn& status, int firstGuess = 0);

}  // namespace snapora
