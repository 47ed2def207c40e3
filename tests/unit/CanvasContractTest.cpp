// What the program relies on from every Canvas. Built natively against the
// software canvas and, under Wine, with DIB-section pixels against the GDI one.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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

// ---- Figures ---------------------------------------------------------------

constexpr Colour kPen = MakeColour(0xC8, 0x1E, 0x3C);
constexpr Colour kBrush = MakeColour(0x28, 0xB4, 0x5A);
constexpr Colour kText = MakeColour(0x10, 0x20, 0xE0);

// One figure with its pen and brush; the colours and the mode come from the test.
struct Figure {
    const char* name;
    int penWidth;
    PenStyle penStyle;
    BrushStyle brushStyle;
    std::function<void(Canvas&)> draw;
};

void Prepare(Canvas& canvas, const Figure& figure, Colour pen, Colour brush, PenMode mode) {
    canvas.pen = {pen, figure.penWidth, figure.penStyle, mode};
    canvas.brush = {brush, figure.brushStyle};
    canvas.font = Font{"Tahoma", 8, 19, false, pen};
}

void Line(Canvas& canvas, Point from, Point to) {
    canvas.MoveTo(from.x, from.y);
    canvas.LineTo(to.x, to.y);
}

// An arrow's head: the triangle its tool draws, outlined and filled.
void ArrowHeadFigure(Canvas& canvas) {
    const Point head[] = {{6, 20}, {30, 9}, {28, 30}};
    canvas.Polygon(head);
}

const Figure kFigures[] = {
    {"line, width 1", 1, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { Line(c, {3, 4}, {37, 25}); }},
    {"line, width 2", 2, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { Line(c, {3, 25}, {37, 4}); }},
    {"line, width 3", 3, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { Line(c, {5, 15}, {35, 15}); }},
    {"line, width 9, steep", 9, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { Line(c, {18, 2}, {23, 28}); }},
    {"line leaving the picture, width 6", 6, PenStyle::Solid, BrushStyle::Clear,
     [](Canvas& c) { Line(c, {-20, -7}, {30, 40}); }},
    {"rectangle, width 1", 1, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { c.Rectangle({4, 5, 30, 22}); }},
    {"rectangle, width 5, corners swapped", 5, PenStyle::Solid, BrushStyle::Clear,
     [](Canvas& c) { c.Rectangle({33, 24, 6, 6}); }},
    {"rectangle, width 4, filled", 4, PenStyle::Solid, BrushStyle::Solid, [](Canvas& c) { c.Rectangle({6, 5, 31, 24}); }},
    {"filled rectangle without outline", 3, PenStyle::Clear, BrushStyle::Solid,
     [](Canvas& c) { c.Rectangle({8, 4, 35, 26}); }},
    {"ellipse, width 1", 1, PenStyle::Solid, BrushStyle::Clear, [](Canvas& c) { c.Ellipse({3, 3, 36, 27}); }},
    {"ellipse, width 6, filled", 6, PenStyle::Solid, BrushStyle::Solid, [](Canvas& c) { c.Ellipse({5, 4, 34, 26}); }},
    {"arrow head, width 3, filled", 3, PenStyle::Solid, BrushStyle::Solid, ArrowHeadFigure},
    {"arrow head, width 1, filled", 1, PenStyle::Solid, BrushStyle::Solid, ArrowHeadFigure},
    {"dotted rectangle", 1, PenStyle::Dot, BrushStyle::Clear, [](Canvas& c) { c.Rectangle({2, 3, 37, 27}); }},
    {"dash-dot-dot rectangle", 1, PenStyle::DashDotDot, BrushStyle::Clear, [](Canvas& c) { c.Rectangle({37, 27, 2, 3}); }},
};

constexpr int kWidth = 40, kHeight = 30;

std::vector<Colour> PixelsOf(const Bitmap& bitmap) {
    std::vector<Colour> pixels;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) pixels.push_back(bitmap.Pixel(x, y));
    return pixels;
}

// The editor's previews: a figure drawn in not-XOR and drawn again leaves the picture as it was.
TEST(CanvasContract, NotXorFigureDrawnTwiceRestoresEveryPixel) {
    std::vector<Figure> figures(std::begin(kFigures), std::end(kFigures));
    figures.push_back({"text, hollow brush", 1, PenStyle::Solid, BrushStyle::Clear,
                       [](Canvas& c) { c.TextOutAt(2, 4, "Test"); }});
    figures.push_back({"text, solid brush", 1, PenStyle::Solid, BrushStyle::Solid,
                       [](Canvas& c) { c.TextOutAt(-3, 12, "Hallo"); }});
    for (const Figure& figure : figures) {
        SCOPED_TRACE(figure.name);
        Bitmap bitmap = Patterned(kWidth, kHeight);
        Canvas& canvas = bitmap.Canvas();
        Prepare(canvas, figure, kPen, kBrush, PenMode::NotXor);
        canvas.font.colour = kText;
        figure.draw(canvas);
        EXPECT_NE(PixelsOf(bitmap), PixelsOf(Patterned(kWidth, kHeight))) << "the first drawing changed nothing";
        figure.draw(canvas);
        EXPECT_TRUE(PixelsAre(bitmap, kWidth, kHeight, PatternColour));
    }
}

// A figure in not-XOR covers the same pixels as in copy mode, each one once:
// black inverts white, so a pixel touched twice would show white again.
TEST(CanvasContract, NotXorFigureInvertsEachPixelOfTheCopyFigureOnce) {
    for (const Figure& figure : kFigures) {
        SCOPED_TRACE(figure.name);
        Bitmap copied = Filled(kWidth, kHeight, clWhite);
        Prepare(copied.Canvas(), figure, clBlack, clBlack, PenMode::Copy);
        figure.draw(copied.Canvas());
        Bitmap inverted = Filled(kWidth, kHeight, clWhite);
        Prepare(inverted.Canvas(), figure, clBlack, clBlack, PenMode::NotXor);
        figure.draw(inverted.Canvas());
        EXPECT_TRUE(PixelsAre(inverted, kWidth, kHeight, [&](int x, int y) { return copied.Pixel(x, y); }));
    }
}

// Rectangles and ellipses stay within their corners widened by half the pen
// width, and the order of the corners does not matter.
TEST(CanvasContract, RectangleAndEllipseStayWithinTheirCornersWidenedByHalfThePen) {
    const Rect corners{9, 7, 29, 21};
    for (bool ellipse : {false, true}) {
        for (int width : {1, 2, 3, 6, 11}) {
            for (BrushStyle brush : {BrushStyle::Clear, BrushStyle::Solid}) {
                SCOPED_TRACE(std::string(ellipse ? "ellipse" : "rectangle") + ", width " + std::to_string(width) +
                             (brush == BrushStyle::Solid ? ", filled" : ""));
                auto draw = [&](const Rect& r) {
                    Bitmap bitmap = Filled(kWidth, kHeight, kBackground);
                    Canvas& canvas = bitmap.Canvas();
                    canvas.pen = {kPen, width, PenStyle::Solid, PenMode::Copy};
                    canvas.brush = {kBrush, brush};
                    ellipse ? canvas.Ellipse(r) : canvas.Rectangle(r);
                    return bitmap;
                };
                const Bitmap bitmap = draw(corners);
                const int h = width / 2;
                const Rect allowed{corners.left - h, corners.top - h, corners.right + h, corners.bottom + h};
                EXPECT_TRUE(PixelsAre(bitmap, kWidth, kHeight, [&](int x, int y) {
                    return allowed.Contains({x, y}) ? bitmap.Pixel(x, y) : kBackground;
                }));
                EXPECT_EQ(bitmap.Pixel(19, corners.top), kPen);  // the pen runs along the edges
                EXPECT_EQ(bitmap.Pixel(corners.left, 14), kPen);
                for (const Rect& swapped : {Rect{29, 21, 9, 7}, Rect{9, 21, 29, 7}, Rect{29, 7, 9, 21}})
                    EXPECT_TRUE(PixelsAre(draw(swapped), kWidth, kHeight, [&](int x, int y) { return bitmap.Pixel(x, y); }));
            }
        }
    }
}

TEST(CanvasContract, OnePixelRectangleOutlineIsExactlyItsEdgePixels) {
    const Rect corners{5, 4, 17, 11};
    Bitmap bitmap = Filled(20, 15, kBackground);
    Canvas& canvas = bitmap.Canvas();
    canvas.pen = {kPen, 1, PenStyle::Solid, PenMode::Copy};
    canvas.brush = {kBrush, BrushStyle::Solid};
    canvas.Rectangle(corners);
    EXPECT_TRUE(PixelsAre(bitmap, 20, 15, [&](int x, int y) {
        if (!corners.Contains({x, y})) return kBackground;
        const bool edge = x == corners.left || y == corners.top || x == corners.right - 1 || y == corners.bottom - 1;
        return edge ? kPen : kBrush;
    }));
}

// The brush fills the inside or leaves it; a clear pen draws no outline.
TEST(CanvasContract, BrushFillsOrLeavesTheInsideAndAClearPenDrawsNoOutline) {
    struct Case {
        const char* name;
        bool ellipse;
        PenStyle pen;
        BrushStyle brush;
    };
    const Case cases[] = {
        {"rectangle, hollow", false, PenStyle::Solid, BrushStyle::Clear},
        {"rectangle, solid", false, PenStyle::Solid, BrushStyle::Solid},
        {"rectangle, clear pen, solid", false, PenStyle::Clear, BrushStyle::Solid},
        {"rectangle, clear pen, hollow", false, PenStyle::Clear, BrushStyle::Clear},
        {"ellipse, hollow", true, PenStyle::Solid, BrushStyle::Clear},
        {"ellipse, solid", true, PenStyle::Solid, BrushStyle::Solid},
        {"ellipse, clear pen, solid", true, PenStyle::Clear, BrushStyle::Solid},
    };
    const Rect corners{4, 3, 36, 27};
    const Rect inside{14, 11, 26, 19};  // well inside the outline of either figure
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap bitmap = Patterned(kWidth, kHeight);
        Canvas& canvas = bitmap.Canvas();
        canvas.pen = {kPen, 3, c.pen, PenMode::Copy};
        canvas.brush = {kBrush, c.brush};
        c.ellipse ? canvas.Ellipse(corners) : canvas.Rectangle(corners);
        const bool filled = c.brush == BrushStyle::Solid;
        int penPixels = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const Colour pixel = bitmap.Pixel(x, y);
                penPixels += pixel == kPen;
                if (inside.Contains({x, y})) {
                    EXPECT_EQ(pixel, filled ? kBrush : PatternColour(x, y)) << x << "," << y;
                }
                if (c.pen == PenStyle::Clear && !corners.Contains({x, y})) {
                    EXPECT_EQ(pixel, PatternColour(x, y)) << x << "," << y;
                }
            }
        }
        EXPECT_EQ(penPixels > 0, c.pen != PenStyle::Clear);
    }
}

TEST(CanvasContract, SetBrushColourMakesAHollowBrushSolid) {
    Bitmap bitmap = Patterned(kWidth, kHeight);
    Canvas& canvas = bitmap.Canvas();
    canvas.brush.style = BrushStyle::Clear;
    canvas.SetBrushColour(kBrush);
    EXPECT_EQ(canvas.brush.style, BrushStyle::Solid);
    EXPECT_EQ(canvas.brush.colour, kBrush);
    canvas.pen = {kPen, 1, PenStyle::Solid, PenMode::Copy};
    canvas.Rectangle({5, 5, 30, 25});
    EXPECT_EQ(bitmap.Pixel(17, 15), kBrush);
}

// Lines start at the current position, leave out their end point and move the position there.
TEST(CanvasContract, LineToDrawsFromThePenPositionAndMovesIt) {
    Bitmap bitmap = Filled(20, 10, kBackground);
    Canvas& canvas = bitmap.Canvas();
    canvas.pen = {kPen, 1, PenStyle::Solid, PenMode::Copy};
    canvas.MoveTo(3, 2);
    EXPECT_EQ(canvas.PenPos(), (Point{3, 2}));
    canvas.LineTo(12, 2);
    EXPECT_EQ(canvas.PenPos(), (Point{12, 2}));
    canvas.LineTo(12, 7);
    EXPECT_EQ(canvas.PenPos(), (Point{12, 7}));
    canvas.pen.style = PenStyle::Clear;  // an invisible pen still moves
    canvas.LineTo(1, 1);
    EXPECT_EQ(canvas.PenPos(), (Point{1, 1}));
    EXPECT_TRUE(PixelsAre(bitmap, 20, 10, [](int x, int y) {
        const bool first = y == 2 && x >= 3 && x < 12, second = x == 12 && y >= 2 && y < 7;
        return first || second ? kPen : kBackground;
    }));
}

// Dotted pens leave gaps along the edge and draw nothing off it.
TEST(CanvasContract, DottedAndDashDotDotRectanglesPaintPartOfTheirEdge) {
    const Rect corners{3, 2, 37, 28};
    for (PenStyle style : {PenStyle::Dot, PenStyle::DashDotDot}) {
        SCOPED_TRACE(style == PenStyle::Dot ? "dotted" : "dash-dot-dot");
        Bitmap bitmap = Filled(kWidth, kHeight, kBackground);
        Canvas& canvas = bitmap.Canvas();
        canvas.pen = {kPen, 1, style, PenMode::Copy};
        canvas.brush.style = BrushStyle::Clear;
        canvas.Rectangle(corners);
        int painted = 0, gaps = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool edge = corners.Contains({x, y}) && (x == corners.left || y == corners.top ||
                                                               x == corners.right - 1 || y == corners.bottom - 1);
                const Colour pixel = bitmap.Pixel(x, y);
                if (edge)
                    (pixel == kPen ? painted : gaps) += 1;
                else
                    EXPECT_EQ(pixel, kBackground) << x << "," << y;
            }
        }
        EXPECT_GT(painted, 20);
        EXPECT_GT(gaps, 10);
    }
}

// ---- Text ------------------------------------------------------------------

Font EditorFont(Colour colour) { return Font{"Tahoma", 8, 19, false, colour}; }

TEST(CanvasContract, TextWidthGrowsWithTheTextAndTheHeightFitsTheFont) {
    Bitmap bitmap(10, 10);
    Canvas& canvas = bitmap.Canvas();
    canvas.font = EditorFont(kText);
    EXPECT_EQ(canvas.TextWidth(""), 0);
    int previous = 0;
    for (const char* text : {"T", "Te", "Tes", "Test", "Test Test", "Test Test Test"}) {
        SCOPED_TRACE(text);
        const int width = canvas.TextWidth(text);
        EXPECT_GT(width, previous);
        previous = width;
    }
    const int height = canvas.TextHeight("Test");
    EXPECT_GE(height, 19);
    EXPECT_LE(height, 30);
    canvas.font.pixelHeight = 40;
    EXPECT_GT(canvas.TextHeight("Test"), height);
    EXPECT_GT(canvas.TextWidth("Test"), canvas.TextWidth("T") * 2);
}

// Text stays in its cell (x, y, x + width, y + height); a hollow brush keeps
// the picture between the letters, a solid one paints the whole cell.
TEST(CanvasContract, TextPaintsOnlyItsCellAndAHollowBrushKeepsThePictureBetweenLetters) {
    for (PenMode mode : {PenMode::Copy, PenMode::NotXor}) {
        for (BrushStyle brush : {BrushStyle::Clear, BrushStyle::Solid}) {
            SCOPED_TRACE(std::string(mode == PenMode::Copy ? "copy" : "not-XOR") +
                         (brush == BrushStyle::Solid ? ", solid brush" : ", hollow brush"));
            Bitmap bitmap = Filled(120, 50, kBackground);
            Canvas& canvas = bitmap.Canvas();
            canvas.font = EditorFont(kText);
            canvas.pen.mode = mode;
            canvas.brush = {kBrush, brush};
            const std::string text = "Hallo Welt";
            const Rect cell = Rect::FromSize(7, 9, canvas.TextWidth(text), canvas.TextHeight(text));
            canvas.TextOutAt(cell.left, cell.top, text);
            int kept = 0, changed = 0;
            for (int y = 0; y < bitmap.Height(); ++y) {
                for (int x = 0; x < bitmap.Width(); ++x) {
                    const bool unchanged = bitmap.Pixel(x, y) == kBackground;
                    if (!cell.Contains({x, y}))
                        EXPECT_TRUE(unchanged) << x << "," << y;
                    else
                        (unchanged ? kept : changed) += 1;
                }
            }
            EXPECT_GT(changed, 50);
            if (brush == BrushStyle::Clear)
                EXPECT_GT(kept, cell.Width() * cell.Height() / 3);
            else
                EXPECT_EQ(kept, 0);
        }
    }
}

// ---- Bad input ---------------------------------------------------------------

// Far-away points, absurd widths and degenerate figures are clipped before any
// pixel is computed: quick, and the part inside the picture is right.
TEST(CanvasContract, HugeAndDegenerateFiguresAreSafeAndQuick) {
    struct Case {
        const char* name;
        int penWidth;
        BrushStyle brush;
        std::function<void(Canvas&)> draw;
        std::function<Colour(int, int)> expected;
    };
    const auto unchanged = [](int x, int y) { return PatternColour(x, y); };
    const auto allPen = [](int, int) { return kPen; };
    const auto allBrush = [](int, int) { return kBrush; };
    const Case cases[] = {
        {"line across, far ends", 1, BrushStyle::Clear, [](Canvas& c) { Line(c, {-1000000000, 6}, {1000000000, 6}); },
         [](int x, int y) { return y == 6 ? kPen : PatternColour(x, y); }},
        {"line across, extreme ends", 1, BrushStyle::Clear, [](Canvas& c) { Line(c, {INT_MIN, 9}, {INT_MAX, 9}); },
         [](int x, int y) { return y == 9 ? kPen : PatternColour(x, y); }},
        {"line far outside", 3, BrushStyle::Clear, [](Canvas& c) { Line(c, {-900000000, -5000}, {900000000, -7000}); },
         unchanged},
        {"pen a million wide", 1000000, BrushStyle::Clear, [](Canvas& c) { Line(c, {20, 15}, {21, 15}); }, allPen},
        {"widest pen, far line", INT_MAX, BrushStyle::Clear, [](Canvas& c) { Line(c, {-300000, 5}, {-200000, 5}); },
         allPen},
        {"extreme rectangle", 1, BrushStyle::Solid, [](Canvas& c) { c.Rectangle({INT_MIN, INT_MIN, INT_MAX, INT_MAX}); },
         allBrush},
        {"huge ellipse", 1, BrushStyle::Solid,
         [](Canvas& c) { c.Ellipse({-1000000000, -1000000000, 1000000000, 1000000000}); }, allBrush},
        {"huge ellipse outline", 5, BrushStyle::Clear,
         [](Canvas& c) { c.Ellipse({-1000000000, -1000000000, 1000000000, 1000000000}); }, unchanged},
        {"huge triangle", 2, BrushStyle::Solid,
         [](Canvas& c) {
             const Point corners[] = {{-2000000000, -2000000000}, {2000000000, -2000000000}, {0, 2000000000}};
             c.Polygon(corners);
         },
         allBrush},
        {"empty rectangle", 4, BrushStyle::Solid, [](Canvas& c) { c.Rectangle({10, 10, 10, 20}); }, unchanged},
        {"empty ellipse", 4, BrushStyle::Solid, [](Canvas& c) { c.Ellipse({10, 10, 30, 10}); }, unchanged},
        {"empty polygon", 4, BrushStyle::Solid, [](Canvas& c) { c.Polygon({}); }, unchanged},
        {"text far away", 1, BrushStyle::Solid, [](Canvas& c) { c.TextOutAt(INT_MAX - 10, INT_MIN, "Test"); }, unchanged},
        {"long text", 1, BrushStyle::Clear, [](Canvas& c) { c.TextOutAt(INT_MIN / 2, 5, std::string(100000, 'W')); },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap bitmap = Patterned(kWidth, kHeight);
        Canvas& canvas = bitmap.Canvas();
        canvas.pen = {kPen, c.penWidth, PenStyle::Solid, PenMode::Copy};
        canvas.brush = {kBrush, c.brush};
        canvas.font = EditorFont(kText);
        const auto start = std::chrono::steady_clock::now();
        c.draw(canvas);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        if (c.expected) {
            EXPECT_TRUE(PixelsAre(bitmap, kWidth, kHeight, c.expected));
        }
    }
}

}  // namespace
}  // namespace snapora
