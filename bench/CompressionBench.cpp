// How long squeezing a screenshot under the upload limit takes: the plain
// quality ladder and the program's ladder against one single encode at the
// quality the ladder ends at. Each is run several times, interleaved, and the
// medians are printed (wall time, and the processor time of all threads for
// the ratio "cpu ratio"); both ladders must give the same file and texts.
//   compression_bench [--one-core] [-n REPEATS] FILE.ppm...   (binary PPM, as ImageMagick's convert writes it)
// --one-core keeps the process on one processor, as a machine with one would
// run it (the program's ladder then uses one thread). A second table shows
// where the program's ladder spends its time: the 1/16 sample's analysis, the
// whole picture's analysis, one count and the final file, each on its own.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Ppm.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegCoefficients.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

using namespace snapora;
using Steady = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Processor time of the whole process (all its threads), in ms.
double ProcessMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time of f in ms; its processor time is added to `cpu`.
template <class F>
double Milliseconds(F&& f, std::vector<double>* cpu = nullptr) {
    const double cpuStarted = ProcessMs();
    const auto started = Steady::now();
    f();
    const double wall = std::chrono::duration<double, std::milli>(Steady::now() - started).count();
    if (cpu) cpu->push_back(ProcessMs() - cpuStarted);
    return wall;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 7;
    int first = 1;
    bool oneCore = false;
    if (argc > first && std::strcmp(argv[first], "--one-core") == 0) {
        oneCore = true;
        ++first;
    }
    if (argc > first + 1 && std::strcmp(argv[first], "-n") == 0) {
        repeats = std::max(1, std::atoi(argv[first + 1]));
        first += 2;
    }
    if (oneCore) {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) == 0) return 1;
        int keep = 0;
        while (!CPU_ISSET(keep, &set)) ++keep;
        CPU_ZERO(&set);
        CPU_SET(keep, &set);
        if (sched_setaffinity(0, sizeof set, &set) != 0) {
            std::perror("sched_setaffinity");
            return 1;
        }
    }
    std::printf("load average before: %s; %d runs each, medians in ms%s\n", LoadAverage().c_str(), repeats,
                oneCore ? ", on one processor" : "");
    std::printf("%-18s %10s %5s %4s %6s %8s %9s %9s %9s %7s %7s %9s\n", "file", "size", "start", "end", "passes",
                "bytes", "plain", "program", "single", "plain/1", "ratio", "cpu ratio");
    std::vector<double> ratios;
    struct Final {
        std::string name;
        Bitmap picture;
        int quality;
    };
    std::vector<Final> finals;  // for the second table
    for (int i = first; i < argc; ++i) {
        Bitmap picture;
        if (!ReadPpm(argv[i], picture)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::vector<double> plainMs, programMs, singleMs, programCpu, singleCpu;
        CompressionOutcome plain, program;
        for (int run = 0; run < repeats; ++run) {
            std::vector<std::string> plainTexts, programTexts;
            plainMs.push_back(Milliseconds([&] {
                plain = WalkLadder(picture, EncodeJpeg, [&](const std::string& t) { plainTexts.push_back(t); });
            }));
            programMs.push_back(Milliseconds(
                [&] { program = CompressForUpload(picture, [&](const std::string& t) { programTexts.push_back(t); }); },
                &programCpu));
            std::string single;
            singleMs.push_back(Milliseconds([&] { single = EncodeJpeg(picture, plain.quality); }, &singleCpu));
            if (program.jpeg != plain.jpeg || program.quality != plain.quality || program.passes != plain.passes ||
                programTexts != plainTexts || single != plain.jpeg) {
                std::fprintf(stderr, "%s: the program's ladder ends elsewhere than the plain one\n", argv[i]);
                return 1;
            }
        }
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", picture.Width(), picture.Height());
        const double once = Median(singleMs);
        ratios.push_back(Median(programMs) / once);
        std::printf("%-18s %10s %5d %4d %6d %8zu %9.1f %9.1f %9.1f %7.2f %7.2f %9.2f\n", name.c_str(), size,
                    StartingQuality(picture.Width()), plain.quality, plain.passes, plain.jpeg.size(),
                    Median(plainMs), Median(programMs), once, Median(plainMs) / once, ratios.back(),
                    Median(programCpu) / Median(singleCpu));
        finals.push_back({name, std::move(picture), plain.quality});
    }
    std::printf("median ratio (program ladder / single encode): %.2f\n", Median(ratios));
    std::printf("\nits parts, on %d thread(s): %-7s %9s %9s %9s %9s\n", oneCore ? 1 : 2, "", "sample", "analysis",
                "one count", "file");
    for (const auto& [name, picture, quality] : finals) {
        const int threads = oneCore ? 1 : 2;
        std::vector<double> sampleMs, analysisMs, countMs, fileMs;
        for (int run = 0; run < repeats; ++run) {
            sampleMs.push_back(Milliseconds([&] { JpegCoefficients::AnalyseSample(picture, quality, 4); }));
            std::unique_ptr<JpegCoefficients> analysed;
            analysisMs.push_back(Milliseconds([&] { analysed = JpegCoefficients::Analyse(picture, quality, threads); }));
            if (!analysed) break;
            countMs.push_back(Milliseconds([&] { analysed->Count(quality, threads); }));
            fileMs.push_back(Milliseconds([&] { analysed->Encode(quality, threads); }));
        }
        if (fileMs.empty()) continue;
        std::printf("%-35s %9.1f %9.1f %9.1f %9.1f\n", name.c_str(), Median(sampleMs), Median(analysisMs),
                    Median(countMs), Median(fileMs));
    }
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
}
