#pragma once
// The part of the program's JPEG that does not depend on the quality:
// libjpeg's own colour conversion, downsampling and DCT, run once over a
// picture in the very set-up EncodeJpeg uses, with every block's DCT output
// kept. From it the file's size at any quality is counted without writing
// the file: libjpeg's own quantisation at that quality, then the bits the
// standard Huffman tables give the blocks. Only byte stuffing (a zero after
// each 0xFF of coded data) is left out, so a count is the file's size or up
// to about one percent less (white screens at 200 % stuff the most), never more.
//
// A count also bounds every higher quality from below: at a finer table each
// quantised coefficient is at least as large, so the AC codes cost at least
// what the cheapest way of adding and growing coefficients costs
// (acFloorBits); the DC terms are quantised exactly for any quality.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JpegWriter.h"

namespace snapora {

struct JpegCount {
    int quality = 0;
    std::uint64_t bits = 0;         // coded bits at `quality`, without stuffing and padding
    std::uint64_t acFloorBits = 0;  // AC bits that no quality with a finer table goes below
};

// Rows of 24-bit pixels as a Bitmap holds them.
struct PixelRows {
    int width = 0, height = 0;
    const std::uint8_t* first = nullptr;
    std::ptrdiff_t stride = 0;
    int Width() const { return width; }
    int Height() const { return height; }
    const std::uint8_t* Row(int y) const { return first + std::ptrdiff_t(y) * stride; }
};

class JpegCoefficients {
public:
    // Analyses the picture for qualities up to `finestQuality`, in up to
    // `threads` bands of rows at once. Returns nullptr when `stop` was set
    // meanwhile, or when this libjpeg cannot be analysed this way (its
    // internals are checked first); throws what libjpeg reports. The
    // memory is kept for the next analysis when this one ends.
    static std::unique_ptr<JpegCoefficients> Analyse(const Bitmap& picture, int finestQuality, int threads,
                                                     const std::atomic<bool>* stop = nullptr);

    // The same for a sample of the picture: every `step`-th 16x16 block (the
    // 4:2:0 unit) of every `step`-th row of them, put side by side, so that
    // its blocks are the picture's own. Its counts, times the picture's
    // blocks over the sample's, estimate the picture's.
    static std::unique_ptr<JpegCoefficients> AnalyseSample(const Bitmap& picture, int finestQuality, int step);
    double SampledShare() const { return sampledShare_; }

    ~JpegCoefficients();
    JpegCoefficients(const JpegCoefficients&) = delete;
    JpegCoefficients& operator=(const JpegCoefficients&) = delete;

    // Whether counts and files at this quality can be made.
    bool Covers(int quality) const;

    // The coded bits at a quality, over up to `threads` threads; without
    // `floor` the count's acFloorBits are left out (0), which saves time.
    JpegCount Count(int quality, int threads = 1, bool floor = true) const;

    // The file's size with this many coded bits and nothing stuffed.
    std::uint64_t BytesFor(std::uint64_t bits) const { return headerBytes_ + (bits + 7) / 8; }
    std::uint64_t HeaderBytes() const { return headerBytes_; }

    // A size the file at `quality` is certainly not smaller than, from a count
    // at the same or a lower quality; 0 when the count says nothing about it.
    // A quick floor is taken as soon as it is above `enough`.
    std::uint64_t SizeFloor(const JpegCount& count, int quality, std::uint64_t enough = UINT64_MAX) const;
    // The same for several qualities at once, over up to `threads` threads.
    std::vector<std::uint64_t> SizeFloors(const JpegCount& count, const std::vector<int>& qualities,
                                          std::uint64_t enough, int threads) const;

    // The exact DC bits at a quality; at several at once.
    std::uint64_t DcBitsAt(int quality) const;
    std::vector<std::uint64_t> DcBits(const std::vector<int>& qualities, int threads) const;

    // The file EncodeJpeg writes at this quality, byte for byte: libjpeg's
    // markers, then these blocks quantised by libjpeg's quantiser and coded
    // with its Huffman tables as its encoder codes them, in two halves on up
    // to `threads` threads whose bits are joined.
    std::string Encode(int quality, int threads = 1) const;
    // The same file by libjpeg's own encoder, whose colour conversion and
    // downsampling are skipped and whose DCT step hands out these blocks.
    std::string EncodeByLibjpeg(int quality) const;

    struct Band;

private:
    friend class JpegRecorder;
    JpegCoefficients() = default;
    int width_ = 0, height_ = 0, finestQuality_ = 0;
    // The bands' memory, given back for the next picture: the analysed bands', and a recording's.
    std::int16_t* scratch_[2] = {};
    std::size_t scratchCapacity_[2] = {};
    double sampledShare_ = 1;  // of the picture's pixels
    static std::unique_ptr<JpegCoefficients> AnalyseRows(const PixelRows& picture, int finestQuality, int threads,
                                                         const std::atomic<bool>* stop);
    std::uint64_t headerBytes_ = 0;
    std::vector<Band> bands_;  // top to bottom
    // Component c's DC output of its index-th block in coding order, over the bands.
    int DcTerm(int c, std::size_t index) const;
};

// A file made as EncodeJpegWatched makes it, which keeps, once Record() is
// called from the watch, the DCT output of the rows still to come, as the
// analysis keeps it: should the file turn out too large, an analysis at its
// quality then has only the rows above to go through.
class JpegRecorder {
public:
    JpegRecorder(const Bitmap& picture, int quality);
    ~JpegRecorder();
    JpegRecorder(const JpegRecorder&) = delete;
    JpegRecorder& operator=(const JpegRecorder&) = delete;

    // EncodeJpegWatched's file, byte for byte. Once.
    std::optional<std::string> Encode(const EncodeWatch& keepGoing);
    // From the watch: the rows from the one it was asked at on are kept.
    // False when this libjpeg cannot be recorded (nor analysed).
    bool Record();
    // After a finished Encode: the analysis at the file's quality, of the
    // rows above the recording, the rest taken from it; of every row when
    // nothing could be kept. Nullptr as JpegCoefficients::Analyse. Once.
    std::unique_ptr<JpegCoefficients> Analyse(int threads);

private:
    struct State;
    const Bitmap& picture_;
    const int quality_;
    std::unique_ptr<State> state_;
};

// The quantisation of one DCT output (as the analysis keeps it) at a
// quality's table 0 (luminance) or 1 (chrominance), entry `k` in natural
// order: as the counts work it out, and as libjpeg's own quantiser does.
int QuantizeCoefficient(int value, int quality, int table, int k);
int LibjpegQuantize(int value, int quality, int table, int k);

}  // namespace snapora
