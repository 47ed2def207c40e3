// What the program relies on from every Canvas. Built natively against the
// software canvas and, under Wine, with DIB-section pixels against the GDI one.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"

namespace snapora {
namespace {

constexpr Colour kBackground = MakeColour(0x21, 0x43, 0x65);
constexpr Colour kPaint = MakeColour(0x12, 0x34, 0x56);

// Distinct per pixel and per channel, never black, so a misplaced or
// channel-swapped pixel cannot pass unnoticed.
Colour PatternColour(int x, int y) {
    return MakeColour(std::uint8_t(0x10 + x * 9), std::uint8_t(0x80 + y * 7), std::uint8_t(0xC0 + ((x + 2 * y) & 0x1F)));
}

Bitmap Filled(int width, int height, Colour colour) {
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, colour);
    return bitmap;
}

Bitmap Patterned(int width, int height) {
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, PatternColour(x, y));
    return bitmap;
}

std::string Hex(Colour colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", unsigned(colour));
    return text;
}

std::string Describe(const Rect& r) {
    return "{" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + "}";
}

// Compares every pixel and names the first few that differ.
::testing::AssertionResult PixelsAre(const Bitmap& bitmap, int width, int height,
                                     const std::function<Colour(int, int)>& expected) {
    if (bitmap.Width() != width || bitmap.Height() != height)
        return ::testing::AssertionFailure() << "size " << bitmap.Width() << "x" << bitmap.Height() << ", expected "
                                             << width << "x" << height;
    int wrong = 0;
    std::string report;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour actual = bitmap.Pixel(x, y), wanted = expected(x, y);
            if (actual == wanted) continue;
            if (++wrong <= 5)
                report += " (" + std::to_string(x) + "," + std::to_string(y) + ")=" + Hex(actual) + " expected " +
                          Hex(wanted) + ";";
        }
    }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ:" << report;
}

bool SourceCovers(const Bitmap& source, int x, int y) { return source.Bounds().Contains({x, y}); }

// ---- FillRect ------------------------------------------------------------

TEST(CanvasContract, FillRectCoversLeftAndTopEdgesButNotRightAndBottom) {
    struct Case {
        const char* name;
        Rect area;
    };
    const Case cases[] = {
        {"x 2..4, y 3..6", {2, 3, 5, 7}},
        {"single pixel", {4, 4, 5, 5}},
        {"whole picture", {0, 0, 8, 10}},
        {"over every edge, clipped", {-3, -2, 11, 14}},
        {"over the left and top edges", {-2, -2, 3, 2}},
        {"over the right and bottom edges", {6, 8, 12, 13}},
        {"empty, right equals left", {3, 3, 3, 7}},
        {"empty, bottom equals top", {3, 3, 6, 3}},
        {"inverted", {5, 5, 2, 2}},
        {"wholly outside", {9, 0, 12, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + Describe(c.area));
        Bitmap bitmap = Filled(8, 10, kBackground);
        bitmap.Canvas().FillRect(c.area, kPaint);
        const bool filled = !c.area.IsEmpty();
        EXPECT_TRUE(PixelsAre(bitmap, 8, 10, [&](int x, int y) {
            return filled && c.area.Contains({x, y}) ? kPaint : kBackground;
        }));
    }
}

TEST(CanvasContract, FillRectStoresTheColourExactlyAsBlueGreenRedBytes) {
    const Colour colours[] = {clRed, clLime, clBlue, clWhite, clBlack, MakeColour(1, 2, 3), MakeColour(0xFC, 0xFD, 0xFE),
                              MakeColour(0x7F, 0x80, 0x81)};
    for (Colour colour : colours) {
        SCOPED_TRACE(Hex(colour));
        Bitmap bitmap = Filled(3, 2, kBackground);
        bitmap.Canvas().FillRect({1, 1, 2, 2}, colour);
        EXPECT_EQ(bitmap.Pixel(1, 1), colour);
        EXPECT_EQ(bitmap.Canvas().Pixel(1, 1), colour);
        const std::uint8_t* p = bitmap.Row(1) + 3;
        EXPECT_EQ(p[0], BlueOf(colour));
        EXPECT_EQ(p[1], GreenOf(colour));
        EXPECT_EQ(p[2], RedOf(colour));
        EXPECT_EQ(bitmap.Pixel(0, 1), kBackground);
        EXPECT_EQ(bitmap.Pixel(2, 1), kBackground);
    }
}

// ---- CopyRect ------------------------------------------------------------

struct CopyCase {
    const char* name;
    Rect to;
    Rect from;
};

// The destination after CopyRect(to, source, from) on a picture of `before` pixels.
std::function<Colour(int, int)> AfterCopy(const CopyCase& c, const Bitmap& source,
                                          std::function<Colour(int, int)> before,
                                          std::function<Colour(int, int)> sourceColour) {
    return [&c, &source, before, sourceColour](int x, int y) {
        if (c.to.IsEmpty() || !c.to.Contains({x, y})) return before(x, y);
        int sx = x - c.to.left + c.from.left, sy = y - c.to.top + c.from.top;
        return SourceCovers(source, sx, sy) ? sourceColour(sx, sy) : clBlack;
    };
}

TEST(CanvasContract, CopyRectCopiesExactlyAndSourcePixelsOutsideTheSourceArriveBlack) {
    const CopyCase cases[] = {
        {"inside to inside", {1, 1, 4, 3}, {2, 1, 5, 3}},
        {"whole source", {2, 2, 8, 7}, {0, 0, 6, 5}},
        {"single pixel", {9, 7, 10, 8}, {5, 4, 6, 5}},
        {"source area over the left and top edges", {0, 0, 4, 4}, {-2, -1, 2, 3}},
        {"source area over the right and bottom edges", {3, 2, 9, 7}, {3, 2, 9, 7}},
        {"source area beyond the source on all sides", {0, 0, 10, 8}, {-2, -1, 8, 7}},
        {"source area wholly outside the source", {1, 1, 4, 4}, {7, 6, 10, 9}},
        {"destination over its left and top edges", {-2, -1, 4, 3}, {0, 0, 6, 4}},
        {"destination over its right and bottom edges", {7, 5, 13, 10}, {0, 0, 6, 5}},
        {"empty", {3, 3, 3, 5}, {0, 0, 0, 2}},
    };
    const Bitmap source = Patterned(6, 5);
    for (bool sourceHasCanvas : {false, true}) {
        for (const CopyCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " to " + Describe(c.to) + " from " + Describe(c.from) +
                         (sourceHasCanvas ? ", source with a canvas" : ""));
            Bitmap from = source;
            // A source in use for drawing: on GDI its bitmap is then selected into its own DC.
            if (sourceHasCanvas) from.Canvas().SetPixel(0, 0, PatternColour(0, 0));
            Bitmap target = Filled(10, 8, kBackground);
            target.Canvas().CopyRect(c.to, from, c.from);
            EXPECT_TRUE(PixelsAre(target, 10, 8,
                                  AfterCopy(c, from, [](int, int) { return kBackground; }, PatternColour)));
        }
    }
}

TEST(CanvasContract, CopyRectWithinOnePictureReadsThePixelsAsTheyWereBefore) {
    const CopyCase cases[] = {
        {"overlapping, moved right and down", {2, 1, 8, 6}, {0, 0, 6, 5}},
        {"overlapping, moved left and up", {0, 0, 6, 5}, {2, 1, 8, 6}},
        {"moved by one pixel", {1, 0, 8, 6}, {0, 0, 7, 6}},
        {"partly from outside the picture", {0, 0, 5, 4}, {5, 3, 10, 7}},
        {"onto itself", {1, 1, 5, 5}, {1, 1, 5, 5}},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " to " + Describe(c.to) + " from " + Describe(c.from));
        Bitmap bitmap = Patterned(8, 6);
        bitmap.Canvas().CopyRect(c.to, bitmap, c.from);
        const Bitmap shape(8, 6);
        EXPECT_TRUE(PixelsAre(bitmap, 8, 6, AfterCopy(c, shape, PatternColour, PatternColour)));
    }
}

TEST(CanvasContract, CopyRectTakesPlainHeapPixelsAsSource) {
    // Whatever memory the process uses, a picture in plain memory must copy too.
    PixelMemorySource& current = CurrentPixelMemorySource();
    SetPixelMemorySource(nullptr);
    const Bitmap source = Patterned(6, 5);
    SetPixelMemorySource(&current);

    const CopyCase cases[] = {
        {"whole source", {1, 1, 7, 6}, {0, 0, 6, 5}},
        {"lower rows only", {0, 0, 3, 2}, {2, 3, 5, 5}},
        {"over the source's edges", {0, 0, 9, 7}, {-1, -1, 8, 6}},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " to " + Describe(c.to) + " from " + Describe(c.from));
        Bitmap target = Filled(10, 8, kBackground);
        target.Canvas().CopyRect(c.to, source, c.from);
        EXPECT_TRUE(PixelsAre(target, 10, 8, AfterCopy(c, source, [](int, int) { return kBackground; }, PatternColour)));
    }
}

// ---- Draw ----------------------------------------------------------------

TEST(CanvasContract, DrawPlacesTheWholeSourceWithItsTopLeftAtTheOffset) {
    struct Case {
        const char* name;
        Point at;
    };
    const Case cases[] = {
        {"at the origin", {0, 0}},
        {"inside", {3, 2}},
        {"over the left and top edges", {-2, -1}},
        {"over the right and bottom edges", {7, 5}},
        {"just beyond the right and bottom edges", {10, 8}},
        {"just beyond the left edge", {-6, 0}},
    };
    const Bitmap source = Patterned(6, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " (" + std::to_string(c.at.x) + "," + std::to_string(c.at.y) + ")");
        Bitmap target = Filled(10, 8, kBackground);
        target.Canvas().Draw(c.at.x, c.at.y, source);
        EXPECT_TRUE(PixelsAre(target, 10, 8, [&](int x, int y) {
            return SourceCovers(source, x - c.at.x, y - c.at.y) ? PatternColour(x - c.at.x, y - c.at.y) : kBackground;
        }));
    }
}

TEST(CanvasContract, DrawingAnEmptyPictureChangesNothing) {
    Bitmap target = Filled(4, 3, kBackground);
    const Bitmap empty;
    target.Canvas().Draw(1, 1, empty);
    EXPECT_TRUE(PixelsAre(target, 4, 3, [](int, int) { return kBackground; }));
}

// ---- Pixel and SetPixel --------------------------------------------------

TEST(CanvasContract, SetPixelThenPixelRoundTripsEveryChannel) {
    struct Case {
        Point at;
        Colour colour;
    };
    const Case cases[] = {
        {{0, 0}, clRed},           {{6, 0}, clLime},
        {{0, 4}, clBlue},          {{6, 4}, clWhite},
        {{3, 2}, MakeColour(1, 2, 3)}, {{4, 1}, MakeColour(0xFE, 0x01, 0x80)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("(" + std::to_string(c.at.x) + "," + std::to_string(c.at.y) + ") " + Hex(c.colour));
        Bitmap viaCanvas = Filled(7, 5, kBackground);
        viaCanvas.Canvas().SetPixel(c.at.x, c.at.y, c.colour);
        EXPECT_EQ(viaCanvas.Canvas().Pixel(c.at.x, c.at.y), c.colour);
        EXPECT_TRUE(PixelsAre(viaCanvas, 7, 5, [&](int x, int y) {
            return Point{x, y} == c.at ? c.colour : kBackground;
        }));

        Bitmap viaBitmap = Filled(7, 5, kBackground);
        viaBitmap.Canvas();
        viaBitmap.SetPixel(c.at.x, c.at.y, c.colour);
        EXPECT_EQ(viaBitmap.Canvas().Pixel(c.at.x, c.at.y), c.colour);
    }
}

TEST(CanvasContract, PixelOutsideThePictureReadsBlack) {
    const Point outside[] = {{-1, 0}, {0, -1}, {7, 0}, {0, 5}, {7, 5}, {-100, -100}, {100000, 2}};
    Bitmap bitmap = Filled(7, 5, clWhite);
    for (Point p : outside) {
        SCOPED_TRACE("(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")");
        EXPECT_EQ(bitmap.Canvas().Pixel(p.x, p.y), clBlack);
    }
}

TEST(CanvasContract, SetPixelOutsideThePictureChangesNothing) {
    const Point outside[] = {{-1, 0}, {0, -1}, {7, 0}, {0, 5}, {7, 5}, {-100, -100}, {100000, 2}};
    Bitmap bitmap = Filled(7, 5, kBackground);
    for (Point p : outside) bitmap.Canvas().SetPixel(p.x, p.y, kPaint);
    EXPECT_TRUE(PixelsAre(bitmap, 7, 5, [](int, int) { return kBackground; }));
}

TEST(CanvasContract, CanvasDrawingAndDirectPixelAccessSeeEachOtherAtOnce) {
    Bitmap bitmap = Filled(6, 4, kBackground);
    Canvas& canvas = bitmap.Canvas();
    canvas.FillRect({0, 0, 3, 4}, clRed);
    EXPECT_EQ(bitmap.Pixel(2, 3), clRed);  // read straight after drawing
    bitmap.SetPixel(1, 1, clBlue);
    Bitmap target = Filled(6, 4, kBackground);
    target.Canvas().CopyRect({0, 0, 6, 4}, bitmap, {0, 0, 6, 4});  // drawing straight after writing
    EXPECT_TRUE(PixelsAre(target, 6, 4, [](int x, int y) {
        if (x == 1 && y == 1) return clBlue;
        return x < 3 ? clRed : kBackground;
    }));
}

// ---- Copies and sizes ----------------------------------------------------

TEST(CanvasContract, CopyOfABitmapIsIndependentOfTheOriginal) {
    struct Case {
        const char* name;
        bool assignOverExisting;
    };
    const Case cases[] = {{"copy-constructed", false}, {"copy-assigned over a bigger picture", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap original = Patterned(6, 5);
        original.Canvas().FillRect({0, 0, 2, 2}, kPaint);  // still drawing when copied
        Bitmap copy = Filled(9, 9, clWhite);
        if (c.assignOverExisting) {
            copy.Canvas();
            copy = original;
        } else {
            copy = Bitmap(original);
        }
        auto originalBefore = [](int x, int y) { return x < 2 && y < 2 ? kPaint : PatternColour(x, y); };
        EXPECT_TRUE(PixelsAre(copy, 6, 5, originalBefore));

        copy.Canvas().FillRect({3, 3, 6, 5}, clRed);
        original.Canvas().FillRect({4, 0, 6, 2}, clBlue);
        original.SetPixel(0, 4, clLime);
        EXPECT_TRUE(PixelsAre(copy, 6, 5, [&](int x, int y) {
            return x >= 3 && y >= 3 ? clRed : originalBefore(x, y);
        }));
        EXPECT_TRUE(PixelsAre(original, 6, 5, [&](int x, int y) {
            if (x >= 4 && y < 2) return clBlue;
            if (x == 0 && y == 4) return clLime;
            return originalBefore(x, y);
        }));
    }
}

TEST(CanvasContract, SetSizeClearsEveryPixelToBlack) {
    const Size sizes[] = {{6, 5}, {3, 2}, {11, 7}, {1, 1}};
    for (Size size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        Bitmap bitmap = Patterned(6, 5);
        bitmap.Canvas().FillRect({1, 1, 4, 4}, kPaint);
        bitmap.SetSize(size.width, size.height);
        EXPECT_TRUE(PixelsAre(bitmap, size.width, size.height, [](int, int) { return clBlack; }));
        // The canvas of the new pixels draws on the new size.
        bitmap.Canvas().FillRect({0, 0, 100, 100}, kPaint);
        EXPECT_TRUE(PixelsAre(bitmap, size.width, size.height, [](int, int) { return kPaint; }));
    }
}

TEST(CanvasContract, SetSizeZeroLeavesAnEmptyPicture) {
    Bitmap bitmap = Patterned(4, 4);
    bitmap.Canvas();
    bitmap.SetSize(0, 0);
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.NativeHandle(), nullptr);
}

}  // namespace
}  // namespace snapora
