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
#include <string>
#include <vector>

#include "imaging/Bitmap.h"

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
    JpegCoefficients() = default;
    int width_ = 0, height_ = 0, finestQuality_ = 0;
    std::int16_t* scratch_ = nullptr;  // the bands' memory, given back for the next picture
    std::size_t scratchCapacity_ = 0;
    double sampledShare_ = 1;  // of the picture's pixels
    static std::unique_ptr<JpegCoefficients> AnalyseRows(const PixelRows& picture, int finestQuality, int threads,
                                                         const std::atomic<bool>* stop);
    std::uint64_t headerBytes_ = 0;
    std::vector<Band> bands_;  // top to bottom
    // Component c's DC output of its index-th block in coding order, over the bands.
    int DcTerm(int c, std::size_t index) const;
};

// The quantisation of one DCT output (as the analysis keeps it) at a
// quality's table 0 (luminance) or 1 (chrominance), entry `k` in natural
// order: as the counts work it out, and as libjpeg's own quantiser does.
int QuantizeCoefficient(int value, int quality, int table, int k);
int LibjpegQuantize(int value, int quality, int table, int k);

}  // namespace snapora
