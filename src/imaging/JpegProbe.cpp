#include "imaging/JpegProbe.h"

#include <algorithm>
#include <array>
#include <exception>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/JpegSession.h"

// libjpeg's module interfaces (the entropy coder and the forward DCT), which
// the probe takes over for one compression; a C header without C++ guards.
extern "C" {
#include <jpegint.h>
}

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace snapora {

namespace {

constexpr int Unreachable = 1 << 20;

int BitLength(int value) {
    unsigned magnitude = unsigned(value < 0 ? -value : value);
#if defined(__GNUC__)
    return magnitude ? 32 - __builtin_clz(magnitude) : 0;
#else
    int n = 0;
    while (magnitude) {
        ++n;
        magnitude >>= 1;
    }
    return n;
#endif
}

// libjpeg's rounding for a quantised coefficient: to nearest, halves away from zero.
int Quantize(int value, int divisor) {
    return value < 0 ? -((-value + divisor / 2) / divisor) : (value + divisor / 2) / divisor;
}

// Code lengths of a Huffman table by symbol, 0 for symbols it lacks.
void CodeLengths(const JHUFF_TBL& table, std::uint8_t* lengths, int count) {
    std::memset(lengths, 0, std::size_t(count));
    int k = 0;
    for (int length = 1; length <= 16; ++length)
        for (int i = 0; i < table.bits[length]; ++i, ++k)
            if (table.huffval[k] < count) lengths[table.huffval[k]] = std::uint8_t(length);
}

// What AC coefficients cost under one Huffman table: exactly, and at least
// once any coefficients may be added and any may grow.
struct AcCosts {
    int symbol[256];      // code length plus extra bits, Unreachable when the table lacks the symbol
    int zeroRun = 0;      // the 16-zero run (0xF0)
    int endOfBlock = 0;   // (0x00)
    int runFloor[64][11]; // a run of r zeros before a coefficient of size >= s, coefficients insertable
    int tailFloor[64];    // t trailing zeros, coefficients insertable

    explicit AcCosts(const JHUFF_TBL& table) {
        std::uint8_t lengths[256];
        CodeLengths(table, lengths, 256);
        for (int sym = 0; sym < 256; ++sym)
            symbol[sym] = lengths[sym] ? lengths[sym] + (sym & 15) : Unreachable;
        zeroRun = lengths[0xF0] ? lengths[0xF0] : Unreachable;
        endOfBlock = lengths[0x00] ? lengths[0x00] : Unreachable;
        // A run coded as it stands: 16-zero runs, then run/size with the cheapest size >= s.
        auto direct = [&](int run, int size) {
            int best = Unreachable;
            for (int s = size; s <= 10; ++s) best = std::min(best, symbol[((run & 15) << 4) | s]);
            return std::min(Unreachable, best + (run >> 4) * zeroRun);
        };
        int inserted[64];  // a run of a zeros ended by an added coefficient of any size
        for (int a = 0; a < 64; ++a) inserted[a] = direct(a, 1);
        for (int r = 0; r < 64; ++r)
            for (int s = 1; s <= 10; ++s) {
                int best = direct(r, s);
                for (int a = 0; a < r; ++a) best = std::min(best, inserted[a] + runFloor[r - 1 - a][s]);
                runFloor[r][s] = best;
            }
        tailFloor[0] = 0;
        for (int t = 1; t < 64; ++t) {
            int best = endOfBlock;
            for (int a = 0; a < t; ++a) best = std::min(best, inserted[a] + tailFloor[t - 1 - a]);
            tailFloor[t] = best;
        }
    }
};

// For each byte of a natural-order bit mask, its bits in zigzag order.
struct ZigzagMasks {
    std::uint64_t fromNatural[8][256];
    ZigzagMasks() {
        int zigzagOf[64];
        for (int k = 0; k < 64; ++k) zigzagOf[jpeg_natural_order[k]] = k;
        for (int byte = 0; byte < 8; ++byte)
            for (int v = 0; v < 256; ++v) {
                std::uint64_t mask = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (v >> bit & 1) mask |= std::uint64_t(1) << zigzagOf[byte * 8 + bit];
                fromNatural[byte][v] = mask;
            }
    }
};

const ZigzagMasks& Zigzag() {
    static const ZigzagMasks masks;
    return masks;
}

// The nonzero coefficients of a block (natural order in memory) as a zigzag-order bit mask.
std::uint64_t NonzeroMask(const JCOEF* block) {
    const ZigzagMasks& zz = Zigzag();
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int row = 0; row < 8; ++row) {
        __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
        __m128i zeros = _mm_cmpeq_epi16(values, zero);
        int bits = _mm_movemask_epi8(_mm_packs_epi16(zeros, zeros)) & 0xFF;
        mask |= zz.fromNatural[row][~bits & 0xFF];
    }
#else
    for (int row = 0; row < 8; ++row) {
        int bits = 0;
        for (int i = 0; i < 8; ++i) bits |= (block[8 * row + i] != 0) << i;
        mask |= zz.fromNatural[row][bits];
    }
#endif
    return mask;
}

int LowestBit(std::uint64_t mask) {
#if defined(__GNUC__)
    return __builtin_ctzll(mask);
#else
    int n = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++n;
    }
    return n;
#endif
}

// The sum of (sample - 128) over an 8x8 block: its DC term before quantisation.
std::int32_t BlockSum(JSAMPARRAY rows, JDIMENSION column) {
    std::int32_t sum = 0;
    for (int y = 0; y < 8; ++y) {
        const JSAMPLE* p = rows[y] + column;
#if defined(__SSE2__)
        __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        sum += _mm_cvtsi128_si32(_mm_sad_epu8(eight, _mm_setzero_si128()));
#else
        for (int x = 0; x < 8; ++x) sum += p[x];
#endif
    }
    return sum - 64 * 128;
}

// Takes the quantised blocks of one quality in coding order and adds them up
// into a measurement.
class BlockCounter {
public:
    BlockCounter(JpegMeasure& m, bool keep) : measure_(m), keep_(keep) {}

    // Huffman tables, DC divisors and geometry of the compression being measured, once started.
    void Prepare(const jpeg_compress_struct& info) {
        for (int t = 0; t < 2; ++t) {
            CodeLengths(*info.dc_huff_tbl_ptrs[t], measure_.dcCodeLength[t], 12);
            ac_[t] = CostsOf(*info.ac_huff_tbl_ptrs[t]);
            for (int sym = 0; sym < 256; ++sym)
                measure_.acCodeCost[t][sym] = std::uint8_t(std::min(ac_[t]->symbol[sym], 255));
        }
        for (int c = 0; c < 3; ++c) {
            measure_.quantTable[c] = info.comp_info[c].quant_tbl_no;
            measure_.dcTable[c] = info.comp_info[c].dc_tbl_no;
            measure_.acTable[c] = info.comp_info[c].ac_tbl_no;
            dcDivisor_[c] = 8 * info.quant_tbl_ptrs[measure_.quantTable[c]]->quantval[0];
        }
        measure_.dcSumsExact = true;
        for (int c = 0; c < 3; ++c)
            measure_.dcSums[c].reserve(std::size_t(info.comp_info[c].width_in_blocks) *
                                       info.comp_info[c].height_in_blocks);
    }

    // One block the DCT made, with the sum of its samples.
    void Block(int c, const JCOEF* block, std::int32_t sum) {
        JpegMeasure& m = measure_;
        if (Quantize(sum, dcDivisor_[c]) != block[0]) m.dcSumsExact = false;
        m.dcSums[c].push_back(sum);
        if (keep_) {
            m.blockComponent.push_back(std::uint8_t(c));
            m.blockStart.push_back(std::uint32_t(m.coefficientValue.size()));
        }
        // The AC terms in zigzag order: exactly, and the floor for higher qualities.
        const AcCosts& costs = *ac_[m.acTable[c]];
        std::uint64_t nonzero = NonzeroMask(block) & ~std::uint64_t(1);
        int previous = 0;
        std::uint64_t exact = 0, floor = 0;
        while (nonzero) {
            const int k = LowestBit(nonzero);
            nonzero &= nonzero - 1;
            const int value = block[jpeg_natural_order[k]];
            const int size = std::min(BitLength(value), 10);  // libjpeg allows no more for 8-bit samples
            const int run = k - previous - 1;
            previous = k;
            exact += std::uint64_t((run >> 4) * costs.zeroRun + costs.symbol[((run & 15) << 4) | size]);
            floor += std::uint64_t(costs.runFloor[run][size]);
            if (keep_) {
                m.coefficientPosition.push_back(std::uint8_t(k));
                m.coefficientValue.push_back(std::int16_t(value));
            }
        }
        if (previous < 63) exact += std::uint64_t(costs.endOfBlock);
        m.acBits += exact;
        m.acFloorBits += floor + std::uint64_t(costs.tailFloor[63 - previous]);
        ++m.blocks;
    }

    // After the last block of `rows` rows of MCUs: the blocks libjpeg added
    // at the right and bottom edges there (their DC repeats the one before,
    // their AC is empty), and the totals.
    void Finish(const jpeg_compress_struct& info, JDIMENSION rows) {
        JpegMeasure& m = measure_;
        for (int c = 0; c < 3; ++c) {
            const jpeg_component_info& component = info.comp_info[c];
            const std::uint64_t coded = std::uint64_t(info.MCUs_per_row) * rows * std::uint64_t(component.MCU_blocks);
            m.paddingBlocks[c] = coded - m.dcSums[c].size();
            const AcCosts& costs = *ac_[m.acTable[c]];
            m.acBits += m.paddingBlocks[c] * std::uint64_t(costs.endOfBlock);
            m.acFloorBits += m.paddingBlocks[c] * std::uint64_t(costs.tailFloor[63]);
            m.blocks += m.paddingBlocks[c];
        }
        m.bits = m.acBits + DcBitsAt(m, m.quality);
    }
    void Finish(const jpeg_compress_struct& info) { Finish(info, info.MCU_rows_in_scan); }

private:
    // The costs of one Huffman table, worked out once per process.
    static std::shared_ptr<const AcCosts> CostsOf(const JHUFF_TBL& table) {
        static std::mutex mutex;
        static std::vector<std::pair<std::array<std::uint8_t, 256>, std::shared_ptr<const AcCosts>>> known;
        std::array<std::uint8_t, 256> lengths;
        CodeLengths(table, lengths.data(), 256);
        std::lock_guard lock(mutex);
        for (const auto& [l, costs] : known)
            if (l == lengths) return costs;
        known.emplace_back(lengths, std::make_shared<const AcCosts>(table));
        return known.back().second;
    }

    JpegMeasure& measure_;
    bool keep_;
    std::shared_ptr<const AcCosts> ac_[2];
    int dcDivisor_[3] = {};
};

// A compression whose DCT calls the probe sees, reached from libjpeg's
// callbacks through client_data.
struct Probe {
    Probe(JpegMeasure& m, bool keep) : counter(m, keep) {}
    BlockCounter counter;
    void (*forwardDct)(j_compress_ptr, jpeg_component_info*, JSAMPARRAY, JBLOCKROW, JDIMENSION, JDIMENSION,
                       JDIMENSION) = nullptr;
    std::uint64_t written = 0;
    JOCTET sink[4096];
};

Probe& ProbeOf(j_compress_ptr info) { return *static_cast<Probe*>(info->client_data); }

// A measurement: the compression's own DCT and quantisation, then the count.
void ProbeDct(j_compress_ptr info, jpeg_component_info* component, JSAMPARRAY samples, JBLOCKROW blocks,
              JDIMENSION startRow, JDIMENSION startColumn, JDIMENSION count) {
    Probe& probe = ProbeOf(info);
    probe.forwardDct(info, component, samples, blocks, startRow, startColumn, count);
    for (JDIMENSION i = 0; i < count; ++i)
        probe.counter.Block(component->component_index, blocks[i], BlockSum(samples + startRow, startColumn + 8 * i));
}

// An encode beside which another quality is measured: every DCT call of the
// encode runs the measured compression's DCT and quantisation on the same
// samples first (that compression never sees a row of its own).
// Rows of MCUs shared out between an encode, which measures from the top as
// it goes, and a helper thread, which measures bands from the bottom, until
// they meet: on a free second core the helper takes much of the work, on a
// busy one the encode takes it all.
struct RowShare {
    std::mutex mutex;
    JDIMENSION top = 0;     // rows below this the encode has taken
    JDIMENSION bottom = 0;  // rows from this on the helper has taken
};

struct MeasuringEncode {
    Probe& probe;
    jpeg_compress_struct& measured;
    RowShare& share;
    void (*forwardDct)(j_compress_ptr, jpeg_component_info*, JSAMPARRAY, JBLOCKROW, JDIMENSION, JDIMENSION,
                       JDIMENSION) = nullptr;
    JDIMENSION row = 0;     // the row of MCUs being encoded, counted from 1
    bool measuring = true;  // whether this row is the encode's to measure
    JBLOCK blocks[C_MAX_BLOCKS_IN_MCU] = {};
};

void MeasuringDct(j_compress_ptr info, jpeg_component_info* component, JSAMPARRAY samples, JBLOCKROW blocks,
                  JDIMENSION startRow, JDIMENSION startColumn, JDIMENSION count) {
    auto& encode = *static_cast<MeasuringEncode*>(info->client_data);
    const int c = component->component_index;
    if (c == 0 && startRow == 0 && startColumn == 0 && encode.measuring) {  // a new row of MCUs
        std::lock_guard lock(encode.share.mutex);
        encode.measuring = encode.row < encode.share.bottom;
        if (encode.measuring) encode.share.top = ++encode.row;
    }
    if (encode.measuring) {
        const JDIMENSION measured = std::min<JDIMENSION>(count, C_MAX_BLOCKS_IN_MCU);
        encode.measured.fdct->forward_DCT(&encode.measured, &encode.measured.comp_info[c], samples, encode.blocks,
                                          startRow, startColumn, measured);
        for (JDIMENSION i = 0; i < measured; ++i)
            encode.probe.counter.Block(c, encode.blocks[i], BlockSum(samples + startRow, startColumn + 8 * i));
    }
    encode.forwardDct(info, component, samples, blocks, startRow, startColumn, count);
}

// Adds a measurement of the rows below to one of the rows above.
void Append(JpegMeasure& m, const JpegMeasure& below) {
    for (int c = 0; c < 3; ++c) {
        m.dcSums[c].insert(m.dcSums[c].end(), below.dcSums[c].begin(), below.dcSums[c].end());
        m.paddingBlocks[c] += below.paddingBlocks[c];
    }
    m.acBits += below.acBits;
    m.acFloorBits += below.acFloorBits;
    m.blocks += below.blocks;
    m.dcSumsExact = m.dcSumsExact && below.dcSumsExact;
}

boolean CodeNothing(j_compress_ptr, JBLOCKROW*) { return TRUE; }

// A destination that only counts: a measurement's output is the markers alone.
void SinkInit(j_compress_ptr info) {
    Probe& probe = ProbeOf(info);
    info->dest->next_output_byte = probe.sink;
    info->dest->free_in_buffer = sizeof probe.sink;
}
boolean SinkEmpty(j_compress_ptr info) {
    Probe& probe = ProbeOf(info);
    probe.written += sizeof probe.sink;
    SinkInit(info);
    return TRUE;
}
void SinkTerm(j_compress_ptr) {}

struct QuantTables {
    std::uint16_t values[2][64];
};

// libjpeg's tables for every quality, made once.
const QuantTables& TablesAt(int quality) {
    static std::array<QuantTables, 101> tables;
    static std::once_flag made;
    std::call_once(made, [] {
        jpeg_compress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        info.in_color_space = JCS_RGB;
        info.input_components = 3;
        jpeg_set_defaults(&info);
        for (int q = 1; q <= 100; ++q) {
            jpeg_set_quality(&info, q, TRUE);
            for (int t = 0; t < 2; ++t)
                for (int k = 0; k < 64; ++k) tables[q].values[t][k] = info.quant_tbl_ptrs[t]->quantval[k];
        }
        jpeg_destroy_compress(&info);
    });
    return tables[std::clamp(quality, 1, 100)];
}

// Every entry of `higher`'s tables at most that of `lower`'s: then no
// coefficient quantises smaller at `higher`.
bool TablesFiner(int higher, int lower) {
    const QuantTables& h = TablesAt(higher);
    const QuantTables& l = TablesAt(lower);
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 64; ++k)
            if (h.values[t][k] > l.values[t][k]) return false;
    return true;
}

}  // namespace

void JpegQuantTable(int quality, int table, std::uint16_t (&values)[64]) {
    std::memcpy(values, TablesAt(quality).values[table], sizeof values);
}

namespace {

// Measures the rows [first, first + count) of a picture as a picture of their own.
JpegMeasure MeasureRows(const Bitmap& picture, int first, int count, int quality, bool keepCoefficients) {
    JpegMeasure m;
    m.quality = quality;
    Probe probe(m, keepCoefficients);

    jpeg_compress_struct info{};
    jpeg::ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    jpeg_destination_mgr sink{};
    sink.init_destination = SinkInit;
    sink.empty_output_buffer = SinkEmpty;
    sink.term_destination = SinkTerm;

    if (setjmp(errors.escape)) {
        jpeg_destroy_compress(&info);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.client_data = &probe;
    info.dest = &sink;
    jpeg::Configure(info, picture, quality);
    info.image_height = JDIMENSION(count);
    jpeg_start_compress(&info, TRUE);
    probe.counter.Prepare(info);
    // Taken over after the start, which sets up the modules' own methods.
    probe.forwardDct = info.fdct->forward_DCT;
    info.fdct->forward_DCT = ProbeDct;
    info.entropy->encode_mcu = CodeNothing;  // the count happens in the DCT
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.Row(first + int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    probe.counter.Finish(info);
    m.headerBytes = probe.written + (sizeof probe.sink - info.dest->free_in_buffer) + 2;  // and the closing marker
    jpeg_destroy_compress(&info);
    return m;
}

}  // namespace

JpegMeasure MeasureJpeg(const Bitmap& picture, int quality, bool keepCoefficients) {
    jpeg::CheckPicture(picture);
    return MeasureRows(picture, 0, picture.Height(), quality, keepCoefficients);
}

MeasuredJpeg EncodeAndMeasureJpeg(const Bitmap& picture, int quality, int measuredQuality) {
    jpeg::CheckPicture(picture);
    MeasuredJpeg result;
    JpegMeasure& m = result.measure;
    m.quality = measuredQuality;
    Probe probe(m, false);

    // The encode, as EncodeJpeg does it, and the measured quality's compression.
    jpeg_compress_struct info{}, measured{};
    jpeg::ErrorManager errors{};
    info.err = measured.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_destination_mgr sink{};
    sink.init_destination = SinkInit;
    sink.empty_output_buffer = SinkEmpty;
    sink.term_destination = SinkTerm;
    RowShare share;
    MeasuringEncode encode{probe, measured, share};

    // The helper: bands of rows of MCUs from the bottom up, each measured as a
    // picture of its own (their blocks are the picture's own: 4:2:0 needs no
    // rows beyond an MCU). Its bands are appended top-down at the end.
    constexpr JDIMENSION McuRows = 16, BandMcus = 8;
    const JDIMENSION rows = JDIMENSION(picture.Height() + McuRows - 1) / McuRows;
    share.bottom = rows;
    std::vector<std::pair<JDIMENSION, JpegMeasure>> bands;
    std::exception_ptr helperError;
    std::thread helper([&] {
        try {
            for (;;) {
                JDIMENSION first = 0, end = 0;
                {
                    std::lock_guard lock(share.mutex);
                    end = share.bottom;
                    first = end > share.top + BandMcus ? end - BandMcus : share.top;
                    if (first >= end) return;
                    share.bottom = first;
                }
                const int y = int(first * McuRows);
                const int height = std::min(picture.Height(), int(end * McuRows)) - y;
                bands.emplace_back(first, MeasureRows(picture, y, height, measuredQuality, false));
            }
        } catch (...) {
            helperError = std::current_exception();
        }
    });
    struct Join {
        std::thread& thread;
        RowShare& share;
        ~Join() {
            if (!thread.joinable()) return;
            {
                std::lock_guard lock(share.mutex);
                share.bottom = share.top;  // nothing more to take
            }
            thread.join();
        }
    } join{helper, share};

    if (setjmp(errors.escape)) {
        jpeg_destroy_compress(&measured);
        jpeg_destroy_compress(&info);
        std::free(out);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&measured);
    measured.client_data = &probe;
    measured.dest = &sink;
    jpeg::Configure(measured, picture, measuredQuality);
    jpeg_start_compress(&measured, TRUE);
    probe.counter.Prepare(measured);

    jpeg_create_compress(&info);
    info.client_data = &encode;
    jpeg_mem_dest(&info, &out, &outSize);
    jpeg::Configure(info, picture, quality);
    jpeg_start_compress(&info, TRUE);
    encode.forwardDct = info.fdct->forward_DCT;
    info.fdct->forward_DCT = MeasuringDct;
    jpeg::WriteRows(info, picture);
    jpeg_finish_compress(&info);
    helper.join();
    JDIMENSION top = 0;
    {
        std::lock_guard lock(share.mutex);
        top = share.top;
    }
    probe.counter.Finish(info, top);
    jpeg_destroy_compress(&info);
    jpeg_destroy_compress(&measured);
    result.jpeg.assign(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    if (helperError) std::rethrow_exception(helperError);

    std::sort(bands.begin(), bands.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [first, band] : bands) Append(m, band);
    m.bits = m.acBits + DcBitsAt(m, m.quality);
    // Both qualities' files have the same markers; only the tables' values differ.
    m.headerBytes = JpegHeaderBytes(result.jpeg);
    return result;
}

std::uint64_t JpegHeaderBytes(const std::string& jpeg) {
    // Start of image, then marker segments up to and with the start of scan.
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(jpeg[i]); };
        if (byte(at) != 0xFF) break;
        const unsigned marker = byte(at + 1);
        at += 2 + ((std::size_t(byte(at + 2)) << 8) | byte(at + 3));
        if (marker == 0xDA) return at + 2;  // and the end-of-image marker
    }
    return 0;
}

std::uint64_t JpegBytesFor(const JpegMeasure& measure, std::uint64_t bits) {
    return measure.headerBytes + (bits + 7) / 8;
}

std::uint64_t DcBitsAt(const JpegMeasure& measure, int quality) {
    const QuantTables& tables = TablesAt(quality);
    std::uint64_t bits = 0;
    for (int c = 0; c < 3; ++c) {
        const std::uint8_t* lengths = measure.dcCodeLength[measure.dcTable[c]];
        bits += measure.paddingBlocks[c] * lengths[0];  // each repeats the DC before it
        // A difference of size s costs lengths[s] + s bits: the cost of size 0
        // plus a step for every power of two the difference reaches.
        int step[11];
        for (int s = 1; s <= 11; ++s) step[s - 1] = (lengths[s] + s) - (lengths[s - 1] + s - 1);
        // Quantising in single precision is exact here: sums and divisors are
        // small integers, and a quotient's fraction is never below 1/2040.
        const float divisor = float(8 * tables.values[measure.quantTable[c]][0]);
        const float half = divisor / 2;
        const std::vector<std::int32_t>& sums = measure.dcSums[c];
        std::uint64_t cost = std::uint64_t(lengths[0]) * sums.size();
        int previous = 0;
        constexpr std::size_t Chunk = 1024;
        std::int32_t dc[Chunk], difference[Chunk];
        for (std::size_t at = 0; at < sums.size(); at += Chunk) {
            const std::size_t n = std::min(Chunk, sums.size() - at);
            const std::int32_t* sum = sums.data() + at;
            for (std::size_t i = 0; i < n; ++i) {
                const std::int32_t q = std::int32_t((float(sum[i] < 0 ? -sum[i] : sum[i]) + half) / divisor);
                dc[i] = sum[i] < 0 ? -q : q;
            }
            difference[0] = dc[0] - previous;
            for (std::size_t i = 1; i < n; ++i) difference[i] = dc[i] - dc[i - 1];
            previous = dc[n - 1];
            std::uint32_t chunkCost = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::int32_t a = difference[i] < 0 ? -difference[i] : difference[i];
                std::int32_t extra = 0;
                for (int s = 0; s < 11; ++s) extra += a >= (1 << s) ? step[s] : 0;
                chunkCost += std::uint32_t(extra);
            }
            cost += chunkCost;
        }
        bits += cost;
    }
    return bits;
}

std::uint64_t JpegSizeFloor(const JpegMeasure& measure, int quality) {
    if (quality == measure.quality) return JpegBytesFor(measure, measure.bits);
    if (quality < measure.quality || !measure.dcSumsExact || !TablesFiner(quality, measure.quality)) return 0;
    return JpegBytesFor(measure, DcBitsAt(measure, quality) + measure.acFloorBits);
}

std::uint64_t JpegSizeFloorAbove(const JpegMeasure& measure) {
    if (!measure.dcSumsExact) return 0;
    for (int q = measure.quality + 1; q <= 100; ++q)
        if (!TablesFiner(q, measure.quality)) return 0;
    std::uint64_t bits = measure.acFloorBits;
    for (int c = 0; c < 3; ++c)
        bits += (measure.dcSums[c].size() + measure.paddingBlocks[c]) * measure.dcCodeLength[measure.dcTable[c]][0];
    return JpegBytesFor(measure, bits);
}

std::uint64_t EstimateBitsAt(const JpegMeasure& measure, int quality) {
    const QuantTables& from = TablesAt(measure.quality);
    const QuantTables& to = TablesAt(quality);
    float ratio[2][64];  // by zigzag position
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 64; ++k)
            ratio[t][k] = float(from.values[t][jpeg_natural_order[k]]) / float(to.values[t][jpeg_natural_order[k]]);
    std::uint64_t bits = DcBitsAt(measure, quality);
    const std::size_t blocks = measure.blockStart.size();
    for (std::size_t b = 0; b < blocks; ++b) {
        const int table = measure.quantTable[measure.blockComponent[b]];
        const std::uint8_t* cost = measure.acCodeCost[measure.acTable[measure.blockComponent[b]]];
        const std::size_t end = b + 1 < blocks ? measure.blockStart[b + 1] : measure.coefficientValue.size();
        int previous = 0;
        for (std::size_t i = measure.blockStart[b]; i < end; ++i) {
            const int k = measure.coefficientPosition[i];
            const int value = int(float(std::abs(measure.coefficientValue[i])) * ratio[table][k] + 0.5f);
            if (!value) continue;
            const int size = std::min(BitLength(value), 10);
            const int run = k - previous - 1;
            previous = k;
            bits += std::uint64_t((run >> 4) * cost[0xF0] + cost[((run & 15) << 4) | size]);
        }
        if (previous < 63) bits += cost[0x00];
    }
    return bits;
}

}  // namespace snapora
