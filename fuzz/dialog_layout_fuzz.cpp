// The dialog's wrap and growth on any body text: the wrap only ever turns
// blanks into line breaks and adds blanks, never loses or reorders a
// character, and the growth rule either fits 16 bits or says Overflow.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dialog/dialog_layout.h"
#include "core/failure.h"

namespace {

std::string Visible(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\r' && c != '\n') out += c;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    const std::string shown = tav::WrapDialogContent(content);
    if (Visible(shown) != Visible(content)) __builtin_trap();
    (void)tav::WordCount(content);
    const tav::ContentMeasure m = tav::MeasureContent(shown);
    if (m.length < 0 || m.lineBreaks < 0) __builtin_trap();
    try {
        (void)tav::CheckedInt16(tav::FirstExtraHeight(m));
        (void)tav::CheckedInt16(tav::MinimumExtraHeight(m));
    } catch (const tav::Failure& f) {
        if (f.number() != 6) __builtin_trap();
    }
    return 0;
}
