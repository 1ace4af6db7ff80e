// The message dialog as a caller and a user meet it, on a window in memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "dialog/ShowMessageDialog.h"
#include "dialog/frmDialog.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using fakes::FakeDialogView;
using User = std::function<void(FakeDialogView&)>;
const std::string kTitle = "TAV Update Manager";

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { fake.files.AddFolder(sInstallLocation = "C:\\TAV"); }
    int32_t Show(int32_t style, User user, const std::string& heading = "H", int16_t timeout = -1,
                 const std::string& body = "Body", std::shared_ptr<DialogImage> image = nullptr,
                 bool avoidSplash = false) {
        fake.dialogs.settings.onShowModal = std::move(user);
        return ShowMessageDialog(body, style, kTitle, heading, timeout, image, avoidSplash);
    }
    FakeDialogView& view() { return fake.dialogs.last(); }
    std::string Log() { return fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"); }
    long LogEntries() {
        const std::string log = Log();
        long n = 0;
        for (size_t at = 0; (at = log.find("frmDialog.FormSetup \r\n", at)) != std::string::npos; ++at) ++n;
        return n;
    }
    fakes::FakePlatform fake;
};

User Press(int16_t slot) { return [slot](FakeDialogView& v) { v.Click(slot); }; }
const User CloseBox = [](FakeDialogView& v) { v.Close(); };

TEST_F(DialogTest, ButtonSetsShowTheirCaptionsDefaultAndResults) {
    const struct {
        int32_t style;
        std::array<std::string, 3> captions;  // slots 0 (right) to 2
        std::string defaultCaption;
        std::vector<int32_t> results;  // pressing slot 0, 1, 2
    } cases[] = {
        {0, {"OK", "", ""}, "OK", {1}},
        {1, {"Cancel", "OK", ""}, "OK", {2, 1}},
        {2, {"Ignore", "Retry", "Abort"}, "Abort", {5, 4, 3}},
        {3, {"Cancel", "No", "Yes"}, "Yes", {2, 7, 6}},
        {4, {"No", "Yes", ""}, "Yes", {7, 6}},
        {5, {"Cancel", "Retry", ""}, "Retry", {2, 4}},
        {6, {"", "", ""}, "", {}}, {9, {"", "", ""}, "", {}}, {15, {"", "", ""}, "", {}},
        // The default flags name slots, not buttons; 0x200 decides alone.
        {3 | 0x100, {"Cancel", "No", "Yes"}, "No", {2, 7, 6}},
        {3 | 0x300, {"Cancel", "No", "Yes"}, "Yes", {2, 7, 6}},
        {1 | 0x100, {"Cancel", "OK", ""}, "OK", {2, 1}},
        {1 | 0x200, {"Cancel", "OK", ""}, "OK", {2, 1}},
        {4 | 0x210, {"No", "Yes", ""}, "Yes", {7, 6}},
    };
    for (const auto& c : cases) {
        for (int16_t slot = 0; slot <= static_cast<int16_t>(c.results.size()); ++slot) {
            SCOPED_TRACE(testing::Message() << "style " << c.style << " slot " << slot);
            const bool closes = slot == static_cast<int16_t>(c.results.size());
            EXPECT_EQ(Show(c.style, closes ? CloseBox : Press(slot)), closes ? 2 : c.results[size_t(slot)]);
            for (size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(view().buttonVisible[k], !c.captions[k].empty());
                EXPECT_EQ(view().buttonCaption[k], c.captions[k]);
            }
            EXPECT_EQ(view().defaultSlot < 0 ? "" : view().buttonCaption[size_t(view().defaultSlot)],
                      c.defaultCaption);
            EXPECT_TRUE(view().unloaded);
        }
    }
    EXPECT_EQ(fake.dialogs.commonControlsInits, 1);  // one dialog object, a fresh window each time
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogTest, ImageKindsPickTheirIconAndStandInForAnEmptyHeading) {
    const struct {
        int32_t bits, icon;
        std::string word;
    } kinds[] = {{0x80, 104, "Please Wait"}, {0x40, 102, "Information"}, {0x30, 100, "Warning"},
                 {0x20, 103, "Question"}, {0x10, 101, "Alert"}, {0x00, 0, ""}, {0x50, 0, ""}, {0xF0, 0, ""}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.bits);
        const auto icon = k.icon ? std::vector<std::string>{"icon " + std::to_string(k.icon) + "/32 0,0 32x32"}
                                 : std::vector<std::string>{};
        Show(k.bits, CloseBox, "");
        EXPECT_EQ(view().messageText, k.word);
        EXPECT_EQ(view().pictureDraws, icon);
        EXPECT_EQ(view().pictureVisible, k.icon != 0);
        Show(k.bits, CloseBox, "Own heading", -1, "The installer is missing.");
        EXPECT_EQ(view().messageText, "Own heading");
        EXPECT_EQ(view().contentText, "The installer is missing.");
        EXPECT_EQ(view().caption, kTitle);
    }
    Show(0x40, CloseBox, "", -1, "Body", std::make_shared<fakes::FakeImage>("custom"));
    EXPECT_THAT(view().pictureDraws, ElementsAre("icon 102/32 0,0 32x32", "custom 0,0 32x32"));
}

TEST_F(DialogTest, WindowBarAndLineGrowUntilTheWholeBodyShows) {
    std::string eight, many, more;
    for (int i = 0; i < 7; ++i) eight += "line\r\n";
    eight += "last";
    for (int i = 0; i < 175; ++i) many += "x\r";
    for (int i = 0; i < 250; ++i) more += "x\r";
    const struct {
        std::string body;
        int32_t lineTwips, growth;
        long logged;  // overflows logged
    } cases[] = {
        {std::string(48, 'a') + "\r\n" + std::string(48, 'b') + "\r\n" + std::string(50, 'c'), 0, 380, 0},
        {std::string(49, 'a') + "\r" + std::string(50, 'b'), 0, 0, 0},
        {"The download of the new release was interrupted before it was complete. "
         "Check the network connection and start the update again.", 0, 270, 0},  // 132 characters: 3 lines
        {eight, 195, 950 + (750 + 8 * 195 + 60 - 2190), 0},  // as drawn at 96 dpi: the rule is not enough
        {eight, 260, 950 + (750 + 8 * 260 + 60 - 2190), 0},
        {eight, 170, 950, 0},
        {"Body", 260, 0, 0},
        {many, 0, 175 * 135, 1},  // (175 - 2) x 190 overflows 16 bits; the minimum does not
        {more, 0, 0, 2},          // neither fits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 20));
        fake.dialogs.settings.renderedLineTwips = c.lineTwips;
        const long before = LogEntries();
        Show(0, CloseBox, "H", -1, c.body);
        EXPECT_EQ(view().height, 2340 + c.growth);
        EXPECT_EQ(view().panelTop, 1260 + c.growth);
        EXPECT_EQ(view().lineY1, 1240 + c.growth);
        EXPECT_EQ(view().lineY2, 1240 + c.growth);
        EXPECT_EQ(LogEntries() - before, c.logged);
    }
    EXPECT_EQ(view().contentText, more);
    EXPECT_EQ(fake.dialogs.loaded[2]->contentText,
              "The download of the new release was interrupted before it was\r\n"
              "complete. Check the network connection and start the update\r\nagain. ");

    std::string words;  // more words than the word index holds: logged, all shown
    for (int i = 0; i < 33000; ++i) words += "w ";
    Show(0, CloseBox, "H", -1, words);
    EXPECT_EQ(std::count(view().contentText.begin(), view().contentText.end(), 'w'), 33000);
    EXPECT_THAT(Log(), testing::HasSubstr("ERROR: TAVUpdate, 6, Overflow, 0"));
}

TEST_F(DialogTest, StyleComesFromTheLibraryBesideTheProgramAndItsLossCostsOnlyTheLook) {
    Show(0, CloseBox, "H", -1, "a\r\nb\r\nc");
    EXPECT_EQ(view().styleSource, "C:\\Program Files\\TAV\\TAVri.dll Office2007Black.ini");
    EXPECT_TRUE(view().style);
    // Disarmed at load; grown, styled and filled before the timer runs and the window shows.
    EXPECT_THAT(view().calls, ElementsAre("SetTimerEnabled", "SetHeight", "SetPanelTop", "SetLineY1", "SetLineY2",
                                          "LoadStyleResource", "ApplyStyle", "SetCaption", "SetContentText",
                                          "SetMessageText", "SetButtonVisible", "SetButtonCaption", "SetDefaultButton",
                                          "SetTimerEnabled", "Refresh", "SetLeft", "ShowModal", "Unload"));

    fake.dialogs.settings.styleText.reset();
    EXPECT_EQ(Show(3, Press(1)), 7);
    fake.dialogs.settings.styleText = "[ButtonBar]\nGradientTop=dark\n[Button]\n";
    EXPECT_EQ(Show(3, Press(1)), 7);
    EXPECT_FALSE(view().style);
    EXPECT_EQ(LogEntries(), 2);
    EXPECT_THAT(Log(), testing::HasSubstr("ERROR: TAVUpdate, 53, File not found, 0"));
}

TEST_F(DialogTest, CountdownShowsSecondsLeftInTheTitleAndEndsWithTheTimeOutResult) {
    DialogForm().lTimeOutButton = 6;
    std::vector<std::string> seen;
    EXPECT_EQ(Show(4, [&](FakeDialogView& v) {
                  seen.push_back(v.caption);
                  for (uint32_t ms : {999, 1000, 1000, 1000, 1000, 1000}) v.Elapse(ms), seen.push_back(v.caption);
              }, "H", 5), 6);
    const std::string t = kTitle;
    EXPECT_THAT(seen, ElementsAre(t, t, t + " (4)", t + " (3)", t + " (2)", t + " (1)", t + " (0)"));
    EXPECT_EQ(view().captions.front(), t + " (4)");  // the tick at load time counted before the build
    EXPECT_TRUE(view().unloaded);

    EXPECT_EQ(Show(4, [](FakeDialogView& v) { v.Elapse(2000), v.Click(0), v.Elapse(5000); }, "H", 3), 7);
    EXPECT_EQ(view().caption, t + " (1)");  // a button pressed during the countdown wins

    bool shown = false;  // one second ends while building: never shown
    EXPECT_EQ(Show(4, [&](FakeDialogView&) { shown = true; }, "H", 1), 6);
    EXPECT_FALSE(shown);
    DialogForm().lTimeOutButton = 0;
    EXPECT_EQ(Show(0, [](FakeDialogView& v) { v.Elapse(2000); }, "H", 2), 0);
    for (int16_t none : {0, -1}) {
        Show(0, [](FakeDialogView& v) { v.Elapse(60000), v.Click(0); }, "H", none);
        EXPECT_THAT(view().captions, ElementsAre(t));
    }
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogTest, TickArrivingInsideATickDoesNothing) {
    bool nest = false;  // a tick dispatched while the caption changes, as under a yielding handler
    fake.dialogs.settings.onSetCaption = [&](FakeDialogView& v) {
        if (nest) v.Tick();
    };
    Show(0, [&](FakeDialogView& v) {
        nest = true;
        v.Elapse(1000);
        nest = false;
        v.Elapse(1000);
        v.Click(0);
    }, "H", 10);
    EXPECT_THAT(view().captions, ElementsAre(kTitle + " (9)", kTitle, kTitle + " (9)", kTitle + " (8)"));
}

TEST_F(DialogTest, CentredAcrossTheScreenAndHighOnEveryActivationWhenAvoidingTheSplash) {
    fake.ui.screenHeight = 11523;  // a fifth is 2304.6
    std::vector<int32_t> tops;
    Show(0, [&](FakeDialogView& v) {
        tops.push_back(v.top);
        v.SetTop(100);  // the user moves it away and comes back
        v.Activate();
        tops.push_back(v.top);
        v.Click(0);
    }, "H", -1, "Body", nullptr, true);
    EXPECT_EQ(view().left, (1024 * 15 - 5340) / 2);
    Show(0, [&](FakeDialogView& v) { v.Activate(), tops.push_back(v.top), v.Click(0); });
    EXPECT_THAT(tops, ElementsAre(2305, 2305, 3750));
}

}  // namespace
}  // namespace tav
