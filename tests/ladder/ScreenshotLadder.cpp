// The program's size ladder against the plain one on real screenshots: the
// same rungs, texts, quality and file, whatever the first guess.
//   snapora_screenshot_ladder FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

using namespace snapora;

namespace {

bool ReadPpm(const std::string& path, Bitmap& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || width <= 0 || height <= 0) return false;
    picture.SetSize(width, height);
    std::string row(std::size_t(width) * 3, '\0');
    for (int y = 0; y < height; ++y) {
        if (!in.read(row.data(), std::streamsize(row.size()))) return false;
        std::uint8_t* out = picture.Row(y);
        for (int x = 0; x < width; ++x) {  // RGB to the bitmap's BGR
            out[x * 3] = std::uint8_t(row[x * 3 + 2]);
            out[x * 3 + 1] = std::uint8_t(row[x * 3 + 1]);
            out[x * 3 + 2] = std::uint8_t(row[x * 3]);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        Bitmap picture;
        if (!ReadPpm(argv[i], picture)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        std::vector<std::string> plainTexts;
        const CompressionOutcome plain =
            WalkLadder(picture, EncodeJpeg, [&](const std::string& t) { plainTexts.push_back(t); });
        for (int guess : {0, StartingQuality(picture.Width()), plain.quality + 4, plain.quality - 4, 4}) {
            std::vector<std::string> texts;
            const CompressionOutcome program =
                CompressForUpload(picture, [&](const std::string& t) { texts.push_back(t); }, guess);
            const bool same = program.jpeg == plain.jpeg && program.quality == plain.quality &&
                              program.passes == plain.passes && texts == plainTexts;
            std::printf("%s: plain ladder quality %d after %d passes, %zu bytes; first guess %d: %s\n", argv[i],
                        plain.quality, plain.passes, plain.jpeg.size(), guess, same ? "same" : "DIFFERENT");
            failures += !same;
        }
    }
    return failures ? 1 : 0;
}
