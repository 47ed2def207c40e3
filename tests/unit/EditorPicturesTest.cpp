// The BMP reader and the editor's pictures as scripts/make-editor-resources.py writes them.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "imaging/BmpFile.h"

namespace snapora {
namespace {

constexpr Colour kToolbarMask = MakeColour(255, 0, 255);

std::string ResourceFile(const char* name) {
    std::ifstream in(std::string(SNAPORA_RESOURCE_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put16(std::string& out, unsigned v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
void Put32(std::string& out, unsigned v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }

// A BMP file whose pixel (x, y) has red x, green y and blue 7, rows padded to four bytes.
std::string BmpFile(int width, int height, bool topDown, int bitsPerPixel = 24, int compression = 0) {
    const int stride = (width * 3 + 3) & ~3;
    std::string pixels;
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) pixels += {char(7), char(y), char(x)};
        pixels.append(size_t(stride - width * 3), '\0');
    }
    std::string file = "BM";
    Put32(file, unsigned(54 + pixels.size()));
    Put32(file, 0);
    Put32(file, 54);
    Put32(file, 40);
    Put32(file, unsigned(width));
    Put32(file, unsigned(topDown ? -height : height));
    Put16(file, 1);
    Put16(file, unsigned(bitsPerPixel));
    Put32(file, unsigned(compression));
    for (int i = 0; i < 5; ++i) Put32(file, 0);
    return file + pixels;
}

TEST(BmpFile, ReadsUncompressed24BitPicturesEitherWayUp) {
    struct Case {
        const char* name;
        int width, height;
        bool topDown;
    };
    const Case cases[] = {{"bottom-up, padded rows", 5, 3, false}, {"top-down", 3, 4, true}, {"one pixel", 1, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bitmap picture = ReadBmp(BmpFile(c.width, c.height, c.topDown));
        ASSERT_EQ(picture.Width(), c.width);
        ASSERT_EQ(picture.Height(), c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) EXPECT_EQ(picture.Pixel(x, y), MakeColour(std::uint8_t(x), std::uint8_t(y), 7));
    }
}

TEST(BmpFile, AnythingElseGivesAnEmptyPicture) {
    std::string wrongMagic = BmpFile(2, 2, false);
    wrongMagic[0] = 'X';
    std::string hugeWidth = BmpFile(1, 1, false);
    hugeWidth[18] = hugeWidth[19] = hugeWidth[20] = char(0xFF), hugeWidth[21] = 0x7F;
    std::string pixelsBeyondTheEnd = BmpFile(2, 2, false);
    pixelsBeyondTheEnd[10] = char(0xF0);
    const std::pair<const char*, std::string> cases[] = {
        {"nothing", ""},
        {"only the file header", BmpFile(2, 2, false).substr(0, 14)},
        {"pixels cut short", BmpFile(4, 4, false).substr(0, 54 + 40)},
        {"8 bits per pixel", BmpFile(2, 2, false, 8)},
        {"32 bits per pixel", BmpFile(2, 2, false, 32)},
        {"run-length compressed", BmpFile(2, 2, false, 24, 1)},
        {"zero width", BmpFile(0, 2, false)},
        {"zero height", BmpFile(2, 0, false)},
        {"not a BMP", wrongMagic},
        {"absurd width", hugeWidth},
        {"pixels said to start beyond the end", pixelsBeyondTheEnd},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(ReadBmp(file).IsEmpty());
    }
}

// Ten distinct 16 by 16 pictures, each with transparent and drawn pixels.
TEST(EditorPictures, ToolbarStripHoldsTenDistinctPicturesOnTheMaskColour) {
    const Bitmap strip = ReadBmp(ResourceFile("toolbar.bmp"));
    ASSERT_EQ(strip.Width(), 160);
    ASSERT_EQ(strip.Height(), 16);
    std::set<std::vector<Colour>> pictures;
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        std::vector<Colour> pixels;
        int transparent = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) pixels.push_back(strip.Pixel(16 * i + x, y)), transparent += pixels.back() == kToolbarMask;
        EXPECT_GT(transparent, 64);
        EXPECT_GT(256 - transparent, 20);
        pictures.insert(pixels);
    }
    EXPECT_EQ(pictures.size(), 10u);
}

// A 32 by 32 black-and-white cursor whose hot spot (12, 23) is a drawn pixel.
TEST(EditorPictures, PenCursorIs32By32WithItsHotSpotOnThePen) {
    const std::string cur = ResourceFile("pen.cur");
    ASSERT_EQ(cur.size(), 6u + 16u + 40u + 8u + 128u + 128u);
    auto u8 = [&](size_t at) { return unsigned(std::uint8_t(cur[at])); };
    auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
    EXPECT_EQ(u16(2), 2u);  // a cursor
    EXPECT_EQ(u16(4), 1u);  // one image
    EXPECT_EQ(u8(6), 32u);
    EXPECT_EQ(u8(7), 32u);
    EXPECT_EQ(u16(10), 12u);
    EXPECT_EQ(u16(12), 23u);
    EXPECT_EQ(u16(22 + 14), 1u);  // bits per pixel
    // The mask follows the colour bits, rows bottom-up, 4 bytes each; a clear bit is drawn.
    const size_t mask = 22 + 40 + 8 + 128;
    auto transparent = [&](int x, int y) { return (u8(mask + size_t(31 - y) * 4 + size_t(x / 8)) >> (7 - x % 8)) & 1; };
    EXPECT_EQ(transparent(12, 23), 0u);
    EXPECT_EQ(transparent(0, 0), 1u);
}

}  // namespace
}  // namespace snapora
