// The dialog's text rules: the wrap and the growth it asks of the window.
#include <gmock/gmock.h>

#include "core/failure.h"
#include "dialog/dialog_layout.h"

namespace tav {
namespace {

std::string C(char c, size_t n) { return std::string(n, c); }

// Over 68 characters without a CR: lines of less than 66 with their blank,
// two blanks after a sentence inside a line, runs of blanks kept.
TEST(DialogTextTest, WrapBreaksBeforeTheWordThatReachesSixtySix) {
    const std::string w = C('w', 9) + " ";
    const std::string a55 = C('a', 55) + " ";
    std::string umlauts;
    for (int i = 0; i < 68; ++i) umlauts += "\xC3\xA4";  // 136 bytes, 68 characters
    const std::pair<std::string, std::string> rows[] = {
        {C('a', 30) + " " + C('b', 37), ""},
        {C('a', 50) + "\r" + C('b', 100) + " " + C('c', 20), ""},
        {umlauts, ""},
        {w + w + w + w + w + w + C('w', 9), w + w + w + w + w + C('w', 9) + "\r\n" + w},
        {a55 + C('b', 9) + " " + C('c', 10), a55 + C('b', 9) + "\r\n" + C('c', 10) + " "},
        {a55 + C('b', 10) + " " + C('c', 5),
         C('a', 55) + "\r\n" + C('b', 10) + " " + C('c', 5) + " "},
        {"The installer could not be found. Please download it again. The update ends. Nothing "
         "was changed.",
         "The installer could not be found.  Please download it again.  The\r\nupdate ends.  "
         "Nothing was changed.  "},
        {C('x', 58) + ". " + C('y', 12) + ". z", C('x', 58) + ".\r\n" + C('y', 12) + ". z "},
        {C('a', 40) + "   " + C('b', 20) + " " + C('c', 10),
         C('a', 40) + "   " + C('b', 20) + "\r\n" + C('c', 10) + " "},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(WrapDialogContent(in), out.empty() ? in : out) << "wrapping: " << in;
}

// One line height (190) per line beyond two, the larger of the counted and
// the estimated (length / 38, halves to even) lines, at least 135 per break.
TEST(DialogTextTest, GrowthTakesTheLargerLineCountAndHalvesRoundToEven) {
    std::string tenLines;
    for (int i = 0; i < 10; ++i) tenLines += "line\r\n";
    const struct {
        std::string text;
        bool grows;
        int64_t first;
        int64_t minimum;
    } rows[] = {
        {C('a', 110), false, 0, 0},
        {C('a', 49) + "\r" + C('b', 50), false, 0, 0},
        {C('a', 114), true, 190, 0},
        {C('a', 66) + "\r" + C('b', 66), true, 380, 135},
        {C('a', 85) + "\r" + C('b', 85), true, 380, 135},
        {tenLines, true, 8 * 190, 10 * 135},
        {"a\r\nb\r\nc", true, 0, 270},
    };
    for (const auto& row : rows) {
        const ContentMeasure m = MeasureContent(row.text);
        EXPECT_EQ(m.grows, row.grows) << "grows or not: " << row.text;
        if (!m.grows) continue;
        EXPECT_EQ(FirstExtraHeight(m), row.first) << "first growth: " << row.text;
        EXPECT_EQ(MinimumExtraHeight(m), row.minimum) << "minimum growth: " << row.text;
    }
    EXPECT_EQ(CheckedInt16(-32768), -32768) << "the lowest 16-bit number refused";
    EXPECT_EQ(CheckedInt16(32767), 32767) << "the highest 16-bit number refused";
    EXPECT_THROW(CheckedInt16(32768), Failure) << "beyond 16 bits taken";
}

}  // namespace
}  // namespace tav
