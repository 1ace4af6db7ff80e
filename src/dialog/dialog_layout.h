// The dialog's text rules: how a long body text is broken into lines and
// how much taller the window grows for it. Sizes are twips.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// Characters as the user counts them (code points of the UTF-8 text).
int32_t TextLength(std::string_view text);

// The body text as the dialog shows it. A text longer than 68 characters
// without carriage returns is broken at blanks into lines of less than 66
// characters joined by CR LF; a word ending in "." inside a line is followed
// by two blanks. Other texts come back unchanged.
std::string WrapDialogContent(const std::string& content);

// Words the wrap sees in content (runs of blanks give empty words).
int64_t WordCount(const std::string& content);

// What the growth rule reads from the shown body text.
struct ContentMeasure {
    int32_t lineBreaks = 0;  // carriage returns
    int32_t length = 0;      // characters
    int32_t rounded = 0;     // length / 38, halves to the even neighbour
    bool grows = false;      // the window must grow for this text
};

ContentMeasure MeasureContent(const std::string& content);

// The twips the window grows by before the 16-bit limit is applied: one
// line height (190) per line beyond two, taking the larger of the counted
// and the estimated lines, and at least 135 per line break.
int64_t FirstExtraHeight(const ContentMeasure& m);
int64_t MinimumExtraHeight(const ContentMeasure& m);

// value as a 16-bit signed number; throws Failure 6 (Overflow) when it
// does not fit.
int16_t CheckedInt16(int64_t value);

}  // namespace tav
