// How the dialog breaks a long body text into lines and how much taller it
// grows for it.
#include <gtest/gtest.h>

#include <string>

#include "dialog/dialog_layout.h"
#include "core/failure.h"

namespace tav {
namespace {

std::string Chars(char c, size_t n) { return std::string(n, c); }

TEST(DialogWrapTest, ShortTextsAndTextsWithLineBreaksStayAsTheyAre) {
    const std::string sixtyEight = Chars('a', 30) + " " + Chars('b', 37);
    ASSERT_EQ(sixtyEight.size(), 68u);
    EXPECT_EQ(WrapDialogContent(sixtyEight), sixtyEight);

    const std::string withReturn = Chars('a', 50) + "\r" + Chars('b', 100) + " " + Chars('c', 20);
    EXPECT_EQ(WrapDialogContent(withReturn), withReturn);

    // Length counts characters: 68 umlauts are 136 bytes but one short line.
    std::string umlauts;
    for (int i = 0; i < 68; ++i) umlauts += "\xC3\xA4";
    EXPECT_EQ(TextLength(umlauts), 68);
    EXPECT_EQ(WrapDialogContent(umlauts), umlauts);
}

TEST(DialogWrapTest, SixtyNineCharactersBreakBeforeTheWordThatReachesSixtySix) {
    const std::string w = Chars('w', 9);
    const std::string text = w + " " + w + " " + w + " " + w + " " + w + " " + w + " " + w;
    ASSERT_EQ(text.size(), 69u);
    // Six words make a line of 60 with its blank; the seventh would reach 69.
    EXPECT_EQ(WrapDialogContent(text),
              w + " " + w + " " + w + " " + w + " " + w + " " + w + "\r\n" + w + " ");
}

TEST(DialogWrapTest, TheLimitIsLessThanSixtySixWithTheLinesTrailingBlank) {
    const std::string first = Chars('a', 55);  // the line holds 56 after it
    EXPECT_EQ(WrapDialogContent(first + " " + Chars('b', 9) + " " + Chars('c', 10)),
              first + " " + Chars('b', 9) + "\r\n" + Chars('c', 10) + " ");
    EXPECT_EQ(WrapDialogContent(first + " " + Chars('b', 10) + " " + Chars('c', 5)),
              first + "\r\n" + Chars('b', 10) + " " + Chars('c', 5) + " ");
}

TEST(DialogWrapTest, SentenceEndsGetTwoBlanksExceptWhereTheyOpenALine) {
    const std::string text =
        "The installer could not be found. Please download it again. The update "
        "ends. Nothing was changed.";
    EXPECT_EQ(WrapDialogContent(text),
              "The installer could not be found.  Please download it again.  The\r\n"
              "update ends.  Nothing was changed.  ");

    // The break trims both ends of the finished line, blanks after "." too.
    const std::string atBreak = Chars('x', 58) + ". " + Chars('y', 12) + ". z";
    EXPECT_EQ(WrapDialogContent(atBreak), Chars('x', 58) + ".\r\n" + Chars('y', 12) + ". z ");
}

TEST(DialogWrapTest, RunsOfBlanksAreKeptAsEmptyWords) {
    const std::string text = Chars('a', 40) + "   " + Chars('b', 20) + " " + Chars('c', 10);
    EXPECT_EQ(WrapDialogContent(text), Chars('a', 40) + "   " + Chars('b', 20) + "\r\n" + Chars('c', 10) + " ");
}

TEST(DialogGrowthTest, ShortTextsAndOneLineBreakKeepTheSize) {
    EXPECT_FALSE(MeasureContent(Chars('a', 60)).grows);
    EXPECT_FALSE(MeasureContent(Chars('a', 110)).grows);  // three lines estimated, but short
    const ContentMeasure one = MeasureContent(Chars('a', 49) + "\r" + Chars('b', 50));
    EXPECT_EQ(one.lineBreaks, 1);
    EXPECT_EQ(one.length, 100);
    EXPECT_FALSE(one.grows);
}

TEST(DialogGrowthTest, LineEstimateRoundsHalvesToTheEvenNeighbour) {
    // 133 / 38 = 3.5 -> 4; 171 / 38 = 4.5 -> 4; 114 / 38 = 3.
    const ContentMeasure a = MeasureContent(Chars('a', 66) + "\r" + Chars('b', 66));
    EXPECT_EQ(a.rounded, 4);
    EXPECT_EQ(FirstExtraHeight(a), 380);
    const ContentMeasure b = MeasureContent(Chars('a', 85) + "\r" + Chars('b', 85));
    EXPECT_EQ(b.rounded, 4);
    EXPECT_EQ(FirstExtraHeight(b), 380);
    const ContentMeasure c = MeasureContent(Chars('a', 114));
    ASSERT_TRUE(c.grows);
    EXPECT_EQ(FirstExtraHeight(c), 190);
}

TEST(DialogGrowthTest, CountedLinesWinOverTheEstimateAndBreaksHaveAMinimum) {
    std::string manyShort;
    for (int i = 0; i < 10; ++i) manyShort += "line\r\n";
    const ContentMeasure m = MeasureContent(manyShort);
    EXPECT_EQ(m.lineBreaks, 10);
    EXPECT_EQ(FirstExtraHeight(m), 8 * 190);
    // Two breaks in a short text: no line beyond two, but 2 x 135 at least.
    const ContentMeasure two = MeasureContent("a\r\nb\r\nc");
    ASSERT_TRUE(two.grows);
    EXPECT_EQ(FirstExtraHeight(two), 0);
    EXPECT_EQ(MinimumExtraHeight(two), 270);
}

TEST(DialogGrowthTest, SixteenBitLimit) {
    EXPECT_EQ(CheckedInt16(32767), 32767);
    EXPECT_EQ(CheckedInt16(-32768), -32768);
    try {
        CheckedInt16(32870);  // (175 - 2) x 190
        FAIL() << "no overflow";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::kOverflow);
    }
}

}  // namespace
}  // namespace tav
