#include <gmock/gmock.h>

#include <cmath>

#include "core/failure.h"
#include "core/number_text.h"

namespace tav {
namespace {

// Out of range is the classic overflow (6), as the dialog's log shows.
TEST(NumberTextTest, HalvesRoundToEvenAndOutOfRangeFails) {
    for (const auto& [value, rounded] :
         {std::pair{1.5, 2}, std::pair{2.5, 2}, std::pair{-2.5, -2}, std::pair{32767.4, 32767}}) {
        EXPECT_EQ(RoundHalfEven32(value), rounded) << value;
        EXPECT_EQ(RoundHalfEven16(value), rounded) << value;
    }
    for (double bad : {3e9, std::nan("")}) EXPECT_THROW(RoundHalfEven32(bad), Failure) << bad;
    EXPECT_THROW(RoundHalfEven16(32767.5), Failure) << "beyond 16 bits";
}

}  // namespace
}  // namespace tav
