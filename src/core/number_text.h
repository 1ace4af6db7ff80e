// Number formatting and rounding as the classic run-time did them.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

// Whole number nearest to value, halves to the even neighbour (2.5 -> 2).
// Throws Failure 6 (Overflow) when the result does not fit in 32 bits, and
// for NaN.
int32_t RoundHalfEven32(double value);

// Like RoundHalfEven32 for a 16-bit target.
int16_t RoundHalfEven16(double value);

// The pattern "#,###,###": digits grouped by thousands with separator,
// 0 written as nothing, a minus sign before negative numbers.
std::string FormatGrouped(int64_t value, const std::string& separator);

}  // namespace tav
