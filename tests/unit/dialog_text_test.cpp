// How the dialog breaks a long body text into lines and how much it grows for it.
#include <gtest/gtest.h>

#include <string>

#include "dialog/dialog_layout.h"
#include "platform/failure.h"

namespace tav {
namespace {

std::string C(char c, size_t n) { return std::string(n, c); }

TEST(DialogTextTest, WrapBreaksBeforeTheWordThatReachesSixtySix) {
    const std::string w = C('w', 9), a55 = C('a', 55);
    std::string umlauts;
    for (int i = 0; i < 68; ++i) umlauts += "\xC3\xA4";  // 136 bytes, 68 characters
    const struct {
        std::string in, out;
    } cases[] = {
        {C('a', 30) + " " + C('b', 37), ""},  // 68: unchanged
        {C('a', 50) + "\r" + C('b', 100) + " " + C('c', 20), ""},
        {umlauts, ""},
        {w + " " + w + " " + w + " " + w + " " + w + " " + w + " " + w,
         w + " " + w + " " + w + " " + w + " " + w + " " + w + "\r\n" + w + " "},
        {a55 + " " + C('b', 9) + " " + C('c', 10), a55 + " " + C('b', 9) + "\r\n" + C('c', 10) + " "},
        {a55 + " " + C('b', 10) + " " + C('c', 5), a55 + "\r\n" + C('b', 10) + " " + C('c', 5) + " "},
        {"The installer could not be found. Please download it again. The update ends. Nothing was changed.",
         "The installer could not be found.  Please download it again.  The\r\n"
         "update ends.  Nothing was changed.  "},
        {C('x', 58) + ". " + C('y', 12) + ". z", C('x', 58) + ".\r\n" + C('y', 12) + ". z "},
        {C('a', 40) + "   " + C('b', 20) + " " + C('c', 10), C('a', 40) + "   " + C('b', 20) + "\r\n" + C('c', 10) + " "},
    };
    for (const auto& c : cases) EXPECT_EQ(WrapDialogContent(c.in), c.out.empty() ? c.in : c.out) << c.in;
}

TEST(DialogTextTest, GrowthTakesTheLargerLineCountAndHalvesRoundToEven) {
    std::string tenLines;
    for (int i = 0; i < 10; ++i) tenLines += "line\r\n";
    const struct {
        std::string text;
        bool grows;
        int64_t first, minimum;
    } cases[] = {
        {C('a', 110), false, 0, 0},  // three lines estimated, but short
        {C('a', 49) + "\r" + C('b', 50), false, 0, 135},
        {C('a', 114), true, 190, 0},
        {C('a', 66) + "\r" + C('b', 66), true, 380, 135},  // 133 / 38 = 3.5 -> 4
        {C('a', 85) + "\r" + C('b', 85), true, 380, 135},  // 171 / 38 = 4.5 -> 4
        {tenLines, true, 8 * 190, 10 * 135},
        {"a\r\nb\r\nc", true, 0, 270},
    };
    for (const auto& c : cases) {
        const ContentMeasure m = MeasureContent(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(m.grows, c.grows);
        if (!c.grows) continue;
        EXPECT_EQ(FirstExtraHeight(m), c.first);
        EXPECT_EQ(MinimumExtraHeight(m), c.minimum);
    }
    EXPECT_EQ(CheckedInt16(-32768), -32768);
    EXPECT_EQ(CheckedInt16(32767), 32767);
    EXPECT_THROW(CheckedInt16(32768), Failure);
}

}  // namespace
}  // namespace tav
