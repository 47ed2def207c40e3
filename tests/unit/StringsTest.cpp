#include <gtest/gtest.h>

#include "base/Rounding.h"
#include "base/Strings.h"

namespace snapora {

TEST(Strings, TextBeforeAndAfterSplitAtTheFirstSeparator) {
    EXPECT_EQ(TextBefore("ok|4.2|http://x", "|"), "ok");
    EXPECT_EQ(TextAfter("ok|4.2|http://x", "|"), "4.2|http://x");
    EXPECT_EQ(TextBefore("no separator", "|"), "no separator");
    EXPECT_EQ(TextAfter("no separator", "|"), "");
    EXPECT_EQ(TextAfter("ok  name", " "), " name");
}

TEST(Strings, StartsWithIsExactAndFalseForShortText) {
    EXPECT_TRUE(StartsWith("http://a", "http://"));
    EXPECT_FALSE(StartsWith("HTTP://a", "http://"));
    EXPECT_FALSE(StartsWith("http:", "http://"));
}

TEST(Strings, LowerCaseCoversWindows1252Capitals) {
    EXPECT_EQ(LowerCase1252("ÄÖÜ ABC ß ÀÞ Š Œ Ž Ÿ"), "äöü abc ß àþ š œ ž ÿ");
    EXPECT_EQ(LowerCase1252("\xD7"), "\xD7");  // the multiplication sign has no lower case
    EXPECT_EQ(LowerCase1252("MINIMIZED"), "minimized");
}

TEST(Strings, TrimControlsStripsBlanksAndControlBytes) {
    EXPECT_EQ(TrimControls(" \t\r\n name \x01"), "name");
    EXPECT_EQ(TrimControls("   "), "");
}

TEST(Rounding, HalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
}

}  // namespace snapora
