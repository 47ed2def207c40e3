#include <gtest/gtest.h>

#include "imaging/Bitmap.h"

namespace snapora {

TEST(Bitmap, RowsArePaddedToFourBytesAndStartBlack) {
    Bitmap b(5, 3);
    EXPECT_EQ(b.Stride(), 16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(b.Pixel(x, y), clBlack);
}

TEST(Bitmap, PixelsAreStoredBlueGreenRed) {
    Bitmap b(2, 1);
    b.SetPixel(1, 0, MakeColour(1, 2, 3));
    EXPECT_EQ(b.Row(0)[3], 3);
    EXPECT_EQ(b.Row(0)[4], 2);
    EXPECT_EQ(b.Row(0)[5], 1);
}

TEST(Bitmap, MovedFromBitmapIsEmpty) {
    Bitmap a(4, 4);
    Bitmap b = std::move(a);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.Width(), 4);
}

}  // namespace snapora
