// Time per resize: the editor's desktop thumbnails (Box, also with the radius
// the editor passes: the thumbnail's width) and every filter at half size.
//   resample_bench [FILE.ppm...]   (binary PPM; a picture of a case's source
//   size is taken from the files, otherwise a synthetic one is drawn)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/Resample.h"

using namespace snapora;
using Steady = std::chrono::steady_clock;

namespace {

// Something like a screen: flat panels, a gradient and lines of "text".
Bitmap Synthetic(int width, int height) {
    Bitmap picture(width, height);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = picture.Row(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const bool text = (y / 12) % 3 != 0 && x % 400 < 300 && (noise >> 28) < 5;
            const int panel = (x / 480 + y / 270) % 3 * 60 + 60;
            out[x * 3] = std::uint8_t(text ? 20 : panel);
            out[x * 3 + 1] = std::uint8_t(text ? 20 : panel + y * 40 / height);
            out[x * 3 + 2] = std::uint8_t(text ? 30 : 255 - panel);
        }
    }
    return picture;
}

struct Case {
    int sourceWidth, sourceHeight, width, height;
    ResampleFilter filter;
    float radius;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<std::string, Bitmap>> pictures;
    for (int i = 1; i < argc; ++i) {
        Bitmap picture;
        if (!ReadPpm(argv[i], picture)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::string name = argv[i];
        pictures.emplace_back(name.substr(name.find_last_of('/') + 1), std::move(picture));
    }

    const ResampleFilter& box = FilterTable[0];
    std::vector<Case> cases{
        {7680, 2160, 100, 22, box, box.Radius},
        {7680, 2160, 100, 22, box, 100.0f},  // as the editor calls it
        {3840, 2160, 50, 22, box, box.Radius},
        {3840, 2160, 50, 22, box, 50.0f},
    };
    for (const ResampleFilter& filter : FilterTable) cases.push_back({1920, 1080, 960, 540, filter, filter.Radius});

    std::printf("%-18s %10s %9s %-9s %7s %6s %10s %10s\n", "picture", "source", "result", "filter", "radius", "calls",
                "best ms", "mean ms");
    unsigned checksum = 0;
    for (const Case& c : cases) {
        std::string name = "synthetic";
        const Bitmap* source = nullptr;
        for (const auto& [file, picture] : pictures)
            if (picture.Width() == c.sourceWidth && picture.Height() == c.sourceHeight) {
                name = file;
                source = &picture;
                break;
            }
        Bitmap drawn;
        if (!source) {
            drawn = Synthetic(c.sourceWidth, c.sourceHeight);
            source = &drawn;
        }

        Bitmap result(c.width, c.height);
        double best = 1e300, total = 0;
        int calls = 0;
        while (calls < 3 || (total < 1000 && calls < 50)) {
            const auto started = Steady::now();
            ResampleBitmap(*source, result, c.filter.Function, c.radius);
            const double ms = std::chrono::duration<double, std::milli>(Steady::now() - started).count();
            best = std::min(best, ms);
            total += ms;
            ++calls;
        }
        for (int y = 0; y < result.Height(); ++y) checksum = checksum * 31 + result.Row(y)[y % result.Width() * 3];

        char from[32], to[32];
        std::snprintf(from, sizeof from, "%dx%d", c.sourceWidth, c.sourceHeight);
        std::snprintf(to, sizeof to, "%dx%d", c.width, c.height);
        std::printf("%-18s %10s %9s %-9s %7g %6d %10.2f %10.2f\n", name.c_str(), from, to,
                    std::string(c.filter.Name).c_str(), c.radius, calls, best, total / calls);
    }
    std::printf("(checksum %08x)\n", checksum);
    return 0;
}
