// The editor's pictures load from the executable's resources; this test
// program is linked with the program's resource script for that.

#include <gtest/gtest.h>

#include <windows.h>

#include "imaging/BmpFile.h"
#include "platform/win32/Win32Process.h"

namespace snapora {
namespace {

TEST(Win32Resources, PenCursorLoadsWithItsHotSpotAtTheTip) {
    HCURSOR cursor = LoadProgramCursor("Pen");
    ASSERT_NE(cursor, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 12u);
    EXPECT_EQ(info.yHotspot, 23u);
    BITMAP mask{};
    ASSERT_TRUE(GetObjectW(info.hbmMask, sizeof mask, &mask));
    EXPECT_EQ(mask.bmWidth, 32);
    EXPECT_EQ(mask.bmHeight, info.hbmColor ? 32 : 64);  // black-and-white: mask and colour bits stacked
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);

    EXPECT_EQ(LoadProgramCursor("NoSuchCursor"), nullptr);
    EXPECT_EQ(LoadProgramCursor(""), nullptr);
}

TEST(Win32Resources, ToolbarStripLoadsAsOnePictureOfTenButtons) {
    Win32Process process;
    const Bitmap strip = ReadBmp(process.ProgramResource("TOOLBUTTONS"));
    EXPECT_EQ(strip.Width(), 160);
    EXPECT_EQ(strip.Height(), 16);
    EXPECT_EQ(strip.Pixel(0, 0), MakeColour(255, 0, 255));  // the transparent colour
}

}  // namespace
}  // namespace snapora
