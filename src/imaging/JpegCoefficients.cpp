#include "imaging/JpegCoefficients.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "base/Beside.h"
#include "imaging/HuffmanCoder.h"
#include "imaging/JpegSession.h"

// libjpeg's module interfaces: the analysis takes over the DCT module's last
// step and the entropy coder for one compression. A C header without C++ guards.
extern "C" {
#include <jpegint.h>
}

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace snapora {

namespace {

// ---- libjpeg-turbo's DCT module from inside ------------------------------------------
// The module's private state begins with these fields (jcdctmgr.c of
// libjpeg-turbo 1.x to 3.x, 8-bit samples, SIMD build: 16-bit DCT values).
// Nothing is taken on trust: Quantizer() checks the layout against the
// quantisation tables of a started compression and the quantiser against
// exact division, and without that check passing nothing is counted.
using QuantizeFn = void (*)(JCOEFPTR coefficients, std::int16_t* divisors, std::int16_t* workspace);

struct DctModule {
    jpeg_forward_dct pub;
    void (*dct)(std::int16_t*);
    void (*convsamp)(JSAMPARRAY, JDIMENSION, std::int16_t*);
    QuantizeFn quantize;
    std::int16_t* divisors[NUM_QUANT_TBLS];
    std::int16_t* workspace;
};

DctModule& DctOf(jpeg_compress_struct& info) { return *reinterpret_cast<DctModule*>(info.fdct); }

// libjpeg's quantisation at one quality: its function and its divisor tables
// (reciprocal, correction, scale, shift; 64 entries each) for tables 0 and 1.
struct Quantizer {
    bool valid = false;
    QuantizeFn quantize = nullptr;
    alignas(32) std::int16_t divisors[2][4 * 64] = {};
    std::uint16_t table[2][64] = {};  // the quantisation tables themselves, natural order
};

// The scalar form of libjpeg's reciprocal quantisation (its C version; its
// SIMD versions compute the same).
int QuantizeWith(const std::int16_t* divisors, int k, int value) {
    const unsigned recip = std::uint16_t(divisors[k]);
    const unsigned corr = std::uint16_t(divisors[64 + k]);
    const int shift = divisors[192 + k];
    const unsigned magnitude = unsigned(value < 0 ? -value : value);
    const int q = int(((magnitude + corr) * recip) >> (shift + 16));
    return value < 0 ? -q : q;
}

Quantizer MakeQuantizer(int quality) {
    Quantizer q;
    // A compression of a small picture at `quality`, started, for its tables.
    jpeg::CompressToMemory(16, 16, quality, [&](jpeg_compress_struct& info) {
        if (info.dct_method != JDCT_ISLOW || info.num_components != 3) return;
        DctModule& dct = DctOf(info);
        q.quantize = dct.quantize;
        bool ok = q.quantize != nullptr;
        for (int t = 0; t < 2 && ok; ++t) {
            const std::int16_t* divisors = dct.divisors[t];
            if (!divisors || !info.quant_tbl_ptrs[t]) return;
            std::memcpy(q.divisors[t], divisors, sizeof q.divisors[t]);
            for (int k = 0; k < 64; ++k) {
                q.table[t][k] = info.quant_tbl_ptrs[t]->quantval[k];
                // The correction is half the divisor (quantisation value times 8), rounded.
                const int divisor = q.table[t][k] * 8, corr = std::uint16_t(divisors[64 + k]);
                ok = ok && (corr == divisor / 2 || corr == divisor / 2 + 1);
            }
            // The quantiser rounds exact multiples and halves as division would.
            alignas(32) std::int16_t workspace[64];
            alignas(32) JCOEF out[64];
            for (int round = 0; round < 3 && ok; ++round) {
                for (int k = 0; k < 64; ++k) {
                    const int divisor = q.table[t][k] * 8, m = (k * 7 + round * 3) % 9 - 4;
                    workspace[k] = std::int16_t(m * divisor + (round == 2 ? (m < 0 ? -1 : 1) * (divisor / 2 - 1) : 0));
                }
                std::int16_t copy[64];
                std::memcpy(copy, workspace, sizeof copy);
                q.quantize(out, q.divisors[t], workspace);
                for (int k = 0; k < 64; ++k)
                    ok = ok && out[k] == (k * 7 + round * 3) % 9 - 4 &&
                         out[k] == QuantizeWith(q.divisors[t], k, copy[k]);
            }
        }
        q.valid = ok;
    }, nullptr);
    return q;
}

const Quantizer& QuantizerAt(int quality) {
    static std::array<std::optional<Quantizer>, 101> made;
    static std::mutex mutex;
    quality = std::clamp(quality, 1, 100);
    std::lock_guard lock(mutex);
    if (!made[quality]) made[quality] = MakeQuantizer(quality);
    return *made[quality];
}

// Every entry of `higher`'s tables at most that of `lower`'s: then no
// coefficient quantises smaller at `higher`.
bool TablesFiner(int higher, int lower) {
    const Quantizer& h = QuantizerAt(higher);
    const Quantizer& l = QuantizerAt(lower);
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 64; ++k)
            if (h.table[t][k] > l.table[t][k]) return false;
    return true;
}

// ---- Huffman costs --------------------------------------------------------------------
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
    int symbol[256];       // code length plus extra bits, Unreachable when the table lacks the symbol
    int zeroRun = 0;       // the 16-zero run (0xF0)
    int endOfBlock = 0;    // (0x00)
    int runFloor[64][11];  // a run of r zeros before a coefficient of size >= s, coefficients insertable
    int tailFloor[64];     // t trailing zeros, coefficients insertable

    explicit AcCosts(const std::uint8_t (&lengths)[256]) {
        for (int sym = 0; sym < 256; ++sym) symbol[sym] = lengths[sym] ? lengths[sym] + (sym & 15) : Unreachable;
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

// The costs of one Huffman table, worked out once per process.
std::shared_ptr<const AcCosts> CostsOf(const JHUFF_TBL& table) {
    static std::mutex mutex;
    static std::vector<std::pair<std::array<std::uint8_t, 256>, std::shared_ptr<const AcCosts>>> known;
    std::uint8_t lengths[256];
    CodeLengths(table, lengths, 256);
    std::array<std::uint8_t, 256> key;
    std::copy_n(lengths, 256, key.begin());
    std::lock_guard lock(mutex);
    for (const auto& [l, costs] : known)
        if (l == key) return costs;
    known.emplace_back(key, std::make_shared<const AcCosts>(lengths));
    return known.back().second;
}

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
    for (int row = 0; row < 8; row += 2) {
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * row + 8));
        const int zeros = _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero)));
        mask |= zz.fromNatural[row][~zeros & 0xFF] | zz.fromNatural[row + 1][(~zeros >> 8) & 0xFF];
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

}  // namespace

namespace {

// ---- memory -------------------------------------------------------------------------------
// The analysis' memory is kept for the next picture: a fresh allocation has
// every page faulted in and zeroed by the system as it is first written,
// which can cost more than the analysis itself (a 3840x2160 picture's
// blocks take up to 25 MB). The three largest buffers used so far are kept
// (an analysis, and a sample's pixels and analysis).
struct Scratch {
    std::unique_ptr<std::int16_t[]> memory;
    std::size_t capacity = 0;
};

std::mutex scratchMutex;
Scratch kept[3];

Scratch TakeScratch(std::size_t values) {
    std::lock_guard lock(scratchMutex);
    Scratch* best = nullptr;
    for (Scratch& k : kept)
        if (k.capacity >= values && (!best || k.capacity < best->capacity)) best = &k;
    if (best) return std::exchange(*best, Scratch{});
    return Scratch{std::unique_ptr<std::int16_t[]>(new std::int16_t[values]), values};
}

void GiveBack(Scratch scratch) {
    std::lock_guard lock(scratchMutex);
    Scratch* smallest = &kept[0];
    for (Scratch& k : kept)
        if (k.capacity < smallest->capacity) smallest = &k;
    if (scratch.capacity > smallest->capacity) *smallest = std::move(scratch);
}

// Scratch memory for as long as it is in scope.
class ScratchLease {
public:
    explicit ScratchLease(std::size_t values) : scratch_(TakeScratch(values)) {}
    ~ScratchLease() { GiveBack(std::move(scratch_)); }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
    std::int16_t* Get() { return scratch_.memory.get(); }

private:
    Scratch scratch_;
};

}  // namespace

// ---- the analysis -----------------------------------------------------------------------

// The DCT output of a band of rows, per component in coding order. A block
// none of whose AC terms survive quantisation at the finest quality asked
// for keeps only its DC term: coarser tables leave its AC terms zero too.
// The others keep all 64 values.
struct JpegCoefficients::Band {
    std::size_t count[3] = {};      // blocks
    std::uint64_t padding[3] = {};  // blocks libjpeg adds at the edges (no AC, the DC before repeated)
    std::int16_t* dc[3] = {};       // every block's DC term
    std::uint8_t* whole[3] = {};    // per block: 1 when all 64 values are kept
    std::int16_t* blocks[3] = {};   // the kept blocks' values, 64 each, in order
    std::size_t kept[3] = {};
};

namespace {

// One band's analysis, or a recorded file's, reached from libjpeg's callbacks:
// the DCT module's quantiser does not see the compression, so it finds its band here.
struct Capture {
    JpegCoefficients::Band* band = nullptr;  // none: a recording not started yet
    const Quantizer* finest = nullptr;
    const std::atomic<bool>* stop = nullptr;
    std::jmp_buf* escape = nullptr;
    bool stopped = false;
    bool overflow = false;  // more blocks than the geometry said
    int component = 0;
    std::size_t filled[3] = {};
    void (*forwardDct)(j_compress_ptr, jpeg_component_info*, JSAMPARRAY, JBLOCKROW, JDIMENSION, JDIMENSION,
                       JDIMENSION) = nullptr;
    QuantizeFn quantize = nullptr;  // a recorded file's own
    // Every block of the band kept, and no more.
    bool Complete() const {
        for (int c = 0; c < 3; ++c)
            if (filled[c] != band->count[c]) return false;
        return !overflow;
    }
};
thread_local Capture* capturing = nullptr;

// Sets the capture of this thread for as long as it is in scope.
class Capturing {
public:
    explicit Capturing(Capture* capture) : previous_(std::exchange(capturing, capture)) {}
    ~Capturing() { capturing = previous_; }
    Capturing(const Capturing&) = delete;
    Capturing& operator=(const Capturing&) = delete;

private:
    Capture* previous_;
};

// One block's DCT output, quantised at the finest quality into `quantized`.
void Keep(Capture& c, JCOEFPTR quantized, const std::int16_t* workspace) {
    const int k = c.component;
    JpegCoefficients::Band& band = *c.band;
    std::size_t& n = c.filled[k];
    if (n >= band.count[k]) {
        c.overflow = true;
        return;
    }
    band.dc[k][n] = workspace[0];
    const bool whole = (NonzeroMask(quantized) & ~std::uint64_t(1)) != 0;
    band.whole[k][n] = whole;
    if (whole) std::memcpy(band.blocks[k] + 64 * band.kept[k]++, workspace, 64 * sizeof(std::int16_t));
    ++n;
}

void KeepDctOutput(JCOEFPTR quantized, std::int16_t*, std::int16_t* workspace) {
    Capture& c = *capturing;
    c.finest->quantize(quantized, const_cast<std::int16_t*>(c.finest->divisors[c.component == 0 ? 0 : 1]), workspace);
    Keep(c, quantized, workspace);
}

// A recorded file's quantiser: its file's quantisation (at the finest
// quality), its blocks kept once the recording has started.
void RecordDctOutput(JCOEFPTR quantized, std::int16_t* divisors, std::int16_t* workspace) {
    Capture& c = *capturing;
    c.quantize(quantized, divisors, workspace);
    if (c.band) Keep(c, quantized, workspace);
}

void CaptureForwardDct(j_compress_ptr info, jpeg_component_info* component, JSAMPARRAY samples, JBLOCKROW blocks,
                       JDIMENSION startRow, JDIMENSION startColumn, JDIMENSION count) {
    Capture& c = *capturing;
    if (c.stop && c.stop->load(std::memory_order_relaxed)) {
        c.stopped = true;
        std::longjmp(*c.escape, 1);
    }
    c.component = component->component_index;
    c.forwardDct(info, component, samples, blocks, startRow, startColumn, count);
}

boolean CodeNothing(j_compress_ptr, JBLOCKROW*) { return TRUE; }

constexpr int McuRows = 16;  // 4:2:0: every band starts at a multiple of 16 rows

// Blocks of each component in `rows` rows of a picture `width` wide.
void BandGeometry(int width, int rows, std::size_t (&count)[3]) {
    count[0] = std::size_t((width + 7) / 8) * std::size_t((rows + 7) / 8);
    count[1] = count[2] = std::size_t((width + 15) / 16) * std::size_t((rows + 15) / 16);
}

// Scratch values a band of this many blocks needs at most.
std::size_t ScratchValues(const std::size_t (&count)[3]) {
    std::size_t values = 0;
    for (std::size_t n : count) values += 65 * n + (n + 1) / 2;
    return values;
}

struct BandResult {
    bool complete = false;
    std::uint64_t headerBytes = 0;
    std::uint8_t dcLength[2][12] = {};
    std::shared_ptr<const AcCosts> ac[2];
    JHUFF_TBL dcTable[2] = {}, acTable[2] = {};
};

// The Huffman tables of a started compression in the program's set-up.
void ReadTables(const jpeg_compress_struct& info, BandResult& result) {
    for (int t = 0; t < 2; ++t) {
        CodeLengths(*info.dc_huff_tbl_ptrs[t], result.dcLength[t], 12);
        result.ac[t] = CostsOf(*info.ac_huff_tbl_ptrs[t]);
        result.dcTable[t] = *info.dc_huff_tbl_ptrs[t];
        result.acTable[t] = *info.ac_huff_tbl_ptrs[t];
    }
}

// Whether a started compression is set up as the analysis expects: 4:2:0
// colour, the exact DCT, and each component's blocks as `count` says.
bool SetUpAsAnalysed(const jpeg_compress_struct& info, const std::size_t (&count)[3]) {
    bool expected = info.dct_method == JDCT_ISLOW && info.num_components == 3 &&
                    info.comp_info[0].h_samp_factor == 2 && info.comp_info[0].v_samp_factor == 2;
    for (int c = 0; c < 3 && expected; ++c)
        expected = std::size_t(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks == count[c];
    return expected;
}

// The blocks libjpeg adds at the right and bottom edges of a band of `rows`
// rows, in a started compression of the picture or of the band.
void PaddingOf(const jpeg_compress_struct& info, int rows, JpegCoefficients::Band& band) {
    const std::uint64_t mcuRows = std::uint64_t(rows + McuRows - 1) / McuRows;
    for (int c = 0; c < 3; ++c)
        band.padding[c] = std::uint64_t(info.MCUs_per_row) * mcuRows * std::uint64_t(info.comp_info[c].MCU_blocks) -
                          band.count[c];
}

// Points a band's arrays into `at`, which has ScratchValues(band.count) values; returns what follows.
std::int16_t* PlaceBand(JpegCoefficients::Band& band, std::int16_t* at) {
    for (int c = 0; c < 3; ++c) {
        band.dc[c] = at;
        band.whole[c] = reinterpret_cast<std::uint8_t*>(at + band.count[c]);
        band.blocks[c] = at + band.count[c] + (band.count[c] + 1) / 2;
        at = band.blocks[c] + 64 * band.count[c];
    }
    return at;
}

// Rows [first, first + rows) as a picture of their own: as the whole picture
// codes them, since 4:2:0 downsampling never looks past a 16-row band.
BandResult AnalyseBand(const PixelRows& picture, int first, int rows, const Quantizer& finest,
                       JpegCoefficients::Band& band, const std::atomic<bool>* stop) {
    BandResult result;
    jpeg_compress_struct info{};
    jpeg::ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    jpeg::StringSink sink;  // only markers, a few hundred bytes
    Capture capture;
    capture.band = &band;
    capture.finest = &finest;
    capture.stop = stop;
    capture.escape = &errors.escape;
    const Capturing scope(&capture);  // within a recorded file's watch, its capture comes back after

    if (setjmp(errors.escape)) {
        jpeg_destroy_compress(&info);
        if (capture.stopped) return result;
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.dest = &sink.base;
    jpeg::Configure(info, picture.Width(), picture.Height(), 50);  // any quality: the DCT output does not depend on it
    info.image_height = JDIMENSION(rows);
    jpeg_start_compress(&info, TRUE);
    if (!SetUpAsAnalysed(info, band.count)) {
        jpeg_destroy_compress(&info);
        return result;
    }
    ReadTables(info, result);
    // Taken over after the start, which sets up the modules' own methods.
    capture.forwardDct = info.fdct->forward_DCT;
    info.fdct->forward_DCT = CaptureForwardDct;
    DctOf(info).quantize = KeepDctOutput;
    info.entropy->encode_mcu = CodeNothing;
    JSAMPROW batch[McuRows];
    while (info.next_scanline < info.image_height) {
        const int n = std::min<int>(McuRows, int(info.image_height - info.next_scanline));
        for (int i = 0; i < n; ++i) batch[i] = const_cast<JSAMPROW>(picture.Row(first + int(info.next_scanline) + i));
        jpeg_write_scanlines(&info, batch, JDIMENSION(n));
    }
    result.headerBytes = sink.Written() + 2;  // and the closing marker
    result.complete = capture.Complete();
    PaddingOf(info, rows, band);
    jpeg_destroy_compress(&info);
    return result;
}

struct HuffmanTables {
    std::uint8_t dcLength[2][12];
    std::shared_ptr<const AcCosts> ac[2];
    // The codes themselves, where they have every symbol a baseline scan can need.
    HuffmanCode dcCode[2], acCode[2];
    bool codes = false;
};

// Whether the codes cover every DC size, every run/size and the two special AC symbols.
bool Complete(const HuffmanCode& dc, const HuffmanCode& ac) {
    for (int size = 0; size < 12; ++size)
        if (!dc.length[size]) return false;
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size <= 10; ++size)
            if (!ac.length[(run << 4) | size]) return false;
    return ac.length[0x00] && ac.length[0xF0];
}

// Tables of the analysed set-up: the same for every picture, kept per process.
HuffmanTables& Tables() {
    static HuffmanTables tables{};
    return tables;
}
std::once_flag tablesKept;

void KeepTables(const BandResult& setUp) {
    std::call_once(tablesKept, [&] {
        HuffmanTables& tables = Tables();
        std::memcpy(tables.dcLength, setUp.dcLength, sizeof tables.dcLength);
        tables.ac[0] = setUp.ac[0];
        tables.ac[1] = setUp.ac[1];
        bool codes = true;
        for (int t = 0; t < 2; ++t) {
            const JHUFF_TBL& dc = setUp.dcTable[t];
            const JHUFF_TBL& ac = setUp.acTable[t];
            codes = codes && tables.dcCode[t].Make(dc.bits, dc.huffval, 256) &&
                    tables.acCode[t].Make(ac.bits, ac.huffval, 256) && Complete(tables.dcCode[t], tables.acCode[t]);
        }
        tables.codes = codes;
    });
}

}  // namespace

JpegCoefficients::~JpegCoefficients() {
    for (int i = 0; i < 2; ++i)
        if (scratch_[i]) GiveBack(Scratch{std::unique_ptr<std::int16_t[]>(scratch_[i]), scratchCapacity_[i]});
}

std::unique_ptr<JpegCoefficients> JpegCoefficients::Analyse(const Bitmap& picture, int finestQuality, int threads,
                                                            const std::atomic<bool>* stop) {
    jpeg::CheckPicture(picture);
    return AnalyseRows(PixelRows{picture.Width(), picture.Height(), picture.Row(0), picture.Stride()}, finestQuality,
                   threads, stop);
}

std::unique_ptr<JpegCoefficients> JpegCoefficients::AnalyseSample(const Bitmap& picture, int finestQuality, int step) {
    jpeg::CheckPicture(picture);
    constexpr int Tile = 16;
    auto picks = [step](int length) {
        std::vector<int> starts;
        const int tiles = length / Tile;
        const int every = tiles >= 2 * step ? step : 1;
        for (int t = every / 2; t < tiles; t += every) starts.push_back(t * Tile);
        if (starts.empty()) starts.push_back(0);  // smaller than one tile: all of it
        return starts;
    };
    const std::vector<int> xs = picks(picture.Width()), ys = picks(picture.Height());
    const int tileWidth = std::min(Tile, picture.Width()), tileHeight = std::min(Tile, picture.Height());
    PixelRows sample;
    sample.width = int(xs.size()) * tileWidth;
    sample.height = int(ys.size()) * tileHeight;
    sample.stride = (std::ptrdiff_t(sample.width) * 3 + 3) & ~std::ptrdiff_t(3);
    ScratchLease pixels((std::size_t(sample.stride) * std::size_t(sample.height) + 1) / 2);
    auto* bytes = reinterpret_cast<std::uint8_t*>(pixels.Get());
    sample.first = bytes;
    for (std::size_t j = 0; j < ys.size(); ++j)
        for (int y = 0; y < tileHeight; ++y)
            for (std::size_t i = 0; i < xs.size(); ++i)
                std::copy_n(picture.Row(ys[j] + y) + xs[i] * 3, tileWidth * 3,
                            bytes + (std::ptrdiff_t(j) * tileHeight + y) * sample.stride + std::ptrdiff_t(i) * tileWidth * 3);
    std::unique_ptr<JpegCoefficients> result = AnalyseRows(sample, finestQuality, 1, nullptr);
    if (result)
        result->sampledShare_ = double(sample.width) * sample.height / (double(picture.Width()) * picture.Height());
    return result;
}

std::unique_ptr<JpegCoefficients> JpegCoefficients::AnalyseRows(const PixelRows& picture, int finestQuality, int threads,
                                                                const std::atomic<bool>* stop) {
    const Quantizer& finest = QuantizerAt(finestQuality);
    if (!finest.valid) return nullptr;
    std::unique_ptr<JpegCoefficients> result(new JpegCoefficients);
    result->finestQuality_ = finestQuality;
    const int mcuRows = (picture.Height() + McuRows - 1) / McuRows;
    const int bands = std::clamp(threads, 1, std::max(1, mcuRows));
    result->bands_.resize(static_cast<std::size_t>(bands));
    std::vector<int> firstRow;
    std::size_t values = 0;
    for (int b = 0; b <= bands; ++b) firstRow.push_back(std::min(picture.Height(), mcuRows * b / bands * McuRows));
    for (int b = 0; b < bands; ++b) {
        Band& band = result->bands_[std::size_t(b)];
        BandGeometry(picture.Width(), firstRow[std::size_t(b) + 1] - firstRow[std::size_t(b)], band.count);
        values += ScratchValues(band.count);
    }
    Scratch scratch = TakeScratch(values);
    result->scratch_[0] = scratch.memory.release();
    result->scratchCapacity_[0] = scratch.capacity;
    std::int16_t* at = result->scratch_[0];
    for (Band& band : result->bands_) at = PlaceBand(band, at);

    std::vector<BandResult> outcomes(static_cast<std::size_t>(bands));
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(bands));
    auto run = [&](int b) {
        const std::size_t i = std::size_t(b);
        try {
            outcomes[i] = AnalyseBand(picture, firstRow[i], firstRow[i + 1] - firstRow[i], finest, result->bands_[i], stop);
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    {
        std::vector<Beside> helpers;  // bands beyond two queue on the one kept thread
        for (int b = 1; b < bands; ++b) helpers.emplace_back([&run, b] { run(b); });
        run(0);
    }
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
    for (const BandResult& o : outcomes)
        if (!o.complete) return nullptr;
    result->width_ = picture.Width();
    result->height_ = picture.Height();
    result->headerBytes_ = outcomes[0].headerBytes;
    KeepTables(outcomes[0]);
    return result;
}

bool JpegCoefficients::Covers(int quality) const {
    return quality <= finestQuality_ && QuantizerAt(quality).valid && TablesFiner(finestQuality_, quality);
}

namespace {

// One component's blocks [begin, end) of a band at one quality.
struct Stretch {
    const JpegCoefficients::Band* band;
    int c;
    std::size_t begin, end;
    std::size_t kept;  // kept blocks before `begin`
    int previousDc;
};

struct Tally {
    std::uint64_t bits = 0, acFloorBits = 0;
};

// With `floors`, the AC floor too (a table lookup more per coefficient).
template <bool floors>
void CountStretch(const Stretch& s, const Quantizer& q, Tally& tally) {
    const JpegCoefficients::Band& band = *s.band;
    const int c = s.c, table = c == 0 ? 0 : 1;
    const HuffmanTables& tables = Tables();
    const AcCosts& costs = *tables.ac[table];
    const std::uint8_t* dcLength = tables.dcLength[table];
    std::int16_t* divisors = const_cast<std::int16_t*>(q.divisors[table]);
    const unsigned recip = std::uint16_t(divisors[0]), corr = std::uint16_t(divisors[64]);
    const int shift = divisors[192] + 16;
    alignas(32) std::int16_t workspace[64];
    alignas(32) JCOEF block[64];
    const std::int16_t* kept = band.blocks[c] + 64 * s.kept;
    std::uint64_t bits = 0, floor = 0, flat = 0;
    int previousDc = s.previousDc;
    for (std::size_t i = s.begin; i < s.end; ++i) {
        int dc;
        if (!band.whole[c][i]) {
            const int v = band.dc[c][i];
            const int m = int(((unsigned(v < 0 ? -v : v) + corr) * recip) >> shift);
            dc = v < 0 ? -m : m;
            ++flat;
        } else {
            std::memcpy(workspace, kept, sizeof workspace);
            kept += 64;
            q.quantize(block, divisors, workspace);
            dc = block[0];
            std::uint64_t nonzero = NonzeroMask(block) & ~std::uint64_t(1);
            int previous = 0;
            while (nonzero) {
                const int k = LowestBit(nonzero);
                nonzero &= nonzero - 1;
                const int size = std::min(BitLength(block[jpeg_natural_order[k]]), 10);
                const int run = k - previous - 1;
                previous = k;
                bits += std::uint64_t((run >> 4) * costs.zeroRun + costs.symbol[((run & 15) << 4) | size]);
                if constexpr (floors) floor += std::uint64_t(costs.runFloor[run][size]);
            }
            if (previous < 63) bits += std::uint64_t(costs.endOfBlock);
            if constexpr (floors) floor += std::uint64_t(costs.tailFloor[63 - previous]);
        }
        const int dcSize = BitLength(dc - previousDc);
        previousDc = dc;
        bits += std::uint64_t(dcLength[dcSize] + dcSize);
    }
    tally.bits += bits + flat * std::uint64_t(costs.endOfBlock);
    if constexpr (floors) tally.acFloorBits += floor + flat * std::uint64_t(costs.tailFloor[63]);
}

}  // namespace

JpegCount JpegCoefficients::Count(int quality, int threads, bool floor) const {
    if (!Covers(quality)) throw std::logic_error("JPEG: quality outside the analysis");
    const Quantizer& q = QuantizerAt(quality);
    JpegCount count;
    count.quality = quality;
    const HuffmanTables& tables = Tables();

    // Each component's blocks in coding order, split in halves for two threads;
    // a stretch is counted from the DC of the block before it.
    std::vector<Stretch> parts[2];
    const bool split = threads >= 2;
    for (int c = 0; c < 3; ++c) {
        const int table = c == 0 ? 0 : 1;
        std::size_t total = 0;
        for (const Band& b : bands_) total += b.count[c];
        const std::size_t half = split ? total / 2 : total;
        std::size_t at = 0;
        int previousDc = 0;
        for (const Band& b : bands_) {
            auto dcOf = [&](std::size_t i) { return QuantizeWith(q.divisors[table], 0, b.dc[c][i]); };
            if (at < half && at + b.count[c] > half) {  // the split falls inside this band
                const std::size_t local = half - at;
                std::size_t kept = 0;
                for (std::size_t i = 0; i < local; ++i) kept += b.whole[c][i];
                parts[0].push_back({&b, c, 0, local, 0, previousDc});
                parts[1].push_back({&b, c, local, b.count[c], kept, dcOf(local - 1)});
            } else {
                parts[at < half ? 0 : 1].push_back({&b, c, 0, b.count[c], 0, previousDc});
            }
            at += b.count[c];
            if (b.count[c]) previousDc = dcOf(b.count[c] - 1);
            count.bits += b.padding[c] * std::uint64_t(tables.dcLength[table][0] + tables.ac[table]->endOfBlock);
            if (floor) count.acFloorBits += b.padding[c] * std::uint64_t(tables.ac[table]->tailFloor[63]);
        }
    }
    Tally tallies[2];
    auto work = [&](int part) {
        for (const Stretch& s : parts[part])
            floor ? CountStretch<true>(s, q, tallies[part]) : CountStretch<false>(s, q, tallies[part]);
    };
    Beside helper;
    if (!parts[1].empty()) helper = Beside([&work] { work(1); });
    work(0);
    helper.Wait();
    for (const Tally& t : tallies) {
        count.bits += t.bits;
        count.acFloorBits += t.acFloorBits;
    }
    return count;
}

namespace {

// A quality's DC quantisation (libjpeg's reciprocal form) and the DC prediction running through it.
struct DcStep {
    unsigned recip = 0, corr = 0;
    int shift = 0;
    int Quantize(int v) const {
        const int m = int(((unsigned(v < 0 ? -v : v) + corr) * recip) >> shift);
        return v < 0 ? -m : m;
    }
};

DcStep DcStepAt(int quality, int table) {
    const std::int16_t* divisors = QuantizerAt(quality).divisors[table];
    return {std::uint16_t(divisors[0]), std::uint16_t(divisors[64]), divisors[192] + 16};
}

// What the DC differences of a run of DC terms cost at one quality, the
// prediction carried in and out. `raise[k]` is what a difference of size k
// costs more than one of size k - 1 (sizes up to 11), so a run costs its
// blocks times the cost of size 0 plus, for each k, raise[k] times the
// differences of size k or more: eight at a time by comparisons.
std::uint64_t DcRunCost(const std::int16_t* dc, std::size_t n, const DcStep& step, int& previous, int zeroCost,
                        const int (&raise)[12]) {
    std::uint64_t atLeast[12] = {};
    std::size_t i = 0;
#if defined(__SSE2__)
    if (step.shift >= 16 && step.recip <= 0xFFFF && step.corr <= 0x7FFF) {
        const __m128i recip = _mm_set1_epi16(std::int16_t(step.recip)), corr = _mm_set1_epi16(std::int16_t(step.corr));
        const __m128i shift = _mm_cvtsi32_si128(step.shift - 16);
        __m128i last = _mm_cvtsi32_si128(previous & 0xFFFF);  // in the lowest lane
        __m128i counts[12];
        while (i + 8 <= n) {
            for (__m128i& c : counts) c = _mm_setzero_si128();
            // At most 4096 rounds before the 16-bit counts are added up.
            const std::size_t stop = std::min(n - (n - i) % 8, i + 8 * 4096);
            for (; i < stop; i += 8) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dc + i));
                const __m128i sign = _mm_srai_epi16(v, 15);
                const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
                const __m128i m = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(magnitude, corr), recip), shift);
                const __m128i q = _mm_sub_epi16(_mm_xor_si128(m, sign), sign);
                // Each lane's prediction: the lane before, the first from the last run.
                const __m128i before = _mm_or_si128(_mm_slli_si128(q, 2), last);
                last = _mm_srli_si128(q, 14);
                const __m128i d = _mm_sub_epi16(q, before);
                const __m128i dsign = _mm_srai_epi16(d, 15);
                const __m128i size = _mm_sub_epi16(_mm_xor_si128(d, dsign), dsign);
                for (int k = 1; k < 12; ++k)
                    counts[k] = _mm_sub_epi16(counts[k], _mm_cmpgt_epi16(size, _mm_set1_epi16(std::int16_t((1 << (k - 1)) - 1))));
            }
            for (int k = 1; k < 12; ++k) {
                alignas(16) std::uint16_t lanes[8];
                _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counts[k]);
                for (std::uint16_t lane : lanes) atLeast[k] += lane;
            }
        }
        previous = std::int16_t(_mm_cvtsi128_si32(last));
    }
#endif
    std::uint64_t tail = 0;
    for (; i < n; ++i) {
        const int quantized = step.Quantize(dc[i]);
        const int size = BitLength(quantized - previous);
        previous = quantized;
        for (int k = 1; k <= size && k < 12; ++k) tail += std::uint64_t(raise[k]);
    }
    std::uint64_t bits = std::uint64_t(n) * std::uint64_t(zeroCost) + tail;
    for (int k = 1; k < 12; ++k) bits += atLeast[k] * std::uint64_t(raise[k]);
    return bits;
}

}  // namespace

int JpegCoefficients::DcTerm(int c, std::size_t index) const {
    for (const Band& b : bands_) {
        if (index < b.count[c]) return b.dc[c][index];
        index -= b.count[c];
    }
    throw std::logic_error("JPEG: no such block");
}

std::vector<std::uint64_t> JpegCoefficients::DcBits(const std::vector<int>& qualities, int threads) const {
    const std::size_t n = qualities.size();
    std::vector<std::uint64_t> bits(n, 0);
    if (n == 0) return bits;
    const HuffmanTables& tables = Tables();
    // Each component's blocks in two halves, the second from the DC before it.
    struct Part {
        int c;
        std::size_t begin, end;
    };
    std::vector<Part> parts[2];
    for (int c = 0; c < 3; ++c) {
        std::size_t total = 0;
        for (const Band& b : bands_) {
            total += b.count[c];
            for (std::size_t j = 0; j < n; ++j) bits[j] += b.padding[c] * tables.dcLength[c == 0 ? 0 : 1][0];
        }
        const std::size_t half = threads >= 2 && total >= 8192 ? total / 2 : total;
        parts[0].push_back({c, 0, half});
        if (half < total) parts[1].push_back({c, half, total});
    }
    std::vector<std::uint64_t> sums[2] = {std::vector<std::uint64_t>(n, 0), std::vector<std::uint64_t>(n, 0)};
    auto work = [&](int which) {
        std::vector<std::uint64_t>& sum = sums[which];
        for (const Part& part : parts[which]) {
            const int table = part.c == 0 ? 0 : 1;
            const std::uint8_t* length = tables.dcLength[table];
            int raise[12] = {};
            for (int size = 1; size < 12; ++size) raise[size] = length[size] + size - (length[size - 1] + size - 1);
            for (std::size_t j = 0; j < n; ++j) {
                const DcStep step = DcStepAt(qualities[j], table);
                int previous = part.begin > 0 ? step.Quantize(DcTerm(part.c, part.begin - 1)) : 0;
                std::size_t at = 0;  // the component's blocks before the band
                for (const Band& b : bands_) {
                    const std::size_t count = b.count[part.c];
                    const std::size_t from = std::max(part.begin, at), to = std::min(part.end, at + count);
                    if (from < to)
                        sum[j] += DcRunCost(b.dc[part.c] + (from - at), to - from, step, previous, length[0], raise);
                    at += count;
                }
            }
        }
    };
    Beside helper;
    if (!parts[1].empty()) helper = Beside([&work] { work(1); });
    work(0);
    helper.Wait();
    for (std::size_t j = 0; j < n; ++j) bits[j] += sums[0][j] + sums[1][j];
    return bits;
}

std::uint64_t JpegCoefficients::DcBitsAt(int quality) const { return DcBits({quality}, 1)[0]; }

std::uint64_t JpegCoefficients::SizeFloor(const JpegCount& count, int quality, std::uint64_t enough) const {
    return SizeFloors(count, {quality}, enough, 1)[0];
}

std::vector<std::uint64_t> JpegCoefficients::SizeFloors(const JpegCount& count, const std::vector<int>& qualities,
                                                        std::uint64_t enough, int threads) const {
    std::vector<std::uint64_t> floors(qualities.size(), 0);
    // Every block's DC costs at least the shortest DC code; often that says enough.
    std::uint64_t quickDc = 0;
    const HuffmanTables& tables = Tables();
    for (int c = 0; c < 3; ++c) {
        const std::uint8_t* length = tables.dcLength[c == 0 ? 0 : 1];
        const std::uint8_t shortest = *std::min_element(length, length + 12, [](std::uint8_t a, std::uint8_t b) {
            return (a ? a : 255) < (b ? b : 255);
        });
        for (const Band& b : bands_) quickDc += (b.count[c] + b.padding[c]) * shortest;
    }
    const std::uint64_t quick = BytesFor(count.acFloorBits + quickDc);
    std::vector<int> exact;  // the qualities whose DC bits are worked out
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < qualities.size(); ++i) {
        const int quality = qualities[i];
        if (quality == count.quality) {
            floors[i] = BytesFor(count.bits);
        } else if (quality > count.quality && TablesFiner(quality, count.quality)) {
            floors[i] = quick;
            if (quick <= enough) {
                exact.push_back(quality);
                where.push_back(i);
            }
        }
    }
    const std::vector<std::uint64_t> dc = DcBits(exact, threads);
    for (std::size_t k = 0; k < exact.size(); ++k) floors[where[k]] = BytesFor(count.acFloorBits + dc[k]);
    return floors;
}

// ---- the file ------------------------------------------------------------------------------

namespace {

// An encode whose DCT step hands out the analysed blocks, quantised by
// libjpeg at the encode's quality; colour conversion and downsampling have
// nothing to do. Reached from libjpeg's callbacks.
struct Replay {
    const std::vector<JpegCoefficients::Band>* bands = nullptr;
    const Quantizer* quantizer = nullptr;
    std::size_t band[3] = {}, next[3] = {}, kept[3] = {};
};
thread_local Replay* replaying = nullptr;

void ReplayForwardDct(j_compress_ptr, jpeg_component_info* component, JSAMPARRAY, JBLOCKROW blocks, JDIMENSION,
                      JDIMENSION, JDIMENSION count) {
    Replay& r = *replaying;
    const int c = component->component_index, table = c == 0 ? 0 : 1;
    std::int16_t* divisors = const_cast<std::int16_t*>(r.quantizer->divisors[table]);
    alignas(32) std::int16_t workspace[64];
    for (JDIMENSION i = 0; i < count; ++i) {
        while (r.next[c] == (*r.bands)[r.band[c]].count[c]) {  // on to the next band
            ++r.band[c];
            r.next[c] = r.kept[c] = 0;
        }
        const JpegCoefficients::Band& b = (*r.bands)[r.band[c]];
        if (b.whole[c][r.next[c]]) {
            std::memcpy(workspace, b.blocks[c] + 64 * r.kept[c]++, sizeof workspace);
            r.quantizer->quantize(blocks[i], divisors, workspace);
        } else {
            std::memset(blocks[i], 0, sizeof(JBLOCK));
            blocks[i][0] = JCOEF(QuantizeWith(divisors, 0, b.dc[c][r.next[c]]));
        }
        ++r.next[c];
    }
}

void ConvertNothing(j_compress_ptr, JSAMPARRAY, JSAMPIMAGE, JDIMENSION, int) {}
void DownsampleNothing(j_compress_ptr, JSAMPIMAGE, JDIMENSION, JSAMPIMAGE, JDIMENSION) {}

}  // namespace

std::string JpegCoefficients::EncodeByLibjpeg(int quality) const {
    if (!Covers(quality)) throw std::logic_error("JPEG: quality outside the analysis");
    Replay replay;
    replay.bands = &bands_;
    replay.quantizer = &QuantizerAt(quality);
    struct Restore {
        ~Restore() { replaying = nullptr; }
    } restore;
    replaying = &replay;
    std::vector<JSAMPLE> row(std::size_t(width_) * 3);  // never read: any row will do
    return jpeg::CompressToMemory(
        width_, height_, quality,
        [](jpeg_compress_struct& info) {
            info.cconvert->color_convert = ConvertNothing;
            info.downsample->downsample = DownsampleNothing;
            info.fdct->forward_DCT = ReplayForwardDct;
        },
        [&](int) { return row.data(); });
}

namespace {

// The markers libjpeg writes before a scan's coded data, in the program's
// set-up at this quality: the file's start up to the end of the scan header.
std::string MarkersAt(int width, int height, int quality) {
    jpeg_compress_struct info{};
    jpeg::ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    jpeg::StringSink sink;  // only markers, a few hundred bytes
    if (setjmp(errors.escape)) {
        jpeg_destroy_compress(&info);
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.dest = &sink.base;
    jpeg::Configure(info, width, height, quality);
    jpeg_start_compress(&info, TRUE);  // the file's header
    // The frame and scan headers, as the first rows would have them written.
    if (info.master->call_pass_startup) (*info.master->pass_startup)(&info);
    std::string markers = sink.bytes.substr(0, sink.Written());
    jpeg_abort_compress(&info);
    jpeg_destroy_compress(&info);
    return markers;
}

// Where a component's block is kept: its band, its place there, and how many
// of the band's blocks before it keep all 64 values.
struct BlockCursor {
    std::size_t band = 0, index = 0, kept = 0;
};

}  // namespace

std::string JpegCoefficients::Encode(int quality, int threads) const {
    if (!Covers(quality)) throw std::logic_error("JPEG: quality outside the analysis");
    const HuffmanTables& tables = Tables();
    std::string file = MarkersAt(width_, height_, quality);
    // Markers other than the analysis counted would mean another set-up:
    // then libjpeg codes the blocks itself.
    if (!tables.codes || file.size() + 2 != headerBytes_) return EncodeByLibjpeg(quality);

    // 4:2:0 MCUs of four luminance blocks and one of each chrominance; blocks
    // past the picture's right and bottom edges are libjpeg's: no AC terms,
    // the DC of the block before. Two halves of MCU rows on two threads.
    const Quantizer& q = QuantizerAt(quality);
    const std::size_t mcuColumns = std::size_t(width_ + 15) / 16, mcuRows = std::size_t(height_ + 15) / 16;
    const std::size_t lumaColumns = std::size_t(width_ + 7) / 8, lumaRows = std::size_t(height_ + 7) / 8;
    const std::size_t split = threads >= 2 && mcuRows >= 8 ? mcuRows / 2 : mcuRows;
    BitStream pieces[2];
    auto code = [&](int piece, std::size_t firstRow, std::size_t endRow) {
        BitStream& out = pieces[piece];
        out.Reserve(std::size_t(1) << 19);
        BlockCursor at[3];
        int previousDc[3] = {};
        DcStep dcStep[3];
        const std::size_t first[3] = {firstRow * 2 * lumaColumns, firstRow * mcuColumns, firstRow * mcuColumns};
        for (int c = 0; c < 3; ++c) {
            dcStep[c] = DcStepAt(quality, c == 0 ? 0 : 1);
            std::size_t index = first[c];
            while (at[c].band < bands_.size() && index >= bands_[at[c].band].count[c]) index -= bands_[at[c].band++].count[c];
            at[c].index = index;
            for (std::size_t i = 0; i < index; ++i) at[c].kept += bands_[at[c].band].whole[c][i];
            if (first[c] > 0) previousDc[c] = dcStep[c].Quantize(DcTerm(c, first[c] - 1));
        }
        alignas(32) std::int16_t workspace[64];
        alignas(32) JCOEF block[64];
        auto next = [&](int c) {
            const int table = c == 0 ? 0 : 1;
            BlockCursor& cursor = at[c];
            while (bands_[cursor.band].count[c] == cursor.index) {
                ++cursor.band;
                cursor.index = cursor.kept = 0;
            }
            const Band& b = bands_[cursor.band];
            int dc;
            if (b.whole[c][cursor.index]) {
                std::memcpy(workspace, b.blocks[c] + 64 * cursor.kept++, sizeof workspace);
                q.quantize(block, const_cast<std::int16_t*>(q.divisors[table]), workspace);
                dc = block[0];
                out.PutBlock(block, NonzeroMask(block) & ~std::uint64_t(1), dc - previousDc[c], tables.dcCode[table],
                             tables.acCode[table]);
            } else {
                dc = dcStep[c].Quantize(b.dc[c][cursor.index]);
                out.PutBlock(nullptr, 0, dc - previousDc[c], tables.dcCode[table], tables.acCode[table]);
            }
            previousDc[c] = dc;
            ++cursor.index;
        };
        auto dummy = [&](int c) {
            const int table = c == 0 ? 0 : 1;
            out.PutBlock(nullptr, 0, 0, tables.dcCode[table], tables.acCode[table]);
        };
        for (std::size_t row = firstRow; row < endRow; ++row)
            for (std::size_t column = 0; column < mcuColumns; ++column) {
                for (std::size_t y = 2 * row; y < 2 * row + 2; ++y)
                    for (std::size_t x = 2 * column; x < 2 * column + 2; ++x) {
                        if (x < lumaColumns && y < lumaRows)
                            next(0);
                        else
                            dummy(0);
                    }
                next(1);
                next(2);
            }
    };
    Beside helper;  // waited for however this ends: it writes into `pieces`
    if (split < mcuRows) helper = Beside([&] { code(1, split, mcuRows); });
    code(0, 0, split);
    helper.Wait();
    BitStream::Join({&pieces[0], &pieces[1]}, file);
    file += "\xFF\xD9";  // end of image
    return file;
}

int QuantizeCoefficient(int value, int quality, int table, int k) {
    return QuantizeWith(QuantizerAt(quality).divisors[table], k, value);
}

int LibjpegQuantize(int value, int quality, int table, int k) {
    const Quantizer& q = QuantizerAt(quality);
    alignas(32) std::int16_t workspace[64] = {};
    alignas(32) JCOEF block[64];
    workspace[k] = std::int16_t(value);
    q.quantize(block, const_cast<std::int16_t*>(q.divisors[table]), workspace);
    return block[k];
}

// ---- a file recorded as it is made -------------------------------------------------------

struct JpegRecorder::State {
    Capture capture;
    BandResult setUp;              // the file's tables
    JpegCoefficients::Band band;   // the rows from `from` on
    Scratch scratch;               // the band's memory
    jpeg_compress_struct* compression = nullptr;  // while the file is made
    int row = 0;                   // the rows the file has coded so far
    int from = -1;                 // the first recorded row; -1: none
    bool encoded = false, finished = false;
};

JpegRecorder::JpegRecorder(const Bitmap& picture, int quality)
    : picture_(picture), quality_(quality), state_(std::make_unique<State>()) {}

JpegRecorder::~JpegRecorder() {
    if (state_->scratch.memory) GiveBack(std::move(state_->scratch));
}

std::optional<std::string> JpegRecorder::Encode(const EncodeWatch& keepGoing) {
    if (std::exchange(state_->encoded, true)) throw std::logic_error("JPEG: a recorder makes one file");
    State& s = *state_;
    const Quantizer& finest = QuantizerAt(quality_);
    const Capturing scope(&s.capture);
    std::optional<std::string> file = jpeg::CompressWatched(
        picture_, quality_,
        [&](jpeg_compress_struct& info) {
            s.compression = &info;
            std::size_t whole[3];
            BandGeometry(picture_.Width(), picture_.Height(), whole);
            // Only where the analysis would run: its quantiser checked, its set-up this one.
            if (!finest.valid || !SetUpAsAnalysed(info, whole) || DctOf(info).quantize != finest.quantize) return;
            ReadTables(info, s.setUp);
            s.capture.finest = &finest;
            s.capture.forwardDct = info.fdct->forward_DCT;
            info.fdct->forward_DCT = CaptureForwardDct;
            s.capture.quantize = DctOf(info).quantize;
            DctOf(info).quantize = RecordDctOutput;
        },
        [&](int rows, std::size_t bytes) {
            s.row = rows;
            return keepGoing(rows, bytes);
        });
    s.compression = nullptr;
    s.finished = file.has_value();
    return file;
}

bool JpegRecorder::Record() {
    State& s = *state_;
    if (!s.capture.finest || !s.compression || s.from >= 0) return false;
    s.from = s.row;
    BandGeometry(picture_.Width(), picture_.Height() - s.from, s.band.count);
    PaddingOf(*s.compression, picture_.Height() - s.from, s.band);
    s.scratch = TakeScratch(ScratchValues(s.band.count));
    PlaceBand(s.band, s.scratch.memory.get());
    s.capture.band = &s.band;
    return true;
}

std::unique_ptr<JpegCoefficients> JpegRecorder::Analyse(int threads) {
    State& s = *state_;
    if (!s.finished || s.from < 0 || !s.capture.Complete()) return JpegCoefficients::Analyse(picture_, quality_, threads);
    std::unique_ptr<JpegCoefficients> result;
    if (s.from > 0) {
        result = JpegCoefficients::AnalyseRows(PixelRows{picture_.Width(), s.from, picture_.Row(0), picture_.Stride()},
                                               quality_, threads, nullptr);
        if (!result) return nullptr;
    } else {
        result.reset(new JpegCoefficients);
        result->finestQuality_ = quality_;
        result->headerBytes_ = MarkersAt(picture_.Width(), picture_.Height(), quality_).size() + 2;
        KeepTables(s.setUp);
    }
    result->width_ = picture_.Width();
    result->height_ = picture_.Height();
    result->bands_.push_back(s.band);
    result->scratch_[1] = s.scratch.memory.release();
    result->scratchCapacity_[1] = std::exchange(s.scratch.capacity, 0);
    return result;
}

}  // namespace snapora
