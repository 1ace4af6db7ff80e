// Start-up: the second copy ends quietly, the first reads its folder.
#include <gtest/gtest.h>

#include "app/modMain.h"
#include "app/state.h"
#include "fakes/fake_platform.h"
#include "core/failure.h"

namespace tav {
namespace {

TEST(MainTest, ASecondCopyEndsWithoutWindowMessageOrLog) {
    fakes::FakePlatform fake;
    fake.app.prevInstance = true;
    fake.registry.PutString(kTavKey, kInstallLocationValue, "C:\\TAV");
    fake.files.AddFolder("C:\\TAV");
    bool opened = false;
    EXPECT_FALSE(Main([&] { opened = true; }));
    EXPECT_FALSE(opened);
    EXPECT_EQ(sInstallLocation, "");
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_FALSE(fake.files.FolderExists("C:\\TAV\\LOGS"));
}

TEST(MainTest, ReadsTheInstallFolderBeforeOpeningTheWindow) {
    fakes::FakePlatform fake;
    fake.registry.PutString(kTavKey, kInstallLocationValue, "D:\\Home\\TAV");
    std::string seenByWindow;
    EXPECT_TRUE(Main([&] { seenByWindow = sInstallLocation; }));
    EXPECT_EQ(seenByWindow, "D:\\Home\\TAV");
}

TEST(MainTest, MissingInstallFolderStillOpensTheWindow) {
    fakes::FakePlatform fake;
    bool opened = false;
    EXPECT_TRUE(Main([&] { opened = true; }));
    EXPECT_TRUE(opened);
    EXPECT_EQ(sInstallLocation, "");
}

TEST(MainTest, AFailingStepIsLoggedAndStartUpGoesOn) {
    fakes::FakePlatform fake;
    fake.registry.PutString(kTavKey, kInstallLocationValue, "C:\\TAV");
    fake.files.AddFolder("C:\\TAV");
    EXPECT_TRUE(Main([] { throw err::Make(err::kOutOfMemory); }));
    EXPECT_NE(fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log")
                  .find("modMain.Main \r\nERROR: TAVUpdate, 7, Out of memory, 0\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tav
