// The message dialog as a caller and a user meet it, on a window in memory:
// build, buttons, images, results, countdown and placement.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "dialog/ShowMessageDialog.h"
#include "dialog/frmDialog.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using fakes::FakeDialogView;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sInstallLocation = "C:\\TAV";
        fake.files.AddFolder(sInstallLocation);
    }

    // Shows a dialog; user acts while it is shown.
    int32_t Show(int32_t style, std::function<void(FakeDialogView&)> user,
                 const std::string& message = "Heading", int16_t timeout = -1,
                 std::shared_ptr<DialogImage> image = nullptr, bool avoidSplash = false,
                 const std::string& content = "Body") {
        fake.dialogs.settings.onShowModal = std::move(user);
        return ShowMessageDialog(content, style, "TAV Update Manager", message, timeout, image,
                                 avoidSplash);
    }
    FakeDialogView& view() { return fake.dialogs.last(); }
    std::string Log() { return fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"); }
    int LogEntries(const std::string& routine) {
        const std::string text = Log();
        int n = 0;
        for (size_t at = text.find(routine + " \r\n"); at != std::string::npos;
             at = text.find(routine + " \r\n", at + 1)) {
            ++n;
        }
        return n;
    }

    fakes::FakePlatform fake;
};

auto Press(int16_t slot) {
    return [slot](FakeDialogView& v) { v.Click(slot); };
}
void CloseBox(FakeDialogView& v) { v.Close(); }

TEST_F(DialogTest, FatalErrorDialogShowsItsPartsAndOkReturnsOne) {
    EXPECT_EQ(Show(16, Press(0), "Critical Error", -1, nullptr, false, "The installer is missing."),
              1);
    const FakeDialogView& v = view();
    EXPECT_EQ(v.caption, "TAV Update Manager");
    EXPECT_EQ(v.messageText, "Critical Error");
    EXPECT_EQ(v.contentText, "The installer is missing.");
    EXPECT_TRUE(v.pictureVisible);
    EXPECT_THAT(v.pictureDraws, ElementsAre("icon 101/32 0,0 32x32 0"));
    EXPECT_THAT(v.buttonVisible, ElementsAre(true, false, false));
    EXPECT_EQ(v.buttonCaption[0], "OK");
    EXPECT_EQ(v.defaultSlot, 0);
    EXPECT_FALSE(v.timerEnabled);
    // Centred across a 1024-pixel screen; the designed top is kept.
    EXPECT_EQ(v.left, (1024 * 15 - v.width) / 2);
    EXPECT_EQ(v.top, 3750);
    EXPECT_TRUE(v.unloaded);
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogTest, EveryButtonSetShowsItsCaptionsDefaultAndResults) {
    struct Case {
        int32_t set;
        std::vector<std::string> captions;  // slots 0, 1, 2
        int16_t defaultSlot;
        std::vector<int32_t> results;  // pressing slot 0, 1, 2
    };
    const std::vector<Case> cases = {
        {0, {"OK", "", ""}, 0, {1}},
        {1, {"Cancel", "OK", ""}, 1, {2, 1}},
        {2, {"Ignore", "Retry", "Abort"}, 2, {5, 4, 3}},
        {3, {"Cancel", "No", "Yes"}, 2, {2, 7, 6}},
        {4, {"No", "Yes", ""}, 1, {7, 6}},
        {5, {"Cancel", "Retry", ""}, 1, {2, 4}},
    };
    for (const Case& c : cases) {
        for (int16_t slot = 0; slot < static_cast<int16_t>(c.results.size()); ++slot) {
            SCOPED_TRACE("set " + std::to_string(c.set) + " slot " + std::to_string(slot));
            EXPECT_EQ(Show(c.set, Press(slot)), c.results[static_cast<size_t>(slot)]);
            for (size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(view().buttonVisible[k], !c.captions[k].empty());
                EXPECT_EQ(view().buttonCaption[k], c.captions[k]);
            }
            EXPECT_EQ(view().defaultSlot, c.defaultSlot);
        }
    }
}

TEST_F(DialogTest, SetsSixToFifteenShowNoButtonAndEndOnlyByClosing) {
    for (int32_t set : {6, 9, 15}) {
        EXPECT_EQ(Show(set, CloseBox), 2);
        EXPECT_THAT(view().buttonVisible, ElementsAre(false, false, false));
        EXPECT_EQ(view().defaultSlot, -1);
    }
}

TEST_F(DialogTest, ClosingWithoutAButtonGivesTwoWhateverCameBefore) {
    EXPECT_EQ(Show(4, Press(1)), 6);  // Yes
    for (int32_t set = 0; set <= 5; ++set) EXPECT_EQ(Show(set, CloseBox), 2) << set;
}

TEST_F(DialogTest, DefaultFlagsNameSlotsNotButtons) {
    Show(3 | 0x100, CloseBox);
    EXPECT_EQ(view().buttonCaption[static_cast<size_t>(view().defaultSlot)], "No");
    Show(3 | 0x200, CloseBox);
    EXPECT_EQ(view().buttonCaption[static_cast<size_t>(view().defaultSlot)], "Yes");
    Show(3 | 0x300, CloseBox);  // 0x200 decides alone
    EXPECT_EQ(view().defaultSlot, 2);
    Show(1 | 0x100, CloseBox);
    EXPECT_EQ(view().buttonCaption[static_cast<size_t>(view().defaultSlot)], "OK");
    Show(1 | 0x200, CloseBox);  // no left slot in this set
    EXPECT_EQ(view().buttonCaption[static_cast<size_t>(view().defaultSlot)], "OK");
    Show(4 | 0x200 | 0x10, CloseBox);  // with an image kind in the word
    EXPECT_EQ(view().buttonCaption[static_cast<size_t>(view().defaultSlot)], "Yes");
}

TEST_F(DialogTest, ImageKindsPickTheirIconAndStandInForAnEmptyHeadline) {
    struct Kind {
        int32_t bits;
        int32_t icon;
        std::string word;
    };
    for (const Kind& k : std::vector<Kind>{{0x80, 104, "Please Wait"},
                                           {0x40, 102, "Information"},
                                           {0x30, 100, "Warning"},
                                           {0x20, 103, "Question"},
                                           {0x10, 101, "Alert"}}) {
        SCOPED_TRACE(k.word);
        const std::string icon = "icon " + std::to_string(k.icon) + "/32 0,0 32x32 0";
        EXPECT_EQ(Show(k.bits, Press(0), ""), 1);  // set 0 still shows OK
        EXPECT_EQ(view().messageText, k.word);
        EXPECT_THAT(view().pictureDraws, ElementsAre(icon));
        Show(k.bits, CloseBox, "Own heading");
        EXPECT_EQ(view().messageText, "Own heading");
        EXPECT_THAT(view().pictureDraws, ElementsAre(icon));
    }
    for (int32_t other : {0x00, 0x50, 0xF0}) {
        Show(other, CloseBox, "");
        EXPECT_FALSE(view().pictureVisible) << other;
        EXPECT_EQ(view().messageText, "") << other;
    }
}

TEST_F(DialogTest, CustomImageIsDrawnOverTheKindsIcon) {
    auto custom = std::make_shared<fakes::FakeImage>("custom");
    Show(0, CloseBox, "", -1, custom);
    EXPECT_TRUE(view().pictureVisible);
    EXPECT_THAT(view().pictureDraws, ElementsAre("custom 0,0 32x32 0"));
    Show(0x40, CloseBox, "", -1, custom);
    EXPECT_THAT(view().pictureDraws, ElementsAre("icon 102/32 0,0 32x32 0", "custom 0,0 32x32 0"));
}

TEST_F(DialogTest, LongTextIsWrappedAndTheWindowGrowsWithBarAndLine) {
    // Three lines, 150 characters: grows by (4 - 2) x 190.
    const std::string text = std::string(48, 'a') + "\r\n" + std::string(48, 'b') + "\r\n" +
                             std::string(50, 'c');
    ASSERT_EQ(text.size(), 150u);
    Show(0, CloseBox, "H", -1, nullptr, false, text);
    EXPECT_EQ(view().height, 2340 + 380);
    EXPECT_EQ(view().panelTop, 1260 + 380);
    EXPECT_EQ(view().lineY1, 1240 + 380);
    EXPECT_EQ(view().lineY2, 1240 + 380);
    EXPECT_EQ(view().contentText, text);

    Show(0, CloseBox, "H", -1, nullptr, false, std::string(49, 'a') + "\r" + std::string(50, 'b'));
    EXPECT_EQ(view().height, 2340);
    EXPECT_EQ(view().panelTop, 1260);

    const std::string paragraph =
        "The download of the new release was interrupted before it was complete. "
        "Check the network connection and start the update again.";
    Show(0, CloseBox, "H", -1, nullptr, false, paragraph);
    EXPECT_EQ(view().contentText,
              "The download of the new release was interrupted before it was\r\n"
              "complete. Check the network connection and start the update\r\n"
              "again. ");
    EXPECT_EQ(view().height, 2340 + 2 * 135);  // 132 characters estimate 3 lines only
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogTest, WindowGrowsUntilEveryDrawnLineOfTheBodyShows) {
    // Eight lines: the rule grows by 950, the line moves to 2190.
    std::string eight;
    for (int i = 0; i < 7; ++i) eight += "line\r\n";
    eight += "last";
    struct Case {
        int32_t lineTwips;
        std::string body;
        int32_t growth;
    } cases[] = {
        {195, eight, 950 + (750 + 8 * 195 + 60 - 2190)},  // the intended font at 96 dpi
        {260, eight, 950 + (750 + 8 * 260 + 60 - 2190)},  // a wider font
        {170, eight, 950},                                // the rule already suffices
        {260, "Body", 0},
    };
    for (const Case& c : cases) {
        fake.dialogs.settings.renderedLineTwips = c.lineTwips;
        Show(0, CloseBox, "H", -1, nullptr, false, c.body);
        SCOPED_TRACE(c.lineTwips);
        EXPECT_EQ(view().height, 2340 + c.growth);
        EXPECT_EQ(view().panelTop, 1260 + c.growth);
        EXPECT_EQ(view().lineY1, 1240 + c.growth);
        EXPECT_EQ(view().lineY2, 1240 + c.growth);
    }
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogTest, ExtraHeightBeyondSixteenBitsIsLoggedAndSkipped) {
    std::string lines;
    for (int i = 0; i < 175; ++i) lines += "x\r";
    // (175 - 2) x 190 does not fit; the minimum 175 x 135 does.
    Show(0, CloseBox, "H", -1, nullptr, false, lines);
    EXPECT_EQ(view().height, 2340 + 175 * 135);
    EXPECT_EQ(LogEntries("frmDialog.FormSetup"), 1);
    EXPECT_THAT(Log(), HasSubstr("ERROR: TAVUpdate, 6, Overflow, 0"));

    for (int i = 175; i < 250; ++i) lines += "x\r";
    Show(0, Press(0), "H", -1, nullptr, false, lines);  // neither fits
    EXPECT_EQ(view().height, 2340);
    EXPECT_EQ(view().panelTop, 1260);
    EXPECT_EQ(LogEntries("frmDialog.FormSetup"), 3);
    EXPECT_EQ(fake.dialogs.loaded.size(), 2u);
}

TEST_F(DialogTest, MoreWordsThanTheWordIndexHoldsAreLoggedButAllShown) {
    std::string text;
    for (int i = 0; i < 33000; ++i) text += "w ";
    Show(0, Press(0), "H", -1, nullptr, false, text);
    EXPECT_THAT(Log(), HasSubstr("ERROR: TAVUpdate, 6, Overflow, 0"));
    EXPECT_EQ(std::count(view().contentText.begin(), view().contentText.end(), 'w'), 33000);
}

TEST_F(DialogTest, StyleComesFromTheLibraryBesideTheProgramBetweenGrowthAndTexts) {
    Show(0, CloseBox, "H", -1, nullptr, false, "a\r\nb\r\nc");
    const FakeDialogView& v = view();
    EXPECT_EQ(v.styleLibrary, "C:\\Program Files\\TAV\\TAVri.dll");
    EXPECT_EQ(v.styleName, "Office2007Black.ini");
    EXPECT_TRUE(v.style.has_value());
    const auto at = [&](const std::string& op) {
        return std::find(v.calls.begin(), v.calls.end(), op) - v.calls.begin();
    };
    EXPECT_LT(at("SetLineY2"), at("LoadStyleResource"));
    EXPECT_LT(at("LoadStyleResource"), at("ApplyStyle"));
    EXPECT_LT(at("ApplyStyle"), at("SetCaption"));
    EXPECT_LT(at("SetCaption"), at("SetContentText"));
    EXPECT_LT(at("SetContentText"), at("SetMessageText"));
    EXPECT_EQ(at("SetTimerEnabled"), 0);  // disarmed at load time
    const auto lastTimer = std::find(v.calls.rbegin(), v.calls.rend(), "SetTimerEnabled");
    EXPECT_LT(at("SetDefaultButton"), v.calls.rend() - lastTimer - 1);
    EXPECT_LT(v.calls.rend() - lastTimer - 1, at("Refresh"));
    EXPECT_LT(at("Refresh"), at("SetLeft"));
    EXPECT_LT(at("SetLeft"), at("ShowModal"));
}

TEST_F(DialogTest, MissingOrDamagedStyleCostsOnlyTheLookAndOneLogEntry) {
    fake.dialogs.settings.styleText.reset();
    EXPECT_EQ(Show(3, Press(1)), 7);
    EXPECT_FALSE(view().style.has_value());
    EXPECT_EQ(view().buttonCaption[1], "No");
    EXPECT_EQ(LogEntries("frmDialog.FormSetup"), 1);
    EXPECT_THAT(Log(), HasSubstr("ERROR: TAVUpdate, 53, File not found, 0"));

    fake.dialogs.settings.styleText = "[ButtonBar]\nGradientTop=dark\n[Button]\n";
    EXPECT_EQ(Show(0, Press(0)), 1);
    EXPECT_FALSE(view().style.has_value());
    EXPECT_EQ(LogEntries("frmDialog.FormSetup"), 2);
}

TEST_F(DialogTest, OneDialogObjectAFreshWindowPerRequest) {
    Show(0, Press(0));
    Show(0, Press(0));
    EXPECT_EQ(fake.dialogs.commonControlsInits, 1);
    ASSERT_EQ(fake.dialogs.loaded.size(), 2u);
    EXPECT_TRUE(fake.dialogs.loaded[0]->unloaded);
    EXPECT_TRUE(fake.dialogs.loaded[1]->unloaded);
    EXPECT_FALSE(DialogForm().Loaded());
}

TEST_F(DialogTest, CountdownShowsSecondsLeftInTheTitleAndEndsWithTheTimeOutResult) {
    DialogForm().lTimeOutButton = 6;
    std::vector<std::string> seen;
    const int32_t result = Show(4, [&](FakeDialogView& v) {
        seen.push_back(v.caption);
        v.Elapse(999);
        seen.push_back(v.caption);
        for (int s = 0; s < 5; ++s) {
            v.Elapse(1000);
            seen.push_back(v.caption);
        }
    }, "Question", 5);
    EXPECT_EQ(result, 6);
    const std::string t = "TAV Update Manager";
    EXPECT_THAT(seen, ElementsAre(t, t, t + " (4)", t + " (3)", t + " (2)", t + " (1)", t + " (0)"));
    // The tick at load time had already counted once before the build.
    EXPECT_EQ(view().captions.front(), t + " (4)");
    EXPECT_TRUE(view().unloaded);
}

TEST_F(DialogTest, CountdownNeverSetReturnsZero) {
    EXPECT_EQ(Show(0, [](FakeDialogView& v) { v.Elapse(2000); }, "H", 2), 0);
}

TEST_F(DialogTest, OneSecondCountdownEndsWhileBuildingAndIsNeverShown) {
    DialogForm().lTimeOutButton = 7;
    bool shown = false;
    EXPECT_EQ(Show(4, [&](FakeDialogView&) { shown = true; }, "H", 1), 7);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(view().unloaded);
    EXPECT_EQ(Log(), "");
    // The next request loads a new window as usual.
    EXPECT_EQ(Show(4, Press(1)), 6);
    EXPECT_EQ(fake.dialogs.loaded.size(), 2u);
}

TEST_F(DialogTest, ButtonPressedDuringTheCountdownWins) {
    DialogForm().lTimeOutButton = 6;
    EXPECT_EQ(Show(4, [](FakeDialogView& v) {
                  v.Elapse(2000);
                  v.Click(0);  // No
                  v.Elapse(5000);
              }, "H", 3),
              7);
    EXPECT_EQ(view().caption, "TAV Update Manager (1)");
}

TEST_F(DialogTest, NoCountdownForZeroOrLess) {
    for (int16_t timeout : {int16_t{0}, int16_t{-1}}) {
        Show(0, [](FakeDialogView& v) {
            v.Elapse(60000);
            v.Click(0);
        }, "H", timeout);
        EXPECT_FALSE(view().timerEnabled);
        EXPECT_THAT(view().captions, ElementsAre("TAV Update Manager"));
    }
}

TEST_F(DialogTest, TickArrivingInsideATickDoesNothing) {
    bool nest = false;
    // A tick dispatched while the caption changes, as under a yielding handler.
    fake.dialogs.settings.onSetCaption = [&](FakeDialogView& v) {
        if (nest) v.Tick();
    };
    Show(0, [&](FakeDialogView& v) {
        nest = true;
        v.Elapse(1000);
        nest = false;
        EXPECT_EQ(DialogForm().elapsedSeconds(), 1);
        EXPECT_EQ(v.caption, "TAV Update Manager (9)");
        v.Elapse(1000);
        EXPECT_EQ(v.caption, "TAV Update Manager (8)");
        v.Click(0);
    }, "H", 10);
}

TEST_F(DialogTest, AvoidSplashPlacesTheDialogHighOnEveryActivation) {
    fake.ui.screenHeight = 11523;  // a fifth is 2304.6
    Show(0, [&](FakeDialogView& v) {
        EXPECT_EQ(v.top, 2305);
        v.SetTop(100);  // the user moves it away and comes back
        v.Activate();
        EXPECT_EQ(v.top, 2305);
        v.Click(0);
    }, "H", -1, nullptr, true);
    EXPECT_EQ(view().left, (fake.ui.screenWidth - view().width) / 2);

    Show(0, [&](FakeDialogView& v) {
        v.Activate();
        EXPECT_EQ(v.top, 3750);
        v.Click(0);
    });
}

}  // namespace
}  // namespace tav
