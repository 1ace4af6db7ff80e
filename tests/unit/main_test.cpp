// Start-up: the second copy ends quietly, the first reads its folder.
#include <gtest/gtest.h>

#include "app/modMain.h"
#include "app/state.h"
#include "fakes/fake_platform.h"
#include "platform/failure.h"

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
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_FALSE(fake.files.FolderExists("C:\\TAV\\LOGS"));
}

TEST(MainTest, TheWindowOpensWithTheInstallFolderReadOrWithoutAndItsFailureIsLogged) {
    for (const std::string folder : {"", "C:\\TAV"}) {
        fakes::FakePlatform fake;
        if (!folder.empty()) fake.registry.PutString(kTavKey, kInstallLocationValue, folder);
        fake.files.AddFolder("C:\\TAV");
        std::string seen = "not opened";
        EXPECT_TRUE(Main([&] { seen = sInstallLocation; throw err::Make(err::kOutOfMemory); }));
        EXPECT_EQ(seen, folder);
        EXPECT_EQ(fake.files.Content(folder + "\\LOGS\\TAVerror.log").find("modMain.Main \r\nERROR: TAVUpdate, 7, Out of memory"),
                  43u);
    }
}

}  // namespace
}  // namespace tav
