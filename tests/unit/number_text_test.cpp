#include <gtest/gtest.h>

#include <cmath>

#include "core/failure.h"
#include "core/number_text.h"

namespace tav {
namespace {

TEST(NumberTextTest, HalvesRoundToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven32(1.5), 2);
    EXPECT_EQ(RoundHalfEven32(2.5), 2);
    EXPECT_EQ(RoundHalfEven32(-2.5), -2);
    EXPECT_EQ(RoundHalfEven32(0.4999), 0);
    EXPECT_EQ(RoundHalfEven32(1250.0), 1250);
    EXPECT_EQ(RoundHalfEven16(32767.4), 32767);
}

TEST(NumberTextTest, OutOfRangeIsTheClassicOverflow) {
    try {
        RoundHalfEven16(32767.5);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), 6);
        EXPECT_EQ(f.description(), "Overflow");
    }
    EXPECT_THROW(RoundHalfEven32(3e9), Failure);
    EXPECT_THROW(RoundHalfEven32(std::nan("")), Failure);
}

TEST(NumberTextTest, GroupedPatternWritesZeroAsNothing) {
    EXPECT_EQ(FormatGrouped(0, ","), "");
    EXPECT_EQ(FormatGrouped(7, ","), "7");
    EXPECT_EQ(FormatGrouped(999, ","), "999");
    EXPECT_EQ(FormatGrouped(1000, ","), "1,000");
    EXPECT_EQ(FormatGrouped(1250, ","), "1,250");
    EXPECT_EQ(FormatGrouped(2500000, "."), "2.500.000");
    EXPECT_EQ(FormatGrouped(1234567890, "\xC2\xA0"), "1\xC2\xA0" "234\xC2\xA0" "567\xC2\xA0" "890");
    EXPECT_EQ(FormatGrouped(-1234, ","), "-1,234");
}

}  // namespace
}  // namespace tav
