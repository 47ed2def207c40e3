// What a history entry holds per screenshot: each picture packed as the
// history packs it, with the time packing and unpacking take (medians, one
// thread) and a check that every pixel comes back.
//   history_bench FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/PackedPicture.h"

using namespace snapora;

int main(int argc, char** argv) {
    std::printf("%-28s %10s %10s %10s %7s %9s %9s\n", "file", "size", "raw", "packed", "ratio", "pack ms", "unpack ms");
    double total = 0;
    int pictures = 0;
    for (int i = 1; i < argc; ++i) {
        Bitmap picture;
        if (!ReadPpm(argv[i], picture)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::vector<double> packMs, unpackMs;
        PackedPicture packed;
        Bitmap back;
        for (int run = 0; run < 5; ++run) {
            auto t0 = std::chrono::steady_clock::now();
            packed = PackedPicture(picture);
            auto t1 = std::chrono::steady_clock::now();
            packed.UnpackInto(back);
            auto t2 = std::chrono::steady_clock::now();
            packMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            unpackMs.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
        for (int y = 0; y < picture.Height(); ++y)
            if (std::memcmp(back.Row(y), picture.Row(y), std::size_t(picture.Width()) * 3) != 0) {
                std::fprintf(stderr, "%s: row %d differs after unpacking\n", argv[i], y);
                return 1;
            }
        std::sort(packMs.begin(), packMs.end());
        std::sort(unpackMs.begin(), unpackMs.end());
        const double raw = double(picture.Width()) * picture.Height() * 3;
        const char* name = std::strrchr(argv[i], '/') ? std::strrchr(argv[i], '/') + 1 : argv[i];
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", picture.Width(), picture.Height());
        std::printf("%-28s %10s %10.0f %10zu %6.1fx %9.1f %9.1f\n", name, size, raw, packed.PackedBytes(),
                    raw / double(packed.PackedBytes()), packMs[2], unpackMs[2]);
        total += double(packed.PackedBytes());
        ++pictures;
    }
    if (pictures) std::printf("mean packed entry: %.0f bytes\n", total / pictures);
    return 0;
}
