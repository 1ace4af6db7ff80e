#include <gtest/gtest.h>

#include <cmath>

#include "platform/failure.h"
#include "platform/number_text.h"

namespace tav {
namespace {

TEST(NumberTextTest, HalvesRoundToEvenOverflowIsClassicAndZeroGroupsToNothing) {
    EXPECT_EQ(RoundHalfEven32(1.5), 2);
    EXPECT_EQ(RoundHalfEven32(2.5), 2);
    EXPECT_EQ(RoundHalfEven32(-2.5), -2);
    EXPECT_EQ(RoundHalfEven16(32767.4), 32767);
    for (double bad : {3e9, std::nan("")}) EXPECT_THROW(RoundHalfEven32(bad), Failure);
    try {
        RoundHalfEven16(32767.5);
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), 6);
        EXPECT_EQ(f.description(), "Overflow");
    }
    EXPECT_EQ(FormatGrouped(0, ","), "");
    EXPECT_EQ(FormatGrouped(999, ","), "999");
    EXPECT_EQ(FormatGrouped(-1234, ","), "-1,234");
    EXPECT_EQ(FormatGrouped(1234567890, "\xC2\xA0"), "1\xC2\xA0" "234\xC2\xA0" "567\xC2\xA0" "890");
}

}  // namespace
}  // namespace tav
