#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gif/ByteReader.h"
#include "gif/GifDecoder.h"

using namespace snapora;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Packs codes LSB-first and mirrors the decoder's table growth so every code
// goes out at the width the decoder will read it with.
class LzwEncoder {
public:
    explicit LzwEncoder(int minCodeSize)
        : size_(minCodeSize), clear_(1 << minCodeSize), end_(clear_ + 1) {}

    Bytes Encode(const std::vector<std::uint8_t>& pixels) {
        Emit(clear_);
        std::map<std::pair<int, int>, int> dictionary;
        int encoderNext = clear_ + 2;
        int prefix = -1;
        for (std::uint8_t p : pixels) {
            if (prefix < 0) {
                prefix = p;
                continue;
            }
            const auto key = std::make_pair(prefix, int(p));
            if (auto it = dictionary.find(key); it != dictionary.end()) {
                prefix = it->second;
                continue;
            }
            Emit(prefix);
            if (encoderNext < 4096) {
                dictionary[key] = encoderNext++;
            } else {
                Emit(clear_);
                dictionary.clear();
                encoderNext = clear_ + 2;
            }
            prefix = p;
        }
        if (prefix >= 0) Emit(prefix);
        Emit(end_);
        if (bitCount_ > 0) out_.push_back(std::uint8_t(bits_));
        return out_;
    }

private:
    void Emit(int code) {
        bits_ |= std::uint32_t(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            out_.push_back(std::uint8_t(bits_));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        if (code == clear_) {
            next_ = clear_ + 2;
            width_ = size_ + 1;
            first_ = true;
            return;
        }
        if (!first_ && next_ < 4096) {
            ++next_;
            if (next_ >= (1 << width_) && width_ < 12) ++width_;
        }
        first_ = false;
    }

    int size_, clear_, end_;
    int next_ = 0;
    int width_ = size_ + 1;
    bool first_ = true;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    Bytes out_;
};

void PutU16(Bytes& b, int v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

struct FramePlan {
    int left = 0, top = 0, width = 1, height = 1;
    std::vector<std::uint8_t> pixels;  // in stream order
    int minCodeSize = 8;
    bool interlaced = false;
    int localBits = 0;
    std::vector<Colour> localColours;
};

struct GifBuilder {
    Bytes b;
    std::size_t lastDataStart = 0;  // first byte of the last frame's first sub-block data

    GifBuilder& Header(const char* signature = "GIF89a") {
        for (int i = 0; i < 6; ++i) b.push_back(std::uint8_t(signature[i]));
        return *this;
    }
    GifBuilder& Screen(int w, int h, int bits = 0, const std::vector<Colour>& colours = {}) {
        PutU16(b, w);
        PutU16(b, h);
        b.push_back(std::uint8_t(bits ? (0x80 | (bits - 1)) : 0));
        b.push_back(0);
        b.push_back(0);
        if (bits) Table(bits, colours);
        return *this;
    }
    void Table(int bits, const std::vector<Colour>& colours) {
        for (int i = 0; i < (1 << bits); ++i) {
            const Colour c = i < int(colours.size()) ? colours[i] : 0;
            b.push_back(RedOf(c));
            b.push_back(GreenOf(c));
            b.push_back(BlueOf(c));
        }
    }
    GifBuilder& Control(int disposal, int delay, bool transparent = false, int index = 0) {
        b.insert(b.end(), {0x21, 0xF9, 4, std::uint8_t((disposal << 2) | (transparent ? 1 : 0))});
        PutU16(b, delay);
        b.push_back(std::uint8_t(index));
        b.push_back(0);
        return *this;
    }
    GifBuilder& Netscape(int loops) {
        b.insert(b.end(), {0x21, 0xFF, 11});
        for (char c : std::string("NETSCAPE2.0")) b.push_back(std::uint8_t(c));
        b.insert(b.end(), {3, 1});
        PutU16(b, loops);
        b.push_back(0);
        return *this;
    }
    GifBuilder& Raw(const Bytes& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
    GifBuilder& Descriptor(int left, int top, int w, int h, std::uint8_t packed) {
        b.push_back(0x2C);
        PutU16(b, left);
        PutU16(b, top);
        PutU16(b, w);
        PutU16(b, h);
        b.push_back(packed);
        return *this;
    }
    GifBuilder& Frame(const FramePlan& f) {
        std::uint8_t packed = f.interlaced ? 0x40 : 0;
        if (f.localBits) packed |= std::uint8_t(0x80 | (f.localBits - 1));
        Descriptor(f.left, f.top, f.width, f.height, packed);
        if (f.localBits) Table(f.localBits, f.localColours);
        b.push_back(std::uint8_t(f.minCodeSize));
        const Bytes data = LzwEncoder(f.minCodeSize).Encode(f.pixels);
        lastDataStart = b.size() + 1;
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            b.push_back(std::uint8_t(n));
            b.insert(b.end(), data.begin() + at, data.begin() + at + n);
        }
        b.push_back(0);
        return *this;
    }
    GifBuilder& Pixel(std::uint8_t index, int left = 0, int top = 0) {
        FramePlan f;
        f.left = left;
        f.top = top;
        f.pixels = {index};
        return Frame(f);
    }
    GifBuilder& Trailer() {
        b.push_back(0x3B);
        return *this;
    }
};

GifLoadResult Load(const Bytes& b, const GifProgressHandler& progress = {}, bool firstOnly = false) {
    return LoadGif(std::span<const std::uint8_t>(b), progress, firstOnly);
}

const std::vector<Colour> kColours = {MakeColour(255, 0, 0), MakeColour(0, 255, 0),
                                      MakeColour(0, 0, 255), MakeColour(10, 20, 30)};

}  // namespace

TEST(ByteReaderTest, NeverReadsPastTheEnd) {
    const Bytes data = {1, 2, 3};
    ByteReader r{std::span<const std::uint8_t>(data)};
    EXPECT_EQ(r.U16le(), 0x0201);
    EXPECT_FALSE(r.Exhausted());
    std::uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_FALSE(r.Read(out, 4));
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 9);
    EXPECT_TRUE(r.Exhausted());
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(r.U8(), 0);
    r.Seek(100);
    EXPECT_EQ(r.Position(), 3u);
    r.Seek(1);
    r.Skip(10);
    EXPECT_EQ(r.Position(), 3u);
    EXPECT_EQ(r.Size(), 3u);
}

// --- Header and screen ---------------------------------------------------

TEST(GifHeaderTest, RejectsEmptyBadAndShortInput) {
    EXPECT_EQ(Load({}).error, GifError::Empty);
    EXPECT_FALSE(Load({}).ok);

    GifBuilder lower;
    lower.Header("gif89a").Screen(1, 1).Pixel(0).Trailer();
    EXPECT_FALSE(Load(lower.b).ok);
    EXPECT_EQ(Load(lower.b).error, GifError::Invalid);

    EXPECT_EQ(Load({'G', 'I', 'F', '8'}).error, GifError::Invalid);

    const Bytes shortScreen = {'G', 'I', 'F', '8', '9', 'a', 5, 0, 5};
    const GifLoadResult r = Load(shortScreen);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Invalid);
}

TEST(GifHeaderTest, ReadsVersionAndLogicalScreenWithoutFrames) {
    GifBuilder a87;
    a87.Header("GIF87a").Screen(7, 9).Trailer();
    GifLoadResult r = Load(a87.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_EQ(r.picture.version, GifVersion::GIF87a);
    EXPECT_EQ(r.picture.screenWidth, 7);
    EXPECT_EQ(r.picture.height, 9);
    EXPECT_TRUE(r.picture.frames.empty());
    EXPECT_EQ(r.picture.loopCount, 1);
    EXPECT_EQ(r.picture.globalTable[0], 0u);

    GifBuilder a89;
    a89.Header("GIF89a").Screen(1, 1).Trailer();
    EXPECT_EQ(Load(a89.b).picture.version, GifVersion::GIF89a);
}

// --- Frames --------------------------------------------------------------

TEST(GifFrameTest, TwoByTwoRoundTripWithGlobalColours) {
    GifBuilder g;
    FramePlan f;
    f.width = f.height = 2;
    f.pixels = {0, 1, 2, 3};
    f.minCodeSize = 2;
    g.Header().Screen(2, 2, 2, kColours).Frame(f).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    const GifPicture& p = r.picture;
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.colourBits, 2);
    EXPECT_EQ(p.globalTable[0], MakeColour(255, 0, 0));
    EXPECT_EQ(p.globalTable[3], MakeColour(10, 20, 30));
    EXPECT_EQ(p.globalTable[4], 0u);
    ASSERT_EQ(p.frames.size(), 1u);
    const GifFrame& fr = p.frames[0];
    EXPECT_EQ(fr.indices, (std::vector<std::uint8_t>{0, 1, 2, 3}));
    EXPECT_FALSE(fr.transparent);
    EXPECT_TRUE(fr.mask.empty());
    EXPECT_FALSE(fr.hasLocalTable);
    EXPECT_EQ(fr.colourBits, 0);
    EXPECT_EQ(fr.delayMs, 0);

    std::vector<std::uint8_t> mask;
    const Bitmap bmp = ComposeFirstFrame(p, &mask);
    EXPECT_EQ(bmp.Pixel(0, 0), MakeColour(255, 0, 0));
    EXPECT_EQ(bmp.Pixel(1, 0), MakeColour(0, 255, 0));
    EXPECT_EQ(bmp.Pixel(0, 1), MakeColour(0, 0, 255));
    EXPECT_EQ(bmp.Pixel(1, 1), MakeColour(10, 20, 30));
    EXPECT_EQ(mask, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST(GifFrameTest, RepetitiveAndLargePicturesRoundTrip) {
    // Runs of one index exercise the string and code-equals-next-free paths;
    // noisy data fills the 4096-entry table and forces clears.
    std::mt19937 rng(7);
    FramePlan runs;
    runs.width = 37;
    runs.height = 23;
    runs.minCodeSize = 2;
    for (int i = 0; i < runs.width * runs.height; ++i) runs.pixels.push_back(std::uint8_t((i / 50) % 4));
    FramePlan noise;
    noise.width = 120;
    noise.height = 90;
    for (int i = 0; i < noise.width * noise.height; ++i) noise.pixels.push_back(std::uint8_t(rng() % 256));
    GifBuilder g;
    g.Header().Screen(120, 90).Frame(runs).Frame(noise).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 2u);
    EXPECT_EQ(r.picture.frames[0].indices, runs.pixels);
    EXPECT_EQ(r.picture.frames[1].indices, noise.pixels);
}

TEST(GifFrameTest, LogicalSizeGrowsToHoldFrames) {
    GifBuilder g;
    FramePlan f;
    f.left = 8;
    f.top = 9;
    f.width = 5;
    f.height = 3;
    f.pixels.assign(15, 1);
    g.Header().Screen(10, 10).Frame(f).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.screenWidth, 10);
    EXPECT_EQ(r.picture.width, 13);
    EXPECT_EQ(r.picture.height, 12);
}

TEST(GifFrameTest, GraphicControlAppliesToNextFrameOnly) {
    GifBuilder g;
    g.Header().Screen(1, 1);
    for (int d = 0; d < 8; ++d) g.Control(d, d + 1).Pixel(0);
    g.Pixel(0).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 9u);
    const int expected[8] = {0, 1, 2, 3, 2, 2, 2, 2};
    for (int d = 0; d < 8; ++d) {
        EXPECT_EQ(r.picture.frames[d].disposal, expected[d]) << d;
        EXPECT_EQ(r.picture.frames[d].delayMs, (d + 1) * 10) << d;
    }
    EXPECT_EQ(r.picture.frames[8].disposal, 0);
    EXPECT_EQ(r.picture.frames[8].delayMs, 0);
}

TEST(GifFrameTest, InterlacedRowsArriveInPassOrder) {
    FramePlan f;
    f.width = 1;
    f.height = 3;
    f.interlaced = true;
    f.pixels = {10, 20, 30};
    GifBuilder g;
    g.Header().Screen(1, 3).Frame(f).Trailer();
    GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.picture.frames[0].interlaced);
    EXPECT_EQ(r.picture.frames[0].indices, (std::vector<std::uint8_t>{10, 30, 20}));

    // Ten rows: passes deliver 0,8 / 4 / 2,6 / 1,3,5,7,9.
    f.height = 10;
    f.pixels = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    GifBuilder g10;
    g10.Header().Screen(1, 10).Frame(f).Trailer();
    r = Load(g10.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames[0].indices, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(GifFrameTest, TransparentFrameMask) {
    FramePlan f;
    f.width = 3;
    f.pixels = {1, 2, 1};
    GifBuilder g;
    g.Header().Screen(3, 1).Control(1, 0, true, 1).Frame(f).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.picture.anyTransparent);
    const GifFrame& fr = r.picture.frames[0];
    EXPECT_TRUE(fr.transparent);
    EXPECT_EQ(fr.transparentIndex, 1);
    EXPECT_EQ(fr.mask, (std::vector<std::uint8_t>{1, 0, 1}));
}

TEST(GifFrameTest, TruncatedDataLeavesRestUndelivered) {
    FramePlan f;
    f.width = f.height = 4;
    for (int i = 1; i <= 16; ++i) f.pixels.push_back(std::uint8_t(i));
    GifBuilder g;
    g.Header().Screen(4, 4).Control(0, 0, true, 200).Frame(f);
    // Five data bytes hold 40 bits: the 9-bit clear code and three pixels.
    Bytes cut(g.b.begin(), g.b.begin() + std::ptrdiff_t(g.lastDataStart + 5));
    const GifLoadResult r = Load(cut);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 1u);
    const GifFrame& fr = r.picture.frames[0];
    std::vector<std::uint8_t> indices(16, 0), mask(16, 1);
    for (int i = 0; i < 3; ++i) {
        indices[i] = std::uint8_t(i + 1);
        mask[i] = 0;
    }
    EXPECT_EQ(fr.indices, indices);
    EXPECT_EQ(fr.mask, mask);
}

TEST(GifFrameTest, LocalTableAndUndecodableCodeSize) {
    FramePlan local;
    local.localBits = 1;
    local.localColours = {MakeColour(1, 2, 3), MakeColour(4, 5, 6)};
    local.pixels = {1};
    local.minCodeSize = 2;
    GifBuilder g;
    g.Header().Screen(1, 1, 1, kColours).Frame(local);
    // A code size of 12 cannot fit the table: the frame stays undelivered,
    // and the next frame is still found after its terminator.
    g.Control(0, 0, true, 5).Descriptor(0, 0, 2, 1, 0).Raw({12, 2, 0xAB, 0xCD, 0}).Pixel(3).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 3u);
    const GifFrame& f0 = r.picture.frames[0];
    EXPECT_TRUE(f0.hasLocalTable);
    EXPECT_EQ(f0.colourBits, 1);
    EXPECT_EQ(f0.localTable[1], MakeColour(4, 5, 6));
    EXPECT_EQ(f0.localTable[2], 0u);
    EXPECT_EQ(r.picture.frames[1].indices, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(r.picture.frames[1].mask, (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(r.picture.frames[2].indices, (std::vector<std::uint8_t>{3}));
    EXPECT_EQ(r.picture.width, 2);

    const Bitmap bmp = ComposeFirstFrame(r.picture, nullptr);
    EXPECT_EQ(bmp.Pixel(0, 0), MakeColour(4, 5, 6));
}

// --- Extensions and block structure -----------------------------------------

TEST(GifBlockTest, ExtensionsAreReadOrSkipped) {
    GifBuilder g;
    g.Header().Screen(1, 1).Netscape(5);
    g.Raw({0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0});               // comment
    g.Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 'h', 'i', 0});  // plain text
    g.Raw({0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P', 1, 0x2C, 0});
    g.Raw({0x21, 0x77});  // unknown label: nothing more is read
    g.Pixel(2).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.loopCount, 5);
    ASSERT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(r.picture.frames[0].indices[0], 2);

    GifBuilder forever;
    forever.Header().Screen(1, 1).Netscape(0).Trailer();
    EXPECT_EQ(Load(forever.b).picture.loopCount, 0);
}

TEST(GifBlockTest, GarbageBetweenBlocksIsSkipped) {
    GifBuilder g;
    g.Header().Screen(1, 1).Pixel(1).Raw({0x00, 0x55, 0x10, 0x20}).Pixel(2).Trailer().Pixel(3);
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 2u);  // nothing after the trailer
    EXPECT_EQ(r.picture.frames[1].indices[0], 2);
}

TEST(GifBlockTest, ZeroSizeFrameFailsTheWholeLoad) {
    GifBuilder g;
    g.Header().Screen(1, 1).Pixel(1).Descriptor(0, 0, 0, 1, 0).Raw({2, 0}).Pixel(2).Trailer();
    int calls = 0;
    std::size_t lastPosition = 0;
    const GifLoadResult r = Load(g.b, [&](const GifProgress& p) {
        ++calls;
        lastPosition = p.position;
        return true;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Invalid);
    EXPECT_EQ(lastPosition, g.b.size());
    EXPECT_EQ(calls, 3);
}

TEST(GifBlockTest, OversizedFrameIsDroppedAndEarlierFramesKept) {
    GifBuilder g;
    g.Header().Screen(4, 4).Pixel(1).Descriptor(0, 0, 16385, 1, 0).Raw({2, 0}).Pixel(2).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(r.picture.width, 4);
}

TEST(GifBlockTest, StopsAfter256Frames) {
    GifBuilder g;
    g.Header().Screen(1, 1);
    for (int i = 0; i < 300; ++i) g.Pixel(std::uint8_t(i));
    g.Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 256u);
    EXPECT_EQ(r.picture.frames[255].indices[0], 255);
}

TEST(GifBlockTest, FirstImageOnlyReadsOneFrame) {
    GifBuilder g;
    g.Header().Screen(1, 1).Pixel(1).Pixel(2).Pixel(3).Trailer();
    std::size_t lastPosition = 0;
    const GifLoadResult r = Load(
        g.b,
        [&](const GifProgress& p) {
            lastPosition = p.position;
            return true;
        },
        true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(r.picture.frames[0].indices[0], 1);
    EXPECT_EQ(lastPosition, g.b.size());
}

// --- Progress -----------------------------------------------------------------

TEST(GifProgressTest, ReportsBlocksAndStopsOnRequest) {
    GifBuilder g;
    g.Header().Screen(1, 1).Control(0, 0).Pixel(1).Pixel(2).Trailer();
    std::vector<GifProgress> seen;
    ASSERT_TRUE(Load(g.b, [&](const GifProgress& p) {
                    seen.push_back(p);
                    return true;
                }).ok);
    ASSERT_EQ(seen.size(), 5u);  // four blocks and the end
    EXPECT_EQ(seen[0].position, 13u);
    EXPECT_EQ(seen.back().percent, 100);
    EXPECT_EQ(seen.back().size, g.b.size());

    int calls = 0;
    const GifLoadResult r = Load(g.b, [&](const GifProgress&) { return ++calls < 2; });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Stopped);
    EXPECT_EQ(calls, 2);
}

TEST(GifProgressTest, LargeFrameReportsRowsAndStopDropsIt) {
    FramePlan f;
    f.width = 400;
    f.height = 300;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) f.pixels.push_back(std::uint8_t((x * 7 + y) % 256));
    GifBuilder g;
    g.Header().Screen(400, 300).Pixel(9).Frame(f).Trailer();

    int calls = 0;
    GifLoadResult r = Load(g.b, [&](const GifProgress&) {
        ++calls;
        return true;
    });
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 2u);
    EXPECT_EQ(r.picture.frames[1].indices, f.pixels);
    EXPECT_EQ(calls, 3 + 300 / 32 + 1);

    // The third call falls inside the large frame: only that frame is lost.
    calls = 0;
    r = Load(g.b, [&](const GifProgress&) { return ++calls != 3; });
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(calls, 4);
}

// --- Composition ----------------------------------------------------------------

TEST(GifComposeTest, TransparentFrameOnLargerScreen) {
    FramePlan f;
    f.left = 1;
    f.top = 1;
    f.width = 2;
    f.height = 1;
    f.pixels = {0, 1};
    f.minCodeSize = 2;
    GifBuilder g;
    g.Header().Screen(4, 3, 2, {clWhite, MakeColour(200, 100, 50)}).Control(0, 0, true, 0).Frame(f).Trailer();
    const GifLoadResult r = Load(g.b);
    ASSERT_TRUE(r.ok);
    std::vector<std::uint8_t> mask;
    const Bitmap bmp = ComposeFirstFrame(r.picture, &mask);
    ASSERT_EQ(bmp.Width(), 4);
    ASSERT_EQ(bmp.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool opaque = x == 2 && y == 1;
            EXPECT_EQ(bmp.Pixel(x, y), opaque ? MakeColour(200, 100, 50) : clBlack) << x << "," << y;
            EXPECT_EQ(mask[std::size_t(y) * 4 + x], opaque ? 0 : 1) << x << "," << y;
        }
}

// --- Robustness ---------------------------------------------------------------

TEST(GifRobustnessTest, PrefixesAndMutationsNeverCrash) {
    FramePlan a;
    a.width = 6;
    a.height = 5;
    a.interlaced = true;
    for (int i = 0; i < 30; ++i) a.pixels.push_back(std::uint8_t(i % 4));
    a.minCodeSize = 2;
    FramePlan b = a;
    b.interlaced = false;
    b.localBits = 2;
    b.localColours = kColours;
    FramePlan c = b;
    c.left = 3;
    GifBuilder g;
    g.Header().Screen(8, 8, 2, kColours).Netscape(2).Control(2, 5, true, 1).Frame(a);
    g.Raw({0x21, 0xFE, 1, 'x', 0}).Frame(b).Control(1, 1).Frame(c).Trailer();
    const GifLoadResult whole = Load(g.b);
    ASSERT_TRUE(whole.ok);
    ASSERT_EQ(whole.picture.frames.size(), 3u);

    const auto started = std::chrono::steady_clock::now();
    auto exercise = [](const Bytes& bytes) {
        const GifLoadResult r = Load(bytes, [](const GifProgress& p) { return p.position <= p.size; });
        if (r.ok && r.picture.width <= 4096 && r.picture.height <= 4096) {
            std::vector<std::uint8_t> mask;
            ComposeFirstFrame(r.picture, &mask);
        }
    };
    for (std::size_t n = 0; n <= g.b.size(); ++n) exercise(Bytes(g.b.begin(), g.b.begin() + std::ptrdiff_t(n)));

    std::mt19937 rng(12345);
    for (int i = 0; i < 2000; ++i) {
        Bytes m = g.b;
        const int changes = 1 + int(rng() % 4);
        for (int k = 0; k < changes; ++k) m[rng() % m.size()] = std::uint8_t(rng());
        exercise(m);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 1.0);
}
