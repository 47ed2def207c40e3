// The donate button's picture: the program's own GIF, and what bad data does.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ProgramFixture.h"
#include "gif/GIFImage.h"
#include "gif/GifDecoder.h"

namespace snapora {

namespace {
std::string DonateGif() {
    std::ifstream in(SNAPORA_RESOURCE_DIR "/donate.gif", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

TEST(DonatePicture, LoadsAsOneTransparentFrame) {
    std::string bytes = DonateGif();
    ASSERT_FALSE(bytes.empty());
    auto result = LoadGif(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.picture.frames.size(), 1u);  // not animated: no timer would run
    EXPECT_TRUE(result.picture.anyTransparent);

    TGIFImage image(nullptr, "DonateButton");
    EXPECT_TRUE(image.LoadFromData(bytes));
    EXPECT_EQ(image.Frame.Width(), 88);
    EXPECT_EQ(image.Frame.Height(), 23);
    ASSERT_EQ(image.Mask.size(), 88u * 23u);
    EXPECT_EQ(image.Mask[0], 1);                // the rounded corner shows what is behind
    EXPECT_EQ(image.Mask[11 * 88 + 44], 0);     // the middle is painted
    EXPECT_EQ(image.LastError(), 0);
}

TEST(DonatePicture, BadDataLeavesTheControlEmpty) {
    TGIFImage image(nullptr, "DonateButton");
    image.LoadFromData(DonateGif());
    struct Case {
        std::string bytes;
        int error;
    } cases[] = {{"", 2}, {"gif89a", 3}, {"GIF89a\x01", 3}};
    for (const Case& c : cases) {
        EXPECT_FALSE(image.LoadFromData(c.bytes));
        EXPECT_TRUE(image.Empty());
        EXPECT_EQ(image.LastError(), c.error);
    }
}

TEST(DonatePicture, HugeFramesStayWithinTheBudget) {
    // A tiny file may claim frames of 16384 x 16384; together they must not
    // be allocated without bound.
    std::string gif = std::string("GIF89a") + std::string("\x01\x00\x01\x00\x00\x00\x00", 7);
    for (int i = 0; i < 4; ++i)
        gif += std::string("\x2C\x00\x00\x00\x00\x00\x40\x00\x40\x00", 10) + std::string("\x02\x01\x05\x00", 4);
    gif += "\x3B";
    auto result = LoadGif(std::span(reinterpret_cast<const std::uint8_t*>(gif.data()), gif.size()));
    EXPECT_TRUE(result.ok);
    EXPECT_LE(result.picture.frames.size(), 1u);
}

using DonateButton = UnstartedProgramTest;

TEST_F(DonateButton, MainWindowShowsTheProgramsPicture) {
    fake.process.resources["DONATE"] = DonateGif();
    Start();
    EXPECT_EQ(Main().DonateButton.Frame.Width(), 88);
    fake.process.resources.clear();
}

TEST_F(DonateButton, MissingPictureLeavesAnEmptyButton) {
    Start();
    EXPECT_TRUE(Main().DonateButton.Empty());
    Main().DonateButton.Click();  // still opens the page
    EXPECT_EQ(fake.shell.opened.size(), 1u);
}

}  // namespace snapora
