// The dialog style: the file the program ships and the rules for reading one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dialog/dialog_style.h"
#include "core/failure.h"

namespace tav {
namespace {

std::string ShippedStyle() {
    std::string here = __FILE__;
    here.resize(here.find_last_of("/\\") + 1);
    std::ifstream in(here + "../../src/resources/Office2007Black.ini", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Brightness(uint32_t bgr) {
    return static_cast<int>((bgr & 0xFF) + ((bgr >> 8) & 0xFF) + ((bgr >> 16) & 0xFF)) / 3;
}

int32_t FailureNumberOf(const std::string& ini) {
    try {
        ParseDialogStyle(ini);
    } catch (const Failure& f) {
        return f.number();
    }
    return 0;
}

TEST(DialogStyleTest, ShippedStyleIsDarkWithLightTextAndADistinctHover) {
    const std::string text = ShippedStyle();
    ASSERT_FALSE(text.empty());
    const DialogStyle s = ParseDialogStyle(text);
    EXPECT_LT(Brightness(s.bar.top), 100);
    EXPECT_LT(Brightness(s.bar.bottom), Brightness(s.bar.top));
    EXPECT_LT(Brightness(s.normal.fill.bottom), 100);
    EXPECT_GT(Brightness(s.normal.text), 200);
    EXPECT_GT(Brightness(s.hot.fill.top), Brightness(s.normal.fill.top));
    EXPECT_LT(Brightness(s.hot.text), 100);
    EXPECT_NE(s.defaultBorder, s.normal.border);
    EXPECT_GT(s.cornerRadius, 0);
}

TEST(DialogStyleTest, ColoursAreStoredBlueGreenRedAndStatesInheritTheButton) {
    const DialogStyle s = ParseDialogStyle(
        "; comment\n"
        "[buttonbar]\r\n"
        "  GRADIENTTOP = #102030 \r\n"
        "Unknown=whatever\r\n"
        "[Button]\n"
        "Text=#ABCDEF\n"
        "Border=#010203\n"
        "[Button.Hot]\n"
        "Text=#000000\n"
        "[Later.Section]\n"
        "Key=1\n");
    EXPECT_EQ(s.bar.top, 0x302010u);
    EXPECT_EQ(s.normal.text, 0xEFCDABu);
    EXPECT_EQ(s.hot.text, 0u);
    EXPECT_EQ(s.hot.border, 0x030201u);
    EXPECT_EQ(s.pressed.text, 0xEFCDABu);
    EXPECT_EQ(s.defaultBorder, 0x030201u);
}

TEST(DialogStyleTest, DamagedStylesAreRefused) {
    EXPECT_EQ(FailureNumberOf("[ButtonBar]\nGradientTop=#12345\n[Button]\n"), err::kTypeMismatch);
    EXPECT_EQ(FailureNumberOf("[ButtonBar]\n[Button]\nText=#GGGGGG\n"), err::kTypeMismatch);
    EXPECT_EQ(FailureNumberOf("[ButtonBar]\n[Button]\nCornerRadius=99\n"), err::kTypeMismatch);
    EXPECT_EQ(FailureNumberOf("[Button]\nText=#FFFFFF\n"), err::kInvalidCall);
    EXPECT_EQ(FailureNumberOf(std::string("MZ\x90\0\x03", 5)), err::kInvalidCall);
    EXPECT_EQ(FailureNumberOf("[ButtonBar]\n[Button]\n"), 0);
}

}  // namespace
}  // namespace tav
