#include "upload/Compression.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JpegProbe.h"
#include "imaging/JpegWriter.h"

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

std::string LoweredQualityStatus(int quality) {
    return "Screenshot wird komprimiert... (Qualität herabgesetzt auf: " + std::to_string(quality) + "%)";
}

CompressionOutcome WalkLadder(const Bitmap& picture, const JpegEncoderFn& encode,
                              const CompressionStatusFn& status) {
    CompressionOutcome outcome;
    outcome.quality = StartingQuality(picture.Width());
    for (;;) {
        // The size of the bytes in memory is the size the file will have.
        outcome.jpeg = encode(picture, outcome.quality);
        ++outcome.passes;
        if (outcome.jpeg.size() <= MaxUploadBytes || outcome.quality <= 4) return outcome;
        outcome.quality -= 4;
        status(LoweredQualityStatus(outcome.quality));
    }
}

namespace {

// The guess looks at every fourth block of 16x16 pixels (libjpeg's 4:2:0
// unit) in every fourth row of them: a sixteenth of the picture, spread over
// all of it, whose blocks are the picture's own.
constexpr int Tile = 16;
constexpr int TileStep = 4;

Bitmap TileSample(const Bitmap& picture) {
    auto picks = [](int length) {
        std::vector<int> starts;
        const int tiles = length / Tile;
        const int step = tiles >= 2 * TileStep ? TileStep : 1;
        for (int t = step / 2; t < tiles; t += step) starts.push_back(t * Tile);
        if (starts.empty()) starts.push_back(0);  // smaller than one tile: all of it
        return starts;
    };
    const std::vector<int> xs = picks(picture.Width()), ys = picks(picture.Height());
    const int tileWidth = std::min(Tile, picture.Width()), tileHeight = std::min(Tile, picture.Height());
    Bitmap sample(int(xs.size()) * tileWidth, int(ys.size()) * tileHeight);
    for (std::size_t j = 0; j < ys.size(); ++j)
        for (int y = 0; y < tileHeight; ++y)
            for (std::size_t i = 0; i < xs.size(); ++i)
                std::copy_n(picture.Row(ys[j] + y) + xs[i] * 3, tileWidth * 3,
                            sample.Row(int(j) * tileHeight + y) + i * tileWidth * 3);
    return sample;
}

struct Rung {
    int quality = 0;
    std::optional<std::string> jpeg;  // encoded
    bool measured = false;            // a measurement was taken here
    std::uint64_t floor = 0;          // the file is certainly not smaller
    double size = 0;                  // what the rung's file is thought to weigh; 0 before a guess
    bool TooLarge() const { return jpeg ? jpeg->size() > MaxUploadBytes : floor > MaxUploadBytes; }
};

}  // namespace

CompressionOutcome CompressForUpload(const Bitmap& picture, const CompressionStatusFn& status, int firstGuess) {
    if (picture.IsEmpty()) return WalkLadder(picture, EncodeJpeg, status);  // fails as the ladder does

    std::vector<Rung> rungs;
    for (int q = StartingQuality(picture.Width());; q -= 4) {
        rungs.push_back(Rung{q, {}});
        if (q <= 4) break;
    }
    const std::size_t last = rungs.size() - 1;

    // Sizes guessed from the sample, scaled to the picture, as far as they are
    // looked at; a file encoded or measured on the way replaces its rung's
    // guess and corrects the others.
    const Bitmap sample = TileSample(picture);
    const JpegMeasure sampled = MeasureJpeg(sample, rungs[0].quality, true);
    const double scale = double(picture.Width()) * picture.Height() / (double(sample.Width()) * sample.Height()) / 8;
    double correction = 1;
    std::vector<double> guessed(rungs.size(), 0);
    auto guess = [&](std::size_t i) {
        if (rungs[i].size) return rungs[i].size;
        if (!guessed[i])
            guessed[i] = double(sampled.headerBytes) + double(EstimateBitsAt(sampled, rungs[i].quality)) * scale;
        return guessed[i] * correction;
    };
    auto learn = [&](std::size_t i, double size) {
        guess(i);
        correction = size / guessed[i];
        rungs[i].size = size;
    };
    // The first rung from `from` on that the guesses let through; sizes fall
    // down the ladder, so a bisection finds it.
    auto guessedFirstFit = [&](std::size_t from) {
        std::size_t low = from, high = last;
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (rungs[middle].TooLarge() || guess(middle) > double(MaxUploadBytes))
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    };

    std::size_t walked = 0;  // the rung the plain ladder would be encoding now
    for (bool firstRound = true;; firstRound = false) {
        // Follow the plain ladder as far as the rungs are settled.
        for (;;) {
            const Rung& r = rungs[walked];
            if (r.jpeg && (!r.TooLarge() || walked == last)) {
                CompressionOutcome outcome;
                outcome.jpeg = std::move(*rungs[walked].jpeg);
                outcome.quality = r.quality;
                outcome.passes = int(walked) + 1;
                return outcome;
            }
            if (walked == last || !r.TooLarge()) break;  // the last rung's file is taken whatever its size
            ++walked;
            status(LoweredQualityStatus(rungs[walked].quality));
        }

        // The rung to encode, and whether to measure the one above it, which
        // bounds every unsettled rung above from below.
        std::size_t candidate = guessedFirstFit(walked);
        if (firstRound && firstGuess) {
            candidate = 0;
            while (candidate < last && rungs[candidate].quality > firstGuess) ++candidate;
        }
        bool unsettledAbove = false;
        for (std::size_t i = walked; i < candidate; ++i) unsettledAbove |= !rungs[i].TooLarge();
        bool measure = unsettledAbove && !rungs[candidate - 1].measured;
        if (!measure && rungs[candidate].jpeg) {
            // Nothing new to learn there: take the first open rung itself.
            candidate = walked;
            measure = false;
        }

        // The candidate's file, and the measurement above it taken on the way.
        std::optional<JpegMeasure> above;
        if (measure && !rungs[candidate].jpeg) {
            MeasuredJpeg both = EncodeAndMeasureJpeg(picture, rungs[candidate].quality, rungs[candidate - 1].quality);
            rungs[candidate].jpeg = std::move(both.jpeg);
            above = std::move(both.measure);
        } else if (measure) {
            above = MeasureJpeg(picture, rungs[candidate - 1].quality);
        } else {
            rungs[candidate].jpeg = EncodeJpeg(picture, rungs[candidate].quality);
        }
        if (rungs[candidate].jpeg && !rungs[candidate].size) learn(candidate, double(rungs[candidate].jpeg->size()));
        if (above) {
            rungs[candidate - 1].measured = true;
            // The quick floor for every rung above first; each quality's own DC where that is not enough.
            const std::uint64_t anyAbove = JpegSizeFloorAbove(*above);
            for (std::size_t i = 0; i < candidate; ++i) {
                if (rungs[i].TooLarge()) continue;
                rungs[i].floor = std::max(rungs[i].floor, anyAbove);
                if (!rungs[i].TooLarge())
                    rungs[i].floor = std::max(rungs[i].floor, JpegSizeFloor(*above, rungs[i].quality));
            }
            if (!rungs[candidate - 1].jpeg) learn(candidate - 1, double(JpegBytesFor(*above, above->bits)));
        }
    }
}

}  // namespace snapora
