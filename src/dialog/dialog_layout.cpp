#include "dialog/dialog_layout.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "core/failure.h"
#include "core/number_text.h"

namespace tav {

namespace {
constexpr int32_t kNoWrapUpTo = 68;
constexpr int32_t kLineLimit = 66;
constexpr int32_t kCharsPerLine = 38;
constexpr int64_t kLineHeight = 190;
constexpr int64_t kMinimumPerBreak = 135;

std::string TrimBlanks(std::string_view s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}
}  // namespace

int32_t TextLength(std::string_view text) {
    int64_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return static_cast<int32_t>(std::min<int64_t>(n, std::numeric_limits<int32_t>::max()));
}

std::string WrapDialogContent(const std::string& content) {
    if (content.find('\r') != std::string::npos || TextLength(content) <= kNoWrapUpTo) {
        return content;
    }
    std::string out;
    std::string line;
    int32_t lineLength = 0;
    size_t start = 0;
    for (;;) {
        const size_t blank = content.find(' ', start);
        const std::string_view word(content.data() + start,
                                    (blank == std::string::npos ? content.size() : blank) - start);
        const int32_t wordLength = TextLength(word);
        if (lineLength + wordLength < kLineLimit) {
            line.append(word);
            line += ' ';
            lineLength += wordLength + 1;
            if (!word.empty() && word.back() == '.') {
                line += ' ';
                ++lineLength;
            }
        } else {
            out += TrimBlanks(line);
            out += "\r\n";
            // A word that opens a line gets one blank, even after a ".".
            line.assign(word);
            line += ' ';
            lineLength = wordLength + 1;
        }
        if (blank == std::string::npos) break;
        start = blank + 1;
    }
    out += line;
    return out;
}

int64_t WordCount(const std::string& content) {
    return 1 + std::count(content.begin(), content.end(), ' ');
}

ContentMeasure MeasureContent(const std::string& content) {
    ContentMeasure m;
    m.lineBreaks = static_cast<int32_t>(std::count(content.begin(), content.end(), '\r'));
    m.length = TextLength(content);
    m.rounded = RoundHalfEven32(static_cast<double>(m.length) / kCharsPerLine);
    m.grows = m.lineBreaks > 1 || (m.length > 110 && m.rounded > 2);
    return m;
}

int64_t FirstExtraHeight(const ContentMeasure& m) {
    const int64_t lines = m.lineBreaks > m.rounded ? m.lineBreaks : m.rounded;
    return (lines - 2) * kLineHeight;
}

int64_t MinimumExtraHeight(const ContentMeasure& m) {
    return static_cast<int64_t>(m.lineBreaks) * kMinimumPerBreak;
}

int16_t CheckedInt16(int64_t value) {
    if (value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
        throw err::Make(err::kOverflow);
    }
    return static_cast<int16_t>(value);
}

}  // namespace tav
