// Where a file is heading, judged by its rows' share of the picture's detail
// rather than of its height: the two agree on an even picture and part where
// the detail is lopsided.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "imaging/Bitmap.h"
#include "upload/SizeProjection.h"

namespace snapora {

namespace {

// Noise from `busyFrom` to `busyTo` (rows), one flat grey everywhere else.
Bitmap Busy(int width, int height, int busyFrom, int busyTo) {
    Bitmap picture(width, height);
    std::uint32_t state = 11;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int i = 0; i < 3 * width; ++i) {
            state = state * 1664525u + 1013904223u;
            row[i] = y >= busyFrom && y < busyTo ? std::uint8_t(state >> 24) : 128;
        }
    }
    return picture;
}

}  // namespace

TEST(SizeProjection, FollowsTheDetailRatherThanTheHeight) {
    constexpr int W = 320, H = 480;
    constexpr std::size_t Bytes = 10000;
    struct Case {
        std::string name;
        int busyFrom, busyTo;
        int rows;
        double low, high;  // the projection, in files by height (Bytes * H / rows)
    };
    const Case cases[] = {
        {"even: as by height", 0, H, 96, 0.9, 1.1},
        {"busy top done: a little more than the bytes so far", 0, 96, 96, 0.2, 0.3},
        {"half of a busy top: twice the bytes so far", 0, 192, 96, 0.38, 0.45},
        {"flat top, the first busy rows done: far more than by height", 240, H, 256, 4.0, 8.0},
        {"flat top, nothing busy yet: says too little, so by height", 240, H, 96, 0.99, 1.01},
        {"all the rows: the bytes themselves", 0, 200, H, 0.99, 1.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bitmap picture = Busy(W, H, c.busyFrom, c.busyTo);
        SizeProjection projection(picture);
        const double byHeight = double(Bytes) * H / c.rows;
        const double projected = projection.Projected(c.rows, Bytes);
        EXPECT_GE(projected / byHeight, c.low);
        EXPECT_LE(projected / byHeight, c.high);
        EXPECT_EQ(projection.Projected(c.rows, Bytes), projected) << "the map is made once";
    }
}

TEST(SizeProjection, TinyAndEmptyPicturesAreSafe) {
    const Bitmap one = Busy(1, 1, 0, 1);
    SizeProjection projection(one);
    EXPECT_DOUBLE_EQ(projection.Projected(1, 500), 500);
    EXPECT_EQ(projection.Projected(0, 500), 0);
    const Bitmap none;
    SizeProjection nothing(none);
    EXPECT_EQ(nothing.Projected(16, 500), 0);
}

}  // namespace snapora
