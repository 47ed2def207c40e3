// The donate button's picture: made by scripts/make-donate-picture.py and
// stored with the main window's layout in the control's Data format.

#include <gtest/gtest.h>

#include "GifTestSupport.h"
#include "ProgramFixture.h"
#include "resources/MainFormDonateButton.h"

namespace snapora {

using DonateButton = ProgramTest;

TEST_F(DonateButton, LoadsFromTheMainWindowsLayout) {
    TGIFImage& button = Main().DonateButton;
    const std::string stored(reinterpret_cast<const char*>(kMainFormDonateButtonData),
                             sizeof kMainFormDonateButtonData);
    EXPECT_EQ(button.WriteData(), stored);
    EXPECT_EQ(button.Version(), gvGIF89a);
    EXPECT_EQ(button.LogicalWidth(), 88);
    EXPECT_EQ(button.LogicalHeight(), 23);
    ASSERT_EQ(button.FrameCount(), 1);
    const TGIFFrame& frame = button.Frame(1);
    EXPECT_TRUE(frame.transparent);
    EXPECT_EQ(frame.transparentIndex, 255);
    EXPECT_EQ(frame.delay, 10000);
    EXPECT_EQ(frame.disposal, 0);
    EXPECT_FALSE(frame.hasLocalTable);
    EXPECT_EQ(frame.image.palette.size(), 256u);  // the global table's 256 entries
    ASSERT_FALSE(button.MaskBitmap().IsEmpty());
    EXPECT_TRUE(button.MaskBitmap().Get(0, 0));     // the rounded corner shows what is behind
    EXPECT_FALSE(button.MaskBitmap().Get(44, 11));  // the middle is painted
    EXPECT_EQ(button.LastError(), 0);

    // Not animated: switching animation on starts no timer.
    button.SetAnimate(true);
    EXPECT_EQ(button.AnimationTimer(), nullptr);
    button.SetAnimate(false);
}

TEST_F(DonateButton, OpensThePageOnlyWhileShown) {
    Main().DonateButton.Click();
    ASSERT_EQ(fake.shell.opened.size(), 1u);
    EXPECT_EQ(fake.shell.opened[0].address, "http://127.0.0.1:18080/spenden.htm");
    Main().DonateButton.SetVisible(false);  // the settings hide it
    Main().DonateButton.Click();
    EXPECT_EQ(fake.shell.opened.size(), 1u);
}

}  // namespace snapora
