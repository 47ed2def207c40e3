// The program's size ladder against the plain one on real screenshots: the
// same rungs, texts, quality and file, whatever the first guess, and on one
// processor as on all of them (the first rungs take another way there).
//   snapora_screenshot_ladder FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)

#include <sched.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

using namespace snapora;

int main(int argc, char** argv) {
    // The processors the process may use, and the first of them alone.
    cpu_set_t all, first;
    CPU_ZERO(&all);
    CPU_ZERO(&first);
    if (sched_getaffinity(0, sizeof all, &all) != 0) return 2;
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&first) == 0; ++cpu)
        if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &first);

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
        struct Case {
            int guess;
            bool oneProcessor;
        };
        const Case cases[] = {{0, false}, {StartingQuality(picture.Width()), false}, {plain.quality + 4, false},
                              {plain.quality - 4, false}, {4, false}, {0, true}};
        for (const auto [guess, oneProcessor] : cases) {
            std::vector<std::string> texts;
            sched_setaffinity(0, sizeof(cpu_set_t), oneProcessor ? &first : &all);
            const CompressionOutcome program =
                CompressForUpload(picture, [&](const std::string& t) { texts.push_back(t); }, guess);
            sched_setaffinity(0, sizeof(cpu_set_t), &all);
            const bool same = program.jpeg == plain.jpeg && program.quality == plain.quality &&
                              program.passes == plain.passes && texts == plainTexts;
            std::printf("%s: plain ladder quality %d after %d passes, %zu bytes; first guess %d%s: %s\n", argv[i],
                        plain.quality, plain.passes, plain.jpeg.size(), guess, oneProcessor ? " on one processor" : "",
                        same ? "same" : "DIFFERENT");
            failures += !same;
        }
    }
    return failures ? 1 : 0;
}
