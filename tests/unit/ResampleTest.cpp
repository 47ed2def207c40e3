#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "imaging/Resample.h"

using namespace snapora;

namespace {

using Bgr = std::array<int, 3>;

// A picture from row-major grey values.
Bitmap Grey(int width, int height, const std::vector<int>& values) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) b.Row(y)[x * 3 + c] = std::uint8_t(values[std::size_t(y * width + x)]);
    return b;
}

// The blue channel, row-major; the checks use grey pictures.
std::vector<int> Blue(const Bitmap& b) {
    std::vector<int> values;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) values.push_back(b.Row(y)[x * 3]);
    return values;
}

Bgr At(const Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.Row(y) + x * 3;
    return {p[0], p[1], p[2]};
}

void Put(Bitmap& b, int x, int y, Bgr bgr) {
    for (int c = 0; c < 3; ++c) b.Row(y)[x * 3 + c] = std::uint8_t(bgr[std::size_t(c)]);
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (At(a, x, y) != At(b, x, y)) return false;
    return true;
}

Bitmap Resized(const Bitmap& source, int width, int height, FilterFunction filter, float radius) {
    Bitmap destination(width, height);
    ResampleBitmap(source, destination, filter, radius);
    return destination;
}

}  // namespace

TEST(ResampleFilters, TableNamesFiltersInOrder) {
    const std::array<ResampleFilter, 7> expected{{{"Box", BoxFilter, 0.5f},
                                                  {"Triangle", TriangleFilter, 1.0f},
                                                  {"Hermite", HermiteFilter, 1.0f},
                                                  {"Bell", BellFilter, 1.5f},
                                                  {"B-Spline", BSplineFilter, 2.0f},
                                                  {"Lanczos3", Lanczos3Filter, 3.0f},
                                                  {"Mitchell", MitchellFilter, 2.0f}}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(FilterTable[i].Name, expected[i].Name);
        EXPECT_EQ(FilterTable[i].Function, expected[i].Function) << expected[i].Name;
        EXPECT_EQ(FilterTable[i].Radius, expected[i].Radius) << expected[i].Name;
    }
}

// Values that float arithmetic gives exactly; the box is open on the left.
TEST(ResampleFilters, ExactValues) {
    struct Case {
        FilterFunction filter;
        float x, expected;
    };
    const Case cases[] = {
        {BoxFilter, 0.0f, 1.0f},       {BoxFilter, 0.5f, 1.0f},        {BoxFilter, -0.5f, 0.0f},
        {BoxFilter, -0.25f, 1.0f},     {BoxFilter, 0.75f, 0.0f},       {TriangleFilter, 0.0f, 1.0f},
        {TriangleFilter, 0.25f, 0.75f}, {TriangleFilter, -0.5f, 0.5f}, {TriangleFilter, 1.0f, 0.0f},
        {TriangleFilter, -1.5f, 0.0f}, {HermiteFilter, 0.0f, 1.0f},    {HermiteFilter, 0.5f, 0.5f},
        {HermiteFilter, -0.25f, 0.84375f}, {HermiteFilter, 1.0f, 0.0f}, {BellFilter, 0.0f, 0.75f},
        {BellFilter, 0.25f, 0.6875f},  {BellFilter, -0.5f, 0.5f},      {BellFilter, 1.0f, 0.125f},
        {BellFilter, -1.0f, 0.125f},   {BellFilter, 1.5f, 0.0f},       {BSplineFilter, 0.0f, 2.0f / 3.0f},
        {BSplineFilter, -1.0f, 1.0f / 6.0f}, {BSplineFilter, 1.5f, 1.0f / 48.0f}, {BSplineFilter, 2.0f, 0.0f},
        {Sinc, 0.0f, 1.0f},            {Lanczos3Filter, 0.0f, 1.0f},   {Lanczos3Filter, 3.0f, 0.0f},
        {Lanczos3Filter, -3.5f, 0.0f}, {MitchellFilter, 2.0f, 0.0f},   {MitchellFilter, -2.5f, 0.0f},
    };
    for (const Case& c : cases) EXPECT_EQ(c.filter(c.x), c.expected) << "x = " << c.x;
}

TEST(ResampleFilters, RoundedValues) {
    const double pi = 3.14159265358979323846;
    struct Case {
        FilterFunction filter;
        float x;
        double expected;
    };
    const Case cases[] = {
        {BSplineFilter, 0.5f, 23.0 / 48.0},
        {Sinc, 0.5f, 2 / pi},
        {Sinc, 1.0f, 0.0},  // sin of pi rounded to float is not quite 0
        {Sinc, -1.5f, -2 / (3 * pi)},
        {Lanczos3Filter, 1.5f, -2 / (3 * pi) * (2 / pi)},
        {Lanczos3Filter, -0.5f, (2 / pi) * (0.5 / (pi / 6))},
        {MitchellFilter, 0.0f, 8.0 / 9.0},
        {MitchellFilter, 0.5f, 77.0 / 144.0},
        {MitchellFilter, -1.0f, 1.0 / 18.0},
        {MitchellFilter, 1.5f, -5.0 / 144.0},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.filter(c.x), c.expected, 1e-6) << "x = " << c.x;

    // Bell, B-Spline and Mitchell blur at the same size: their weights at 0 and ±1 sum to 1.
    for (FilterFunction f : {BellFilter, BSplineFilter, MitchellFilter})
        EXPECT_NEAR(f(0.0f) + f(1.0f) + f(-1.0f), 1.0, 1e-6);
}

// At the same size the weights are the filter's values at the integers: Box,
// Triangle and Hermite copy; Bell, B-Spline and Mitchell spread a lone bright
// pixel by theirs (Bell: 0.125, 0.75, 0.125), reflected at the edges.
TEST(Resample, SameSizeCopiesOrBlursByTheWeightsAtTheIntegers) {
    const std::vector<int> mixed{10, 200, 30, 40, 50, 60, 70, 80, 255};
    for (FilterFunction f : {BoxFilter, TriangleFilter, HermiteFilter})
        EXPECT_EQ(Blue(Resized(Grey(3, 3, mixed), 3, 3, f, 1.0f)), mixed);

    struct Case {
        FilterFunction filter;
        float radius;
        int centre;
        std::vector<int> expected;
    };
    const Case cases[] = {
        // First pass of the middle row: 50 150 25; the halves 12.5, 37.5, 112.5 round to even.
        {BellFilter, 1.5f, 200, {12, 38, 6, 38, 112, 19, 6, 19, 3}},
        {BSplineFilter, 2.0f, 180, {20, 40, 10, 40, 80, 20, 10, 20, 5}},
        {MitchellFilter, 2.0f, 180, {2, 18, 1, 18, 142, 9, 1, 9, 1}},
    };
    for (const Case& c : cases) {
        const Bitmap lone = Grey(3, 3, {0, 0, 0, 0, c.centre, 0, 0, 0, 0});
        EXPECT_EQ(Blue(Resized(lone, 3, 3, c.filter, c.radius)), c.expected);
    }

    // A flat picture stays flat with every filter.
    for (const ResampleFilter& f : FilterTable)
        EXPECT_EQ(Blue(Resized(Grey(3, 3, std::vector<int>(9, 100)), 3, 3, f.Function, f.Radius)),
                  std::vector<int>(9, 100))
            << f.Name;
}

// 4 columns to 2: scale 1/3, reach 1.5. Column -1 reflects to 1 and column 4 to 3.
TEST(Resample, BoxShrinkReflectsAtTheEdges) {
    const Bitmap source = Grey(4, 2, {10, 20, 40, 50, 0, 90, 180, 255});
    EXPECT_EQ(Blue(Resized(source, 2, 2, BoxFilter, 0.5f)),
              (std::vector<int>{17, 47, 60, 230}));  // (20+10+20)/3, (40+50+50)/3, (90+0+90)/3, (180+255+255)/3
}

// A sharp edge 0 | 255 enlarged 6 -> 11: at source 3.5 the ringing overshoots
// 255, at 1.5 it undershoots 0.
TEST(Resample, OvershootIsClamped) {
    const Bitmap edge = Grey(6, 2, {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255});
    for (FilterFunction f : {Lanczos3Filter, MitchellFilter}) {
        ASSERT_GT(255 * (f(0.5f) + f(-0.5f) + f(-1.5f) + f(-2.5f)), 256);
        ASSERT_LT(255 * (f(-1.5f) + f(-2.5f)), -1);
        const Bitmap wide = Resized(edge, 11, 2, f, 3.0f);
        for (int y = 0; y < 2; ++y) {
            EXPECT_EQ(At(wide, 7, y), (Bgr{255, 255, 255}));
            EXPECT_EQ(At(wide, 3, y), (Bgr{0, 0, 0}));
            EXPECT_EQ(At(wide, 0, y), (Bgr{0, 0, 0}));
            EXPECT_EQ(At(wide, 10, y), (Bgr{255, 255, 255}));
        }
    }
}

// 2 -> 3 with Triangle: the middle column is exactly half of each neighbour.
TEST(Resample, HalvesRoundToEven) {
    Bitmap source(2, 2);
    Put(source, 0, 0, {0, 2, 254});
    Put(source, 1, 0, {1, 3, 255});
    Put(source, 0, 1, {1, 5, 100});
    Put(source, 1, 1, {2, 6, 101});
    const Bitmap wide = Resized(source, 3, 2, TriangleFilter, 1.0f);
    EXPECT_EQ(At(wide, 1, 0), (Bgr{0, 2, 254}));  // 0.5, 2.5, 254.5
    EXPECT_EQ(At(wide, 1, 1), (Bgr{2, 6, 100}));  // 1.5, 5.5, 100.5
    EXPECT_EQ(At(wide, 0, 1), (Bgr{1, 5, 100}));
    EXPECT_EQ(At(wide, 2, 0), (Bgr{1, 3, 255}));
}

// A one-pixel source scales by the destination's size: column i is centred at
// i / dw. Every index past the edge lands on the one pixel, so Triangle and
// Bell repeat it; Lanczos3 at 0.5 weighs it 2 (L(0.5) + L(1.5) + L(2.5)) = 0.9943.
TEST(Resample, OnePixelSource) {
    const Bitmap dot = Grey(1, 1, {200});
    EXPECT_EQ(Blue(Resized(dot, 4, 1, TriangleFilter, 1.0f)), std::vector<int>(4, 200));
    EXPECT_EQ(Blue(Resized(dot, 4, 3, BellFilter, 1.5f)), std::vector<int>(12, 200));
    EXPECT_EQ(Blue(Resized(dot, 2, 1, Lanczos3Filter, 3.0f)), (std::vector<int>{200, 199}));
}

// One destination pixel from a larger source covers the whole source: the Box average.
TEST(Resample, OnePixelDestinationAveragesTheSource) {
    std::vector<int> values;
    for (int i = 0; i < 16; ++i) values.push_back(i * 10);
    EXPECT_EQ(Blue(Resized(Grey(4, 4, values), 1, 1, BoxFilter, 0.5f)), std::vector<int>{75});
    EXPECT_EQ(Blue(Resized(Grey(4, 1, {10, 20, 40, 50}), 1, 1, BoxFilter, 0.5f)), std::vector<int>{30});
}

TEST(Resample, EmptySourceFailsAndChangesNothing) {
    Bitmap destination = Grey(2, 2, {1, 2, 3, 4});
    try {
        ResampleBitmap(Bitmap(), destination, BoxFilter, 0.5f);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Source bitmap too small");
    }
    EXPECT_EQ(Blue(destination), (std::vector<int>{1, 2, 3, 4}));

    Bitmap empty;
    EXPECT_NO_THROW(ResampleBitmap(Grey(2, 2, {1, 2, 3, 4}), empty, BoxFilter, 0.5f));
    EXPECT_TRUE(empty.IsEmpty());
}

// What the canvas just drew is what gets resized, and the canvas sees the
// result (on Windows both are a DIB section that GDI may still be drawing on).
TEST(Resample, ReadsAndWritesThePixelsTheCanvasSees) {
    const Colour paint = MakeColour(200, 100, 50);
    Bitmap picture(8, 4);
    picture.Canvas().FillRect({4, 0, 8, 4}, paint);
    Bitmap halves(2, 4);
    halves.Canvas().FillRect({0, 0, 2, 4}, clWhite);
    ResampleBitmap(picture, halves, BoxFilter, 0.5f);  // columns 0..3 mirrored, and 4..7 mirrored
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(halves.Canvas().Pixel(0, y), clBlack);
        EXPECT_EQ(halves.Canvas().Pixel(1, y), paint);
    }
}

TEST(Resample, SourceAndDestinationMayBeOneBitmap) {
    Bitmap picture = Grey(3, 3, {0, 0, 0, 0, 200, 0, 0, 0, 0});
    ResampleBitmap(picture, picture, BellFilter, 1.5f);
    EXPECT_EQ(Blue(picture), (std::vector<int>{12, 38, 6, 38, 112, 19, 6, 19, 3}));
}

// The editor passes the thumbnail's width as the Box's radius; beyond ±0.5 the
// box is 0, so any wider radius gives the picture of 0.5. Likewise Lanczos3
// with an absurd radius on a source narrower than its window.
TEST(Resample, OversizedRadiusChangesNothing) {
    Bitmap screen(640, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) Put(screen, x, y, {(x * 7) & 255, (y * 13) & 255, ((x ^ y) * 3) & 255});
    const Bitmap thumbnail = Resized(screen, 97, 61, BoxFilter, 0.5f);
    EXPECT_NE(At(thumbnail, 10, 10), At(thumbnail, 11, 10));
    for (float radius : {97.0f, 1e6f, 1e30f, std::numeric_limits<float>::infinity()})
        EXPECT_TRUE(SamePixels(Resized(screen, 97, 61, BoxFilter, radius), thumbnail)) << radius;

    const Bitmap tiny = Grey(2, 2, {0, 255, 90, 30});
    const Bitmap enlarged = Resized(tiny, 5, 4, Lanczos3Filter, 3.0f);
    EXPECT_TRUE(SamePixels(Resized(tiny, 5, 4, Lanczos3Filter, 1e30f), enlarged));

    // A filter of the caller's own that never ends: the window stops four
    // source widths past either edge (columns -8..9 of 2, rows -4..4 of 1).
    FilterFunction endless = [](float) { return 1.0f / 16.0f; };
    EXPECT_EQ(Blue(Resized(Grey(2, 1, {16, 16}), 3, 1, endless, std::numeric_limits<float>::infinity())),
              (std::vector<int>{10, 10, 10}));  // 16 * 18 / 16 = 18, then 18 * 9 / 16 = 10.125
}
