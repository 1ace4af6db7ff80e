#include "core/number_text.h"

#include <cmath>

#include "core/failure.h"

namespace tav {

namespace {
double HalfEven(double value) {
    if (std::isnan(value)) throw err::Make(err::kOverflow);
    // nearbyint honours the default rounding mode: to nearest, ties to even.
    return std::nearbyint(value);
}
}  // namespace

int32_t RoundHalfEven32(double value) {
    const double r = HalfEven(value);
    if (r < -2147483648.0 || r > 2147483647.0) throw err::Make(err::kOverflow);
    return static_cast<int32_t>(r);
}

int16_t RoundHalfEven16(double value) {
    const double r = HalfEven(value);
    if (r < -32768.0 || r > 32767.0) throw err::Make(err::kOverflow);
    return static_cast<int16_t>(r);
}

std::string FormatGrouped(int64_t value, const std::string& separator) {
    if (value == 0) return {};
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i != 0 && (n - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

}  // namespace tav
