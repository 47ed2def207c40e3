// The GIF loader: header, frames, extensions, progress and the pixel budget.

#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace snapora;
using namespace snapora::giftest;

namespace {

GifLoadResult Load(const Bytes& b, GifProgressHandler progress = {}, bool firstOnly = false) {
    return LoadGif(std::span<const std::uint8_t>(b), {std::move(progress), firstOnly});
}

// A handler that keeps on while `keep` says so.
GifProgressHandler Counting(std::vector<GifProgress>& seen, std::function<bool(int call)> keep = {}) {
    return [&seen, keep](const GifProgress& p, bool& keepOn) {
        seen.push_back(p);
        if (keep) keepOn = keep(int(seen.size()));
    };
}

const std::vector<Colour> kColours = {MakeColour(255, 0, 0), MakeColour(0, 255, 0),
                                      MakeColour(0, 0, 255), MakeColour(10, 20, 30)};

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

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
    EXPECT_EQ(r.version, gvGIF87a);
    EXPECT_EQ(r.picture.screenWidth, 7);
    EXPECT_EQ(r.picture.height, 9);
    EXPECT_TRUE(r.picture.frames.empty());
    EXPECT_EQ(r.picture.loopCount, 1);
    EXPECT_EQ(r.picture.globalTable[0], 0u);

    GifBuilder a89;
    a89.Header("GIF89a").Screen(1, 1).Trailer();
    EXPECT_EQ(Load(a89.b).version, gvGIF89a);
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
    const TGIFFrame& fr = p.frames[0];
    EXPECT_EQ(fr.image.pixels, (std::vector<std::uint8_t>{0, 1, 2, 3}));
    EXPECT_FALSE(fr.transparent);
    EXPECT_TRUE(fr.mask.IsEmpty());
    EXPECT_FALSE(fr.hasLocalTable);
    EXPECT_EQ(fr.colourBits, 0);
    EXPECT_EQ(fr.delay, 0);
    // A global-table frame's palette: as many entries as the largest table so far.
    EXPECT_EQ(fr.image.palette, std::vector<Colour>(kColours.begin(), kColours.end()));
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
        EXPECT_EQ(r.picture.frames[d].delay, (d + 1) * 10) << d;
    }
    EXPECT_EQ(r.picture.frames[8].disposal, 0);
    EXPECT_EQ(r.picture.frames[8].delay, 0);
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
    EXPECT_EQ(r.picture.frames[0].image.pixels, (std::vector<std::uint8_t>{10, 30, 20}));

    // Ten rows: passes deliver 0,8 / 4 / 2,6 / 1,3,5,7,9.
    f.height = 10;
    f.pixels = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    GifBuilder g10;
    g10.Header().Screen(1, 10).Frame(f).Trailer();
    r = Load(g10.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames[0].image.pixels, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
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
    const TGIFFrame& fr = r.picture.frames[0];
    EXPECT_TRUE(fr.transparent);
    EXPECT_EQ(fr.transparentIndex, 1);
    EXPECT_EQ(MaskBits(fr.mask), (std::vector<std::uint8_t>{1, 0, 1}));
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
    const TGIFFrame& fr = r.picture.frames[0];
    std::vector<std::uint8_t> indices(16, 0), mask(16, 1);
    for (int i = 0; i < 3; ++i) {
        indices[i] = std::uint8_t(i + 1);
        mask[i] = 0;
    }
    EXPECT_EQ(fr.image.pixels, indices);
    EXPECT_EQ(MaskBits(fr.mask), mask);
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
    const TGIFFrame& f0 = r.picture.frames[0];
    EXPECT_TRUE(f0.hasLocalTable);
    EXPECT_EQ(f0.colourBits, 1);
    EXPECT_EQ(f0.localTable[1], MakeColour(4, 5, 6));
    EXPECT_EQ(f0.localTable[2], 0u);
    EXPECT_EQ(r.picture.frames[1].image.pixels, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(MaskBits(r.picture.frames[1].mask), (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(r.picture.frames[2].image.pixels, (std::vector<std::uint8_t>{3}));
    EXPECT_EQ(r.picture.width, 2);
    EXPECT_EQ(f0.image.palette, (std::vector<Colour>{MakeColour(1, 2, 3), MakeColour(4, 5, 6)}));
    EXPECT_EQ(f0.image.ColourAt(0, 0), MakeColour(4, 5, 6));
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
    EXPECT_EQ(r.picture.frames[0].image.pixels[0], 2);

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
    EXPECT_EQ(r.picture.frames[1].image.pixels[0], 2);
}

TEST(GifBlockTest, ZeroSizeFrameFailsTheWholeLoad) {
    GifBuilder g;
    g.Header().Screen(1, 1).Pixel(1).Descriptor(0, 0, 0, 1, 0).Raw({2, 0}).Pixel(2).Trailer();
    std::vector<GifProgress> seen;
    GifLoadResult r = Load(g.b, Counting(seen));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Invalid);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.back().position, g.b.size());
    // A stop request at that last call makes it a stopped load.
    seen.clear();
    EXPECT_EQ(Load(g.b, Counting(seen, [](int call) { return call < 3; })).error, GifError::Stopped);
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
    EXPECT_EQ(r.picture.frames[255].image.pixels[0], 255);
}

TEST(GifBlockTest, FirstImageOnlyReadsOneFrame) {
    GifBuilder g;
    g.Header().Screen(1, 1).Pixel(1).Pixel(2).Pixel(3).Trailer();
    std::vector<GifProgress> seen;
    const GifLoadResult r = Load(g.b, Counting(seen), true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(r.picture.frames[0].image.pixels[0], 1);
    EXPECT_EQ(seen.back().position, g.b.size());
}

// --- Progress -----------------------------------------------------------------

TEST(GifProgressTest, ReportsBlocksAndStopsOnRequest) {
    GifBuilder g;
    g.Header().Screen(1, 1).Control(0, 0).Pixel(1).Pixel(2).Trailer();
    std::vector<GifProgress> seen;
    ASSERT_TRUE(Load(g.b, Counting(seen)).ok);
    ASSERT_EQ(seen.size(), 5u);  // four blocks and the end
    EXPECT_EQ(seen[0].position, 13u);
    EXPECT_EQ(seen[0].size, g.b.size());
    for (const GifProgress& p : seen)  // 100 * position / size, rounded, halves up
        EXPECT_EQ(p.percent, int((200 * p.position + p.size) / (2 * p.size))) << p.position;
    EXPECT_EQ(seen[0].percent, 23);  // 13 of 57 bytes: 22.8
    EXPECT_EQ(seen.back().percent, 100);

    seen.clear();
    const GifLoadResult r = Load(g.b, Counting(seen, [](int call) { return call < 2; }));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Stopped);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(GifProgressTest, LargeFramesReportRowsByNumber) {
    // Frames over 100000 pixels report after rows numbered by multiples of 32
    // (wider than 320) or 64; interlaced rows count by their own number.
    struct Case {
        int width, height;
        bool interlaced;
        int rowReports;
    } cases[] = {{400, 300, false, 10}, {320, 320, false, 5}, {400, 300, true, 10}, {300, 300, false, 0}};
    for (const Case& c : cases) {
        FramePlan f;
        f.width = c.width;
        f.height = c.height;
        f.interlaced = c.interlaced;
        for (int i = 0; i < c.width * c.height; ++i) f.pixels.push_back(std::uint8_t(i % 7));
        GifBuilder g;
        g.Header().Screen(c.width, c.height).Frame(f).Trailer();
        std::vector<GifProgress> seen;
        ASSERT_TRUE(Load(g.b, Counting(seen)).ok);  // the frame, the trailer, the end
        EXPECT_EQ(int(seen.size()), 3 + c.rowReports) << c.width << "x" << c.height;
    }
}

TEST(GifProgressTest, StopInsideAFrameDropsItAndTheFlagDecides) {
    FramePlan f;
    f.width = 400;
    f.height = 300;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) f.pixels.push_back(std::uint8_t((x * 7 + y) % 256));
    GifBuilder g;
    g.Header().Screen(400, 300).Pixel(9).Frame(f).Trailer();
    std::vector<GifProgress> seen;
    GifLoadResult r = Load(g.b, Counting(seen));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames[1].image.pixels, f.pixels);

    // Call 3 falls on row 0 of the large frame: the frame is dropped and the
    // loop ends. The flag stays false for the closing call unless the handler
    // sets it again: then the load fails as stopped, else frame 1 remains.
    seen.clear();
    r = Load(g.b, Counting(seen, [](int call) { return call != 3; }));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames.size(), 1u);
    EXPECT_EQ(seen.size(), 4u);
    seen.clear();
    r = Load(g.b, Counting(seen, [](int call) { return call < 3; }));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Stopped);
}

// --- The pixel budget ------------------------------------------------------------

TEST(GifBudgetTest, ScreenAndPlacementStayWithinThePixelBudget) {
    // A 1x1 frame placed at 65535,65535 would make a logical screen of 2^32 pixels.
    GifLoadResult r = Load(FromHex("474946383961010001000000002CFFFFFFFF010001000002024401003B"));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.picture.frames.empty());
    EXPECT_EQ(r.picture.width, 1);
    EXPECT_EQ(r.picture.height, 1);

    GifBuilder huge;  // the screen alone is over the budget
    huge.Header().Screen(65535, 65535).Pixel(1).Trailer();
    r = Load(huge.b);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GifError::Invalid);

    // Frames of 4096 x 8192: two fill the budget of 2^26 pixels; the third is
    // dropped and reading ends there.
    GifBuilder big;
    big.Header().Screen(1, 1);
    for (int i = 0; i < 3; ++i) big.Descriptor(0, 0, 4096, 8192, 0).Raw({2, 1, 5, 0});
    big.Pixel(1, 9000, 0).Trailer();
    r = Load(big.b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.picture.frames.size(), 2u);
    EXPECT_EQ(r.picture.width, 4096);
}
