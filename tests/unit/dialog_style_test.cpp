// The dialog style: the file the program ships and the rules for reading one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dialog/dialog_style.h"
#include "platform/failure.h"

namespace tav {
namespace {

int Brightness(uint32_t bgr) { return static_cast<int>((bgr & 0xFF) + ((bgr >> 8) & 0xFF) + (bgr >> 16)) / 3; }

TEST(DialogStyleTest, ShippedStyleIsDarkWithLightTextAndALightHover) {
    const std::string here = __FILE__;
    std::ifstream in(here.substr(0, here.find_last_of("/\\")) + "/../../src/resources/Office2007Black.ini");
    std::ostringstream text;
    text << in.rdbuf();
    const DialogStyle s = ParseDialogStyle(text.str());
    EXPECT_LT(Brightness(s.bar.top), 100);
    EXPECT_GT(Brightness(s.normal.text), 200);
    EXPECT_GT(Brightness(s.hot.fill.top), Brightness(s.normal.fill.top));
    EXPECT_NE(s.defaultBorder, s.normal.border);
}

TEST(DialogStyleTest, ColoursAreStoredBlueGreenRedStatesInheritAndDamageIsRefused) {
    const DialogStyle s = ParseDialogStyle(
        "; comment\n[buttonbar]\r\n  GRADIENTTOP = #102030 \r\nUnknown=x\r\n[Button]\nText=#ABCDEF\n"
        "Border=#010203\n[Button.Hot]\nText=#000000\n[Later.Section]\nKey=1\n");
    EXPECT_EQ(s.bar.top, 0x302010u);
    EXPECT_EQ(s.normal.text, 0xEFCDABu);
    EXPECT_EQ(s.hot.text, 0u);
    EXPECT_EQ(s.hot.border, 0x030201u);
    EXPECT_EQ(s.pressed.text, 0xEFCDABu);
    EXPECT_EQ(s.defaultBorder, 0x030201u);
    const std::pair<std::string, int32_t> damaged[] = {
        {"[ButtonBar]\nGradientTop=#12345\n[Button]\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nText=#GGGGGG\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nCornerRadius=99\n", err::kTypeMismatch},
        {"[Button]\nText=#FFFFFF\n", err::kInvalidCall},
        {std::string("MZ\x90\0\x03", 5), err::kInvalidCall}};
    for (const auto& [ini, number] : damaged) {
        try {
            ParseDialogStyle(ini);
            ADD_FAILURE() << ini;
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), number) << ini;
        }
    }
}

}  // namespace
}  // namespace tav
