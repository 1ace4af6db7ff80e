// The message dialog as a caller and a user meet it, on a window in memory.
#include <gmock/gmock.h>

#include "app/state.h"
#include "dialog/ShowMessageDialog.h"
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
    DialogTest() { fake.files.AddFolder(fake.state.location.folder = "C:\\TAV"); }
    int32_t Show(int32_t style, User user, const std::string& heading = "H", int16_t timeout = -1,
                 const std::string& body = "Body", std::shared_ptr<DialogImage> image = nullptr) {
        fake.dialogs.settings.onShowModal = std::move(user);
        return ShowMessageDialog(Services(), fake.state.log, body, style, kTitle, heading, timeout,
                                 image, false);
    }
    DialogServices Services() { return {fake.dialogs, fake.ui, fake.app}; }
    FakeDialogView& view() { return fake.dialogs.last(); }
    std::string Log() { return fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"); }
    // Entries of the routine that builds the dialog.
    long Logged() {
        long count = 0;
        const std::string log = Log();
        for (size_t at = log.find("frmDialog.FormSetup \r\n"); at != std::string::npos;
             at = log.find("frmDialog.FormSetup \r\n", at + 1))
            ++count;
        return count;
    }
    fakes::FakePlatform fake;
};

User Press(int16_t slot) {
    return [slot](FakeDialogView& v) { v.Click(slot); };
}
const User CloseBox = [](FakeDialogView& v) { v.Close(); };

// Captions right to left, the default (the flags 0x100 and 0x200 name
// slots; 0x200 decides alone), the result of each button, and 2 for the
// close box.
TEST_F(DialogTest, ButtonSetsShowTheirCaptionsDefaultAndResults) {
    const struct {
        int32_t style;
        std::string captions;
        std::string byDefault;
        std::vector<int32_t> results;
    } rows[] = {
        {0, "OK||", "OK", {1}},
        {1, "Cancel|OK|", "OK", {2, 1}},
        {2, "Ignore|Retry|Abort", "Abort", {5, 4, 3}},
        {3, "Cancel|No|Yes", "Yes", {2, 7, 6}},
        {4, "No|Yes|", "Yes", {7, 6}},
        {5, "Cancel|Retry|", "Retry", {2, 4}},
        {6, "||", "", {}},
        {3 | 0x300, "Cancel|No|Yes", "Yes", {}},  // 0x100 alone: the Windows tier's
    };
    for (const auto& row : rows) {
        for (size_t slot = 0; slot <= row.results.size(); ++slot) {
            SCOPED_TRACE(testing::Message() << "style " << row.style << " slot " << slot);
            const bool close = slot == row.results.size();
            const int32_t result = Show(row.style, close ? CloseBox : Press(int16_t(slot)));
            EXPECT_EQ(result, close ? 2 : row.results[slot]) << "the result";
            std::string shown;
            for (int16_t k = 0; k < 3; ++k) {
                if (k > 0) shown += "|";
                shown += view().ButtonCaption(k);
                EXPECT_EQ(view().ButtonVisible(k), view().ButtonCaption(k) != "") << "slot " << k;
            }
            EXPECT_EQ(shown, row.captions) << "the captions";
            EXPECT_EQ(view().ButtonCaption(int16_t(view().n["Default"])), row.byDefault)
                << "the default";
        }
    }
}

TEST_F(DialogTest, ImageKindsPickTheirIconAndStandInForAnEmptyHeading) {
    const struct {
        int32_t bits;
        std::vector<std::string> picture;
        std::string heading;
    } rows[] = {
        {0x80, {"icon 104/32 0,0 32x32"}, "Please Wait"},
        {0x40, {"icon 102/32 0,0 32x32"}, "Information"},
        {0x30, {"icon 100/32 0,0 32x32"}, "Warning"},
        {0x20, {"icon 103/32 0,0 32x32"}, "Question"},
        {0x10, {"icon 101/32 0,0 32x32"}, "Alert"},
        {0x00, {}, ""},
        {0x50, {}, ""},
    };
    for (const auto& row : rows) {
        Show(row.bits, CloseBox, "");
        EXPECT_EQ(view().text["Message"], row.heading) << "kind " << row.bits;
        EXPECT_EQ(view().picture, row.picture) << "kind " << row.bits;
    }
    Show(0x40, CloseBox, "", -1, "Body", std::make_shared<fakes::FakeImage>("custom"));
    EXPECT_THAT(view().picture, ElementsAre("icon 102/32 0,0 32x32", "custom 0,0 32x32"))
        << "the caller's image";
}

// What the body needs as drawn is the Windows tier's, the rule's cases
// DialogTextTest's; here the window takes the growth, and the overflows
// are logged while the dialog still shows.
TEST_F(DialogTest, WindowBarAndLineGrowByTheRuleAndOverflowsAreLogged) {
    std::string many;
    for (int i = 0; i < 175; ++i) many += "x\r";
    std::string words;
    for (int i = 0; i < 33000; ++i) words += "w ";  // more than the word index holds
    const struct {
        std::string body;
        int32_t growth;
        long logged;
    } rows[] = {
        {std::string(48, 'a') + "\r\n" + std::string(48, 'b') + "\r\n" + std::string(50, 'c'), 380,
         0},
        {many, 175 * 135, 1},  // (175 - 2) x 190 overflows 16 bits; the minimum not
        {many + many, 0, 2},
        {words, 0, 3},
    };
    for (const auto& row : rows) {
        const long before = Logged();
        Show(0, CloseBox, "H", -1, row.body);
        auto& n = view().n;
        const std::vector<int32_t> got = {n["Height"], n["PanelTop"], n["LineY1"], n["LineY2"]};
        const int32_t g = row.growth;
        EXPECT_EQ(got, std::vector<int32_t>({2340 + g, 1260 + g, 1240 + g, 1240 + g}))
            << "height, bar and lines for " << row.body.substr(0, 20);
        EXPECT_EQ(Logged() - before, row.logged)
            << "overflows logged for " << row.body.substr(0, 20);
    }
    EXPECT_EQ(std::ranges::count(view().text["Content"], 'w'), 33000) << "words lost";
    EXPECT_THAT(Log(), testing::HasSubstr("ERROR: TAVUpdate, 6, Overflow, 0")) << "the overflow";
}

TEST_F(DialogTest, CountdownShowsSecondsLeftInTheTitleAndEndsWithTheTimeOutResult) {
    const std::string t = kTitle;
    DialogForm(Services(), fake.state.log).lTimeOutButton = 6;
    const User waits = [](FakeDialogView& v) {
        EXPECT_EQ(v.n["TimerInterval"], 1000) << "the interval";
        EXPECT_EQ(v.n["TimerEnabled"], 1) << "the countdown does not run";
        for (int i = 0; i < 9; ++i) v.Tick();
    };
    EXPECT_EQ(Show(4, waits, "H", 5), 6) << "not the time-out button's result";
    // The tick at load time counted once before the build set the title.
    EXPECT_THAT(view().captions, ElementsAre(t + " (4)", t, t + " (4)", t + " (3)", t + " (2)",
                                             t + " (1)", t + " (0)"))
        << "the titles";
    const User presses = [](FakeDialogView& v) {
        v.Tick();
        v.Tick();
        v.Click(0);
    };
    EXPECT_EQ(Show(4, presses, "H", 3), 7) << "a button pressed during the countdown lost";
    EXPECT_EQ(view().Caption(), t + " (1)") << "counted on after a press";
    const User never = [](FakeDialogView&) { ADD_FAILURE() << "shown"; };
    EXPECT_EQ(Show(4, never, "H", 1), 6) << "one second ends while building: never shown";
    DialogForm(Services(), fake.state.log).lTimeOutButton = 0;
    const User twice = [](FakeDialogView& v) {
        v.Tick();
        v.Tick();
    };
    EXPECT_EQ(Show(0, twice, "H", 2), 0) << "no time-out button";
    // A tick that arrives inside a tick (under a yielding handler) does nothing.
    bool nest = false;
    fake.dialogs.settings.onSetCaption = [&](FakeDialogView& v) {
        if (nest) v.Tick();
    };
    const User nested = [&](FakeDialogView& v) {
        nest = true;
        v.Tick();
        nest = false;
        v.Tick();
        v.Click(0);
    };
    Show(0, nested, "H", 10);
    EXPECT_THAT(view().captions, ElementsAre(t + " (9)", t, t + " (9)", t + " (8)"))
        << "a nested tick counted";
    EXPECT_EQ(Log(), "") << "a countdown logged a failure";
}

}  // namespace
}  // namespace tav
