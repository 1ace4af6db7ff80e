#include <gmock/gmock.h>

#include "core/failure.h"
#include "dialog/dialog_style.h"

namespace tav {
namespace {

// The shipped style is shown on the Windows tier.
TEST(DialogStyleTest, ColoursAreStoredBlueGreenRedStatesInheritAndDamageIsRefused) {
    const DialogStyle s = ParseDialogStyle(
        "; comment\n[buttonbar]\r\n  GRADIENTTOP = #102030 \r\nUnknown=x\r\n[Button]\n"
        "Text=#ABCDEF\nBorder=#010203\n[Button.Hot]\nText=#000000\n[Later.Section]\nKey=1\n");
    EXPECT_EQ(s.bar.top, 0x302010u) << "not blue-green-red";
    EXPECT_EQ(s.hot.text, 0u) << "a state's own colour not taken";
    EXPECT_EQ(s.hot.border, 0x030201u) << "not inherited";
    EXPECT_EQ(s.pressed.text, 0xEFCDABu) << "not inherited";
    EXPECT_EQ(s.defaultBorder, 0x030201u) << "the default frame";
    const std::pair<std::string, int32_t> damaged[] = {
        {"[ButtonBar]\nGradientTop=#12345\n[Button]\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nText=#GGGGGG\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nCornerRadius=99\n", err::kTypeMismatch},
        {"[Button]\nText=#FFFFFF\n", err::kInvalidCall},
        {std::string("MZ\x90\0\x03", 5), err::kInvalidCall},
    };
    for (const auto& [ini, number] : damaged) {
        try {
            ParseDialogStyle(ini);
            ADD_FAILURE() << "damage taken: " << ini;
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), number) << "damage refused with another number: " << ini;
        }
    }
}

}  // namespace
}  // namespace tav
