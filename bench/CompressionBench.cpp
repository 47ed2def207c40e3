// How long squeezing a screenshot under the upload limit takes: the quality
// ladder against one single encode at the quality it ends at.
//   compression_bench FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

using namespace snapora;
using Steady = std::chrono::steady_clock;

namespace {

// The ladder as a file on disk: write every pass and measure the file.
double LadderThroughDisk(const Bitmap& picture, const std::string& path) {
    auto started = Steady::now();
    int quality = StartingQuality(picture.Width());
    for (;;) {
        std::string jpeg = EncodeJpeg(picture, quality);
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(jpeg.data(), std::streamsize(jpeg.size()));
        std::ifstream measured(path, std::ios::binary | std::ios::ate);
        if (std::uint64_t(measured.tellg()) <= MaxUploadBytes || quality <= 4) break;
        quality -= 4;
    }
    std::remove(path.c_str());
    return std::chrono::duration<double, std::milli>(Steady::now() - started).count();
}

double Milliseconds(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    std::printf("%-18s %10s %5s %4s %6s %8s %10s %9s %9s %9s %6s\n", "file", "size", "start", "end", "passes", "bytes",
                "disk ms", "ladder ms", "2 cores", "single ms", "ratio");
    for (int i = 1; i < argc; ++i) {
        Bitmap picture;
        if (!ReadPpm(argv[i], picture)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        auto started = Steady::now();
        CompressionOutcome outcome = CompressForUpload(picture, EncodeJpeg, [](const std::string&) {});
        double ladder = Milliseconds(Steady::now() - started);

        started = Steady::now();
        started = Steady::now();
        CompressionOutcome paired = CompressForUpload(picture, EncodeJpeg, [](const std::string&) {}, true);
        double twoCores = Milliseconds(Steady::now() - started);
        if (paired.jpeg != outcome.jpeg || paired.quality != outcome.quality) {
            std::fprintf(stderr, "%s: the two-core ladder ends elsewhere\n", argv[i]);
            return 1;
        }

        started = Steady::now();
        std::string single = EncodeJpeg(picture, outcome.quality);
        double once = Milliseconds(Steady::now() - started);
        if (single != outcome.jpeg) {
            std::fprintf(stderr, "%s: the ladder's file differs from a single encode\n", argv[i]);
            return 1;
        }
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", picture.Width(), picture.Height());
        double disk = LadderThroughDisk(picture, std::string(argv[i]) + ".jpg");
        std::printf("%-18s %10s %5d %4d %6d %8zu %10.1f %9.1f %9.1f %9.1f %6.2f\n", name.c_str(), size,
                    StartingQuality(picture.Width()), outcome.quality, outcome.passes, outcome.jpeg.size(), disk,
                    ladder, twoCores, once, twoCores / once);
    }
    return 0;
}
