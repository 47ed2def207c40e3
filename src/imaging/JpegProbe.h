#pragma once
// How large the program's JPEG of a picture is at a quality, without writing
// it: libjpeg's own pipeline (colour conversion, downsampling, DCT,
// quantisation) runs as for EncodeJpeg, and the entropy coder is replaced by a
// count of the bits it would write with the same Huffman tables.
//
// One measurement also bounds every higher quality from below: each
// coefficient quantised at a higher quality is at least as large, so the AC
// codes can only cost what the cheapest way of adding coefficients costs
// (acFloorBits); the DC terms are the blocks' sample sums, quantised exactly
// for any quality. Byte stuffing only ever adds to a file, so the counts are
// lower bounds of file sizes, exact up to the stuffed bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"

namespace snapora {

struct JpegMeasure {
    int quality = 0;
    std::uint64_t headerBytes = 0;  // markers and tables before the coded data, and the closing marker
    std::uint64_t bits = 0;         // coded bits at `quality`, byte stuffing and padding left out
    std::uint64_t acBits = 0;       // the AC terms' share of them
    std::uint64_t acFloorBits = 0;  // AC bits that no quality above `quality` goes below
    std::uint64_t blocks = 0;       // 8x8 blocks coded, edge padding included
    // Whether the blocks' sample sums gave libjpeg's DC value for every block;
    // without that, nothing is said about other qualities.
    bool dcSumsExact = false;

    // Per component, in coding order: each block's sum of (sample - 128); and
    // how many blocks libjpeg added at the edges (they repeat the DC before them).
    std::vector<std::int32_t> dcSums[3];
    std::uint64_t paddingBlocks[3] = {};
    int quantTable[3] = {0, 1, 1};  // per component
    int dcTable[3] = {0, 1, 1};
    int acTable[3] = {0, 1, 1};
    std::uint8_t dcCodeLength[2][12] = {};

    // The nonzero AC coefficients at `quality` (when asked for): per block its
    // component and where its entries start; per entry the zigzag position and value.
    std::vector<std::uint8_t> blockComponent;
    std::vector<std::uint32_t> blockStart;
    std::vector<std::uint8_t> coefficientPosition;
    std::vector<std::int16_t> coefficientValue;
    std::uint8_t acCodeCost[2][256] = {};  // code length plus extra bits per run/size symbol, 0 when absent
};

// Measures the JPEG EncodeJpeg would write at this quality. Keeping the
// coefficients allows estimates for lower qualities.
JpegMeasure MeasureJpeg(const Bitmap& picture, int quality, bool keepCoefficients = false);

// The JPEG EncodeJpeg writes at `quality`, and the measurement of another
// quality taken on the way: the encode's samples go through both qualities'
// DCT and quantisation from the top down, while a second thread measures
// bands from the bottom up, until the two meet.
struct MeasuredJpeg {
    std::string jpeg;
    JpegMeasure measure;
};
MeasuredJpeg EncodeAndMeasureJpeg(const Bitmap& picture, int quality, int measuredQuality);

// Everything of a JPEG file but its coded data: the markers up to the start of
// scan and the end-of-image marker; 0 when the file has no start of scan.
std::uint64_t JpegHeaderBytes(const std::string& jpeg);

// The file's size when its coded data has this many bits and no byte stuffing.
std::uint64_t JpegBytesFor(const JpegMeasure& measure, std::uint64_t bits);

// The exact DC bits of the JPEG at another quality.
std::uint64_t DcBitsAt(const JpegMeasure& measure, int quality);

// A size the JPEG at `quality` (the measured one or higher) is certainly not
// smaller than; 0 when the measurement cannot say.
std::uint64_t JpegSizeFloor(const JpegMeasure& measure, int quality);

// A size no JPEG of a quality above the measured one goes below, whichever
// quality: the AC floor and the cheapest DC code for every block. Quick; 0
// when the measurement cannot say.
std::uint64_t JpegSizeFloorAbove(const JpegMeasure& measure);

// The coded bits at a lower quality, estimated by quantising the kept
// coefficients again (exact DC, approximate AC).
std::uint64_t EstimateBitsAt(const JpegMeasure& measure, int quality);

// libjpeg's quantisation table `table` (0 luminance, 1 chrominance) at a
// quality, in natural order.
void JpegQuantTable(int quality, int table, std::uint16_t (&values)[64]);

}  // namespace snapora
