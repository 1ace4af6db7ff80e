// The message dialog as a caller and a user meet it, on a window in memory;
// its text rules and its style.
#include <gmock/gmock.h>

#include "dialog/ShowMessageDialog.h"
#include "dialog/dialog_layout.h"
#include "dialog/dialog_style.h"
#include "dialog/frmDialog.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using fakes::FakeDialogView;
using ::testing::ElementsAre;
using User = std::function<void(FakeDialogView&)>;
const std::string kTitle = "TAV Update Manager";

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { fake.files.AddFolder(fake.state.location.folder = "C:\\TAV"); }
    int32_t Show(int32_t style, User user, const std::string& heading = "H", int16_t timeout = -1,
                 const std::string& body = "Body", std::shared_ptr<DialogImage> image = nullptr) {
        fake.dialogs.settings.onShowModal = std::move(user);
        return ShowMessageDialog(Services(), fake.state.log, body, style, kTitle, heading, timeout,
                                 image, false);
    }
    DialogServices Services() { return {fake.dialogs, fake.ui, fake.app}; }
    FakeDialogView& view() { return fake.dialogs.last(); }
    std::string Log() { return fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"); }
    long Logged() {  // entries of the routine that builds the dialog
        long count = 0;
        for (size_t at = 0; (at = Log().find("frmDialog.FormSetup \r\n", at)) != std::string::npos;
             ++at)
            ++count;
        return count;
    }
    fakes::FakePlatform fake;
};

User Press(int16_t slot) {
    return [slot](FakeDialogView& v) { v.Click(slot); };
}
const User CloseBox = [](FakeDialogView& v) { v.Close(); };

// Captions right to left, the default (the flags 0x100 and 0x200 name slots;
// 0x200 decides alone), the result of each button, and 2 for the close box.
TEST_F(DialogTest, ButtonSetsShowTheirCaptionsDefaultAndResults) {
    const std::tuple<int32_t, std::string, std::string, std::vector<int32_t>> cases[] = {
        {0, "OK||", "OK", {1}},
        {1, "Cancel|OK|", "OK", {2, 1}},
        {2, "Ignore|Retry|Abort", "Abort", {5, 4, 3}},
        {3, "Cancel|No|Yes", "Yes", {2, 7, 6}},
        {4, "No|Yes|", "Yes", {7, 6}},
        {5, "Cancel|Retry|", "Retry", {2, 4}},
        {6, "||", "", {}},
        {15, "||", "", {}},
        {3 | 0x100, "Cancel|No|Yes", "No", {}},
        {3 | 0x300, "Cancel|No|Yes", "Yes", {}},
        {1 | 0x100, "Cancel|OK|", "OK", {}},
        {1 | 0x200, "Cancel|OK|", "OK", {}},
        {4 | 0x210, "No|Yes|", "Yes", {}}};
    for (const auto& [style, captions, byDefault, results] : cases) {
        for (size_t slot = 0; slot <= results.size(); ++slot) {
            SCOPED_TRACE(testing::Message() << "style " << style << " slot " << slot);
            const bool close = slot == results.size();
            EXPECT_EQ(Show(style, close ? CloseBox : Press(int16_t(slot))),
                      close ? 2 : results[slot]);
            std::string shown;
            for (int16_t k = 0; k < 3; ++k)
                shown += (k ? "|" : "") + view().text["Caption" + std::to_string(k)];
            for (int16_t k = 0; k < 3; ++k)
                EXPECT_EQ(view().ButtonVisible(k), view().ButtonCaption(k) != "");
            EXPECT_EQ(shown, captions);
            EXPECT_EQ(view().text["Caption" + std::to_string(view().n["Default"])], byDefault);
        }
    }
}

TEST_F(DialogTest, ImageKindsPickTheirIconAndStandInForAnEmptyHeading) {
    const std::tuple<int32_t, int32_t, std::string> kinds[] = {{0x80, 104, "Please Wait"},
                                                               {0x40, 102, "Information"},
                                                               {0x30, 100, "Warning"},
                                                               {0x20, 103, "Question"},
                                                               {0x10, 101, "Alert"},
                                                               {0x00, 0, ""},
                                                               {0x50, 0, ""},
                                                               {0xF0, 0, ""}};
    for (const auto& [bits, icon, word] : kinds) {
        Show(bits, CloseBox, "");
        EXPECT_EQ(view().text["Message"], word) << bits;
        EXPECT_EQ(view().picture,
                  icon ? std::vector<std::string>{"icon " + std::to_string(icon) + "/32 0,0 32x32"}
                       : std::vector<std::string>{});
    }
    Show(0x40, CloseBox, "", -1, "Body", std::make_shared<fakes::FakeImage>("custom"));
    EXPECT_THAT(view().picture, ElementsAre("icon 102/32 0,0 32x32", "custom 0,0 32x32"));
}

// What the body needs as drawn is the Windows tier's; here the rule and
// its overflows, which are logged while the dialog still shows.
TEST_F(DialogTest, WindowBarAndLineGrowByTheRuleAndOverflowsAreLogged) {
    std::string many, words;
    for (int i = 0; i < 175; ++i) many += "x\r";
    for (int i = 0; i < 33000; ++i)
        words += "w ";  // more words than the word index holds: logged, all shown
    const std::tuple<std::string, int32_t, long> cases[] = {
        // body, growth, logged
        {std::string(48, 'a') + "\r\n" + std::string(48, 'b') + "\r\n" + std::string(50, 'c'), 380,
         0},
        {std::string(49, 'a') + "\r" + std::string(50, 'b'), 0, 0},
        {"The download of the new release was interrupted before it was complete. "
         "Check the network connection and start the update again.",
         270, 0},              // 132 characters: wrapped to 3 lines
        {many, 175 * 135, 1},  // (175 - 2) x 190 overflows 16 bits; the minimum does not
        {many + many, 0, 2},
        {words, 0, 3}};
    for (const auto& [body, growth, logged] : cases) {
        const long before = Logged();
        Show(0, CloseBox, "H", -1, body);
        auto& n = view().n;
        EXPECT_EQ(
            std::vector<int32_t>({n["Height"], n["PanelTop"], n["LineY1"], n["LineY2"]}),
            std::vector<int32_t>({2340 + growth, 1260 + growth, 1240 + growth, 1240 + growth}))
            << body.substr(0, 20);
        EXPECT_EQ(Logged() - before, logged);
    }
    EXPECT_EQ(std::count(view().text["Content"].begin(), view().text["Content"].end(), 'w'), 33000);
    EXPECT_THAT(Log(), testing::HasSubstr("ERROR: TAVUpdate, 6, Overflow, 0"));
}

TEST_F(DialogTest, CountdownShowsSecondsLeftInTheTitleAndEndsWithTheTimeOutResult) {
    const std::string t = kTitle;
    DialogForm(Services(), fake.state.log).lTimeOutButton = 6;
    EXPECT_EQ(
        Show(
            4, [](FakeDialogView& v) { v.Elapse(999), v.Elapse(4001), v.Elapse(5000); }, "H", 5),
        6);
    // The tick at load time counted once before the build set the title.
    EXPECT_THAT(view().captions, ElementsAre(t + " (4)", t, t + " (4)", t + " (3)", t + " (2)",
                                             t + " (1)", t + " (0)"));
    EXPECT_EQ(Show(
                  4, [](FakeDialogView& v) { v.Elapse(2000), v.Click(0), v.Elapse(5000); }, "H", 3),
              7);
    EXPECT_EQ(view().Caption(), t + " (1)");  // a button pressed during the countdown wins
    // One second ends while building: never shown.
    EXPECT_EQ(Show(
                  4, [](FakeDialogView&) { ADD_FAILURE() << "shown"; }, "H", 1),
              6);
    DialogForm(Services(), fake.state.log).lTimeOutButton = 0;
    EXPECT_EQ(Show(
                  0, [](FakeDialogView& v) { v.Elapse(2000); }, "H", 2),
              0);
    // A tick that arrives inside a tick (under a yielding handler) does nothing.
    bool nest = false;
    fake.dialogs.settings.onSetCaption = [&](FakeDialogView& v) { nest ? v.Tick() : void(); };
    Show(
        0,
        [&](FakeDialogView& v) {
            nest = true, v.Elapse(1000), nest = false, v.Elapse(1000), v.Click(0);
        },
        "H", 10);
    EXPECT_THAT(view().captions, ElementsAre(t + " (9)", t, t + " (9)", t + " (8)"));
    EXPECT_EQ(Log(), "");
}

std::string C(char c, size_t n) { return std::string(n, c); }

// Over 68 characters without a CR: lines of less than 66 with their blank,
// two blanks after a sentence inside a line, runs of blanks kept.
TEST(DialogTextTest, WrapBreaksBeforeTheWordThatReachesSixtySix) {
    const std::string w = C('w', 9) + " ", a55 = C('a', 55) + " ";
    std::string umlauts;
    for (int i = 0; i < 68; ++i) umlauts += "\xC3\xA4";  // 136 bytes, 68 characters
    const std::pair<std::string, std::string> cases[] = {
        {C('a', 30) + " " + C('b', 37), ""},
        {C('a', 50) + "\r" + C('b', 100) + " " + C('c', 20), ""},
        {umlauts, ""},
        {w + w + w + w + w + w + C('w', 9), w + w + w + w + w + C('w', 9) + "\r\n" + w},
        {a55 + C('b', 9) + " " + C('c', 10), a55 + C('b', 9) + "\r\n" + C('c', 10) + " "},
        {a55 + C('b', 10) + " " + C('c', 5),
         C('a', 55) + "\r\n" + C('b', 10) + " " + C('c', 5) + " "},
        {"The installer could not be found. Please download it again. The update ends. Nothing was "
         "changed.",
         "The installer could not be found.  Please download it again.  The\r\nupdate ends.  "
         "Nothing was changed.  "},
        {C('x', 58) + ". " + C('y', 12) + ". z", C('x', 58) + ".\r\n" + C('y', 12) + ". z "},
        {C('a', 40) + "   " + C('b', 20) + " " + C('c', 10),
         C('a', 40) + "   " + C('b', 20) + "\r\n" + C('c', 10) + " "}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(WrapDialogContent(in), out.empty() ? in : out) << in;
}

// One line height (190) per line beyond two, the larger of the counted and
// the estimated (length / 38, halves to even) lines, at least 135 per break.
TEST(DialogTextTest, GrowthTakesTheLargerLineCountAndHalvesRoundToEven) {
    std::string tenLines;
    for (int i = 0; i < 10; ++i) tenLines += "line\r\n";
    const std::tuple<std::string, int64_t, int64_t> cases[] = {
        // text, first, minimum; -1: no growth
        {C('a', 110), -1, -1},
        {C('a', 49) + "\r" + C('b', 50), -1, -1},
        {C('a', 114), 190, 0},
        {C('a', 66) + "\r" + C('b', 66), 380, 135},
        {C('a', 85) + "\r" + C('b', 85), 380, 135},
        {tenLines, 8 * 190, 10 * 135},
        {"a\r\nb\r\nc", 0, 270}};
    for (const auto& [text, first, minimum] : cases) {
        const ContentMeasure m = MeasureContent(text);
        EXPECT_EQ(m.grows ? FirstExtraHeight(m) * 100000 + MinimumExtraHeight(m) : -100001,
                  first * 100000 + minimum)
            << text;
    }
    EXPECT_EQ(CheckedInt16(-32768) + CheckedInt16(32767), -1);
    EXPECT_THROW(CheckedInt16(32768), Failure);
}

TEST(DialogStyleTest, ColoursAreStoredBlueGreenRedStatesInheritAndDamageIsRefused) {
    DialogStyle s;  // the shipped style is shown on the Windows tier
    s = ParseDialogStyle(
        "; comment\n[buttonbar]\r\n  GRADIENTTOP = #102030 "
        "\r\nUnknown=x\r\n[Button]\nText=#ABCDEF\n"
        "Border=#010203\n[Button.Hot]\nText=#000000\n[Later.Section]\nKey=1\n");
    EXPECT_EQ(std::vector<uint32_t>({s.bar.top, s.normal.text, s.hot.text, s.hot.border,
                                     s.pressed.text, s.defaultBorder}),
              std::vector<uint32_t>({0x302010, 0xEFCDAB, 0, 0x030201, 0xEFCDAB, 0x030201}));
    const std::pair<std::string, int32_t> damaged[] = {
        {"[ButtonBar]\nGradientTop=#12345\n[Button]\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nText=#GGGGGG\n", err::kTypeMismatch},
        {"[ButtonBar]\n[Button]\nCornerRadius=99\n", err::kTypeMismatch},
        {"[Button]\nText=#FFFFFF\n", err::kInvalidCall},
        {std::string("MZ\x90\0\x03", 5), err::kInvalidCall}};
    for (const auto& [ini, number] : damaged) try {
            ParseDialogStyle(ini), ADD_FAILURE() << ini;
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), number) << ini;
        }
}

}  // namespace
}  // namespace tav
