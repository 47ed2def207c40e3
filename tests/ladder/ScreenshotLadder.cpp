// The program's size ladder against the plain one on real screenshots: the
// same rungs, texts, quality and file, whatever the first guess.
//   snapora_screenshot_ladder FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)

#include <cstdio>
#include <string>
#include <vector>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

using namespace snapora;

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
