// The thumbnails snapora-server makes for its list pages: for each JPEG
// given, the time to check it as an upload (which decodes it for the
// thumbnail), to make the thumbnail from that, and to make one from the
// stored picture alone (medians of several, processor time), and the
// thumbnail's size in pixels and bytes.
//   thumbnail_bench [-n REPEATS] PICTURE.jpg...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/JpegCheck.h"
#include "imaging/Thumbnail.h"

using namespace snapora::server;

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 15;
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "-n") {
        repeats = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    std::printf("%-28s %11s %9s %11s %10s %10s %10s %10s\n", "picture", "size", "bytes", "thumbnail", "bytes", "check ms",
                "thumb ms", "stored ms");
    for (int i = first; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::optional<ScaledPicture> checked;
        std::vector<double> checks, thumbs, times;
        std::optional<std::string> thumbnail;
        for (int r = 0; r < repeats; ++r) {
            double started = CpuMs();
            checked = CheckJpeg(jpeg);
            checks.push_back(CpuMs() - started);
            started = CpuMs();
            if (checked) thumbnail = EncodeThumbnail(*checked);
            thumbs.push_back(CpuMs() - started);
            started = CpuMs();
            thumbnail = MakeThumbnail(jpeg);
            times.push_back(CpuMs() - started);
        }
        std::sort(checks.begin(), checks.end());
        std::sort(thumbs.begin(), thumbs.end());
        std::sort(times.begin(), times.end());
        if (!checked || !thumbnail) {
            std::printf("%-28s unreadable\n", argv[i]);
            continue;
        }
        const PictureSize size = checked->size, t = ThumbnailSizeFor(size.width, size.height);
        std::string name = argv[i];
        name = name.substr(name.rfind('/') + 1);
        std::printf("%-28s %5dx%-5d %9zu %5dx%-5d %10zu %10.2f %10.2f %10.2f\n", name.c_str(), size.width,
                    size.height, jpeg.size(), t.width, t.height, thumbnail->size(), checks[checks.size() / 2],
                    thumbs[thumbs.size() / 2], times[times.size() / 2]);
    }
    return 0;
}
